#include "testkit/InstalledContents.h"

#include <LzmaDec.h>
#include <zlib.h>

#include <cstdlib>

#include <set>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "engine/ChunkSchema.h"
#include "package/AsciiText.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageSchema.h"
#include "testkit/MemoryPackageHost.h"

namespace testkit {

std::string UpperCase(std::string text) {
    for (char& c : text) c = UpperAscii(c);
    return text;
}

namespace {

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }

// The plain bytes of every LZMA block, one after the other, by the SDK's one-call decoder, and
// where each block starts in them.
Bytes DecodedBlocks(PackageReader& reader, std::vector<size_t>& starts) {
    Bytes all;
    ISzAlloc alloc = {Allocate, Release};
    for (uint32_t n = 0; reader.ReadEntry(std::to_string(n).c_str(), nullptr, 0, package_format::kBlockSection); ++n) {
        starts.push_back(all.size());
        const unsigned char* block = reader.Data();
        if (reader.Size() < package_format::kBlockHeaderSize) break;
        SizeT plainSize = LoadU32(block + package_format::kBlockPropertiesSize);
        SizeT streamSize = reader.Size() - package_format::kBlockHeaderSize;
        all.resize(starts.back() + plainSize);
        ELzmaStatus status;
        if (LzmaDecode(all.data() + starts.back(), &plainSize, block + package_format::kBlockHeaderSize, &streamSize,
                       block, package_format::kBlockPropertiesSize, LZMA_FINISH_END, &status, &alloc) != SZ_OK) {
            break;
        }
    }
    return all;
}

}  // namespace

std::map<std::string, Bytes> InstalledContents(const Bytes& image) {
    std::set<std::string> zlibStored = {UpperCase(kViewerFile), UpperCase(kUninstallerFile)};
    for (const char* name : kEngineFiles) zlibStored.insert(UpperCase(name));
    std::map<std::string, Bytes> out;
    MemoryPackageHost host(image);
    PackageReader reader(host);
    std::vector<size_t> blockStarts;
    const Bytes blocks = DecodedBlocks(reader, blockStarts);
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry* entry = reader.EntryAt(i);
        if (!EqualsIgnoringCase(entry->section, package_format::kDefaultSection) || !reader.LoadEntryAt(i)) continue;
        const Bytes stored(reader.Data(), reader.Data() + reader.Size());
        const std::string name = entry->name;
        const std::string path = UpperCase(name[0] == '\\' || name[0] == '/' ? name.substr(1) : name);
        Bytes plain;
        chunk::ChunkView vbrf;
        unsigned char marker = 0;
        const bool marked = reader.Contains(entry->name, package_format::kCompressedSection) &&
                            reader.ReadEntry(entry->name, &marker, 1, package_format::kCompressedSection) &&
                            marker != 0;
        unsigned char record[package_format::kBlockItemRecordSize];
        if (reader.Contains(entry->name, package_format::kBlockItemSection) &&
            reader.ReadEntry(entry->name, record, sizeof(record), package_format::kBlockItemSection)) {
            const uint32_t block = LoadU32(record);
            if (block >= blockStarts.size()) continue;
            const size_t from = blockStarts[block] + LoadU32(record + 4);
            if (from + LoadU32(record + 8) > blocks.size()) continue;
            plain.assign(blocks.begin() + from, blocks.begin() + from + LoadU32(record + 8));
        } else if ((zlibStored.count(path) != 0 || marked) && stored.size() >= 4) {
            uLongf length = LoadU32(stored.data() + stored.size() - 4);
            plain.resize(length);
            if (::uncompress(plain.data(), &length, stored.data(), static_cast<uLong>(stored.size() - 4)) != Z_OK) {
                continue;
            }
            plain.resize(length);
        } else if (chunk::FindChunk(stored.data(), stored.size(), kVbrfTag, 0, vbrf)) {
            if (!chunk::DecodeVbrf(vbrf.data, vbrf.size, plain)) continue;
        } else {
            plain = stored;
        }
        out[path] = plain;
    }
    return out;
}

}  // namespace testkit
