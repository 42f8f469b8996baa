#include "testkit/InstalledContents.h"

#include <zlib.h>

#include <set>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "installer/EngineFiles.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "testkit/MemoryPackageHost.h"

namespace testkit {

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return text;
}

std::map<std::string, Bytes> InstalledContents(const Bytes& image) {
    std::set<std::string> zlibStored = {UpperCase("OrvanViewer.exe"), UpperCase("ZRXUnInst.exe")};
    for (const char* name : kEngineFiles) zlibStored.insert(UpperCase(name));
    std::map<std::string, Bytes> out;
    MemoryPackageHost host(image);
    PackageReader reader(host);
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry* entry = reader.EntryAt(i);
        if (!EqualsIgnoringCase(entry->section, "APPDATA") || !reader.LoadEntryAt(i)) continue;
        const Bytes stored(reader.Data(), reader.Data() + reader.Size());
        const std::string name = entry->name;
        const std::string path = UpperCase(name[0] == '\\' || name[0] == '/' ? name.substr(1) : name);
        Bytes plain;
        chunk::ChunkView vbrf;
        unsigned char marker = 0;
        const bool marked = reader.Contains(entry->name, package_format::kCompressedSection) &&
                            reader.ReadEntry(entry->name, &marker, 1, package_format::kCompressedSection) &&
                            marker != 0;
        if ((zlibStored.count(path) != 0 || marked) && stored.size() >= 4) {
            uLongf length = LoadU32(stored.data() + stored.size() - 4);
            plain.resize(length);
            if (::uncompress(plain.data(), &length, stored.data(), static_cast<uLong>(stored.size() - 4)) != Z_OK) {
                continue;
            }
            plain.resize(length);
        } else if (chunk::FindChunk(stored.data(), stored.size(), chunk::kVbrfTag, 0, vbrf)) {
            if (!chunk::DecodeVbrf(vbrf.data, vbrf.size, plain)) continue;
        } else {
            plain = stored;
        }
        out[path] = plain;
    }
    return out;
}

}  // namespace testkit
