#include "testkit/PackageFixture.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "testkit/InstalledContents.h"

namespace testkit {

bool ReadFileBytes(const std::string& path, Bytes& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out.clear();
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) out.insert(out.end(), buffer, buffer + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

namespace {
void Check(bool ok, const std::string& error) {
    if (!ok) {
        std::fprintf(stderr, "PackageFixture: %s\n", error.c_str());
        std::abort();
    }
}
}  // namespace

PackageFixture& PackageFixture::Number(const std::string& name, int32_t value, const std::string& section) {
    return Raw(name, PackageWriter::EncodeNumber(value), section);
}

PackageFixture& PackageFixture::Flag(const std::string& name, bool value, const std::string& section) {
    return Raw(name, PackageWriter::EncodeFlag(value), section);
}

PackageFixture& PackageFixture::Text(const std::string& name, const std::string& value, const std::string& section) {
    return Raw(name, PackageWriter::EncodeText(value), section);
}

PackageFixture& PackageFixture::Raw(const std::string& name, Bytes value, const std::string& section) {
    std::string error;
    Check(writer.Add(section, name, std::move(value), error), error);
    return *this;
}

Bytes EncodedBlock(const Bytes& plain, const BlockSettings& settings) {
    Bytes out;
    std::string error;
    const auto write = [&](const void* data, size_t size) {
        AppendBytes(out, data, size);
        return true;
    };
    Check(EncodeBlockOf(settings, plain.data(), static_cast<uint32_t>(plain.size()), write, nullptr, error), error);
    return out;
}

Bytes BlockRecord(uint32_t block, uint32_t offset, uint32_t size, uint32_t crc) {
    Bytes out;
    for (const uint32_t value : {block, offset, size, crc}) AppendU32(out, value);
    return out;
}

PackageFixture& PackageFixture::BlockItems(const std::vector<Item>& items, uint32_t blockBytes, uint32_t firstBlock,
                                           const BlockSettings& settings) {
    std::vector<Bytes> blocks(1);
    std::vector<Bytes> records;
    for (const Item& item : items) {
        if (blocks.back().size() == blockBytes) blocks.emplace_back();
        const auto block = static_cast<uint32_t>(firstBlock + blocks.size() - 1);
        const auto offset = static_cast<uint32_t>(blocks.back().size());
        records.push_back(BlockRecord(block, offset, static_cast<uint32_t>(item.bytes.size()),
                                      Crc32::Update(0, item.bytes.data(), static_cast<uint32_t>(item.bytes.size()))));
        for (size_t at = 0; at < item.bytes.size();) {
            if (blocks.back().size() == blockBytes) blocks.emplace_back();
            const size_t take = std::min<size_t>(blockBytes - blocks.back().size(), item.bytes.size() - at);
            blocks.back().insert(blocks.back().end(), item.bytes.begin() + at, item.bytes.begin() + at + take);
            at += take;
        }
        Raw(item.name, {});
    }
    for (size_t i = 0; i < items.size(); ++i) Raw(items[i].name, records[i], package_format::kBlockItemSection);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (!blocks[i].empty()) {
            Raw(std::to_string(firstBlock + i), EncodedBlock(blocks[i], settings), package_format::kBlockSection);
        }
    }
    return *this;
}

Bytes PackageFixture::Package(uint32_t headerOffset) const {
    Bytes out;
    std::string error;
    Check(writer.Build(headerOffset, out, error), error);
    return out;
}

Bytes PackageFixture::Image(const Bytes& stub) const {
    Bytes out = stub;
    const Bytes package = Package(static_cast<uint32_t>(stub.size()));
    out.insert(out.end(), package.begin(), package.end());
    return out;
}

namespace {

// Calls visit(name, size, offset) for each record of the table, in order, with the entry's
// offset from the first entry's data; returns where the table's records end.
template <typename Visit>
size_t WalkTable(const Bytes& image, size_t header, Visit visit) {
    size_t pos = header + package_format::kMarkerLength;
    const auto count = static_cast<int32_t>(LoadU32(image.data() + pos));
    pos += 4;
    uint64_t offset = 0;
    for (int32_t i = 0; i < count; ++i) {
        pos += 4 + LoadU32(image.data() + pos);
        const uint32_t nameLength = LoadU32(image.data() + pos);
        const std::string name(reinterpret_cast<const char*>(image.data() + pos + 4), nameLength - 1);
        pos += 4 + nameLength;
        const uint32_t size = LoadU32(image.data() + pos);
        pos += 8;
        if (!visit(name, size, offset)) break;
        offset += size;
    }
    return pos;
}

}  // namespace

PackageLayout LayoutOf(const Bytes& image) {
    PackageLayout layout;
    layout.header = LoadU32(image.data() + image.size() - 4);
    uint64_t dataSize = 0;
    const size_t recordsEnd = WalkTable(image, layout.header, [&](const std::string&, uint32_t size, uint64_t) {
        dataSize += size;
        return true;
    });
    // The table ends with the data's base offset.
    layout.tableEnd = static_cast<uint32_t>(recordsEnd + 4);
    layout.dataEnd = static_cast<uint32_t>(layout.tableEnd + dataSize);
    return layout;
}

bool DamageEntry(Bytes& image, const std::string& name) {
    const PackageLayout layout = LayoutOf(image);
    const uint32_t dataBase = LoadU32(image.data() + layout.tableEnd - 4);
    bool damaged = false;
    WalkTable(image, layout.header, [&](const std::string& stored, uint32_t size, uint64_t offset) {
        if (size == 0 || UpperCase(stored) != UpperCase(name)) return true;
        image[layout.header + dataBase + offset + size / 2] ^= 0x5A;
        damaged = true;
        return false;
    });
    return damaged;
}

}  // namespace testkit
