#include "package/PackageWriter.h"

#include <zlib.h>

#include "package/AsciiText.h"
#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"

using namespace package_format;

namespace {

std::string UpperCased(std::string text) {
    for (char& c : text) c = UpperAscii(c);
    return text;
}

bool CheckName(const std::string& what, const std::string& text, std::string& error) {
    if (text.empty()) {
        error = what + " is empty";
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        error = what + " \"" + text + "\" holds a zero byte";
        return false;
    }
    if (text.size() + 1 > kMaxNameBytes) {
        error = what + " \"" + text.substr(0, 40) + "...\" is " + std::to_string(text.size()) +
                " bytes long; at most " + std::to_string(kMaxNameBytes - 1) + " fit";
        return false;
    }
    return true;
}

void AppendName(PackageWriter::Bytes& out, const std::string& text) {
    AppendU32(out, static_cast<uint32_t>(text.size() + 1));
    AppendBytes(out, text.c_str(), text.size() + 1);
}

}  // namespace

bool PackageWriter::Add(const std::string& section, const std::string& name, Bytes data, std::string& error) {
    const uint64_t size = data.size();
    const uint32_t crc = size > kMaxOffset ? 0 : Crc32::Update(0, data.data(), static_cast<uint32_t>(size));
    return AddEntry(Entry{section, name, std::move(data), crc, size, nullptr}, error);
}

bool PackageWriter::AddStreamed(const std::string& section, const std::string& name, uint64_t size, uint32_t crc,
                                Source source, std::string& error) {
    return AddEntry(Entry{section, name, Bytes(), crc, size, std::move(source)}, error);
}

bool PackageWriter::AddEntry(Entry entry, std::string& error) {
    if (!CheckName("section", entry.section, error) || !CheckName("name", entry.name, error)) return false;
    const std::string section = entry.section;
    const std::string name = entry.name;
    entry.section = UpperCased(entry.section);
    entry.name = UpperCased(entry.name);
    for (const Entry& other : entries) {
        if (other.section == entry.section && other.name == entry.name) {
            error = "entry " + section + "/" + name + " collides with " + other.section + "/" + other.name +
                    " (names are compared without regard to case)";
            return false;
        }
    }
    if (entry.size > kMaxOffset) {
        error = "entry " + section + "/" + name + " is larger than a package can hold";
        return false;
    }
    entries.push_back(std::move(entry));
    return true;
}

bool PackageWriter::WriteStreamed(const Entry& entry, const Sink& sink, std::string& error) {
    uint64_t count = 0;
    uint32_t crc = 0;
    bool tooLong = false;
    const Sink counting = [&](const void* data, size_t size) {
        count += size;
        if (count > entry.size) {
            tooLong = true;
            return false;
        }
        crc = Crc32::Update(crc, data, static_cast<uint32_t>(size));
        return sink(data, size);
    };
    if (!entry.source(counting, error) && !tooLong) {
        if (error.empty()) error = "write failed";  // the sink refused, not the source
        return false;
    }
    if (tooLong || count != entry.size || crc != entry.crc) {
        error = "entry " + entry.section + "/" + entry.name + " changed while it was packed (" +
                std::to_string(entry.size) + " bytes expected)";
        return false;
    }
    return true;
}

bool PackageWriter::Write(uint32_t headerOffset, const Sink& sink, std::string& error) const {
    Bytes table;
    char marker[kMarkerLength];
    MakeMarker(marker);
    AppendBytes(table, marker, kMarkerLength);
    AppendU32(table, static_cast<uint32_t>(entries.size()));
    uint64_t dataSize = 0;
    for (const Entry& entry : entries) {
        AppendName(table, entry.section);
        AppendName(table, entry.name);
        AppendU32(table, static_cast<uint32_t>(entry.size));
        AppendU32(table, entry.crc);
        dataSize += entry.size;
    }
    const uint64_t base = table.size() + 4;
    if (static_cast<uint64_t>(headerOffset) + base + dataSize > kMaxOffset) {
        error = "the package would pass 2 GiB; offsets must stay below 2^31";
        return false;
    }
    AppendU32(table, static_cast<uint32_t>(base));
    if (!sink(table.data(), table.size())) {
        error = "write failed";
        return false;
    }
    for (const Entry& entry : entries) {
        if (entry.source) {
            if (!WriteStreamed(entry, sink, error)) return false;
            continue;
        }
        if (!entry.data.empty() && !sink(entry.data.data(), entry.data.size())) {
            error = "write failed";
            return false;
        }
    }
    unsigned char trailer[4];
    StoreU32(trailer, headerOffset);
    if (!sink(trailer, sizeof(trailer))) {
        error = "write failed";
        return false;
    }
    return true;
}

bool PackageWriter::Build(uint32_t headerOffset, Bytes& out, std::string& error) const {
    out.clear();
    return Write(
        headerOffset,
        [&out](const void* data, size_t size) {
            AppendBytes(out, data, size);
            return true;
        },
        error);
}

PackageWriter::Bytes PackageWriter::EncodeNumber(int32_t value) {
    Bytes out;
    AppendU32(out, static_cast<uint32_t>(value));
    return out;
}

PackageWriter::Bytes PackageWriter::EncodeFlag(bool value) { return Bytes{static_cast<unsigned char>(value ? 1 : 0)}; }

PackageWriter::Bytes PackageWriter::EncodeText(const std::string& text) {
    Bytes out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

bool PackageWriter::CompressWithSizeTrailer(const Bytes& plain, Bytes& out, std::string& error) {
    if (plain.size() > 0xFFFFFFFFu) {
        error = "file too large to compress";
        return false;
    }
    uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
    out.assign(packedSize + 4, 0);
    const int result = compress2(out.data(), &packedSize, plain.data(), static_cast<uLong>(plain.size()), 9);
    if (result != Z_OK) {
        error = "zlib compression failed (" + std::to_string(result) + ")";
        return false;
    }
    out.resize(packedSize);
    AppendU32(out, static_cast<uint32_t>(plain.size()));
    return true;
}
