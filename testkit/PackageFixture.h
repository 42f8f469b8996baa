#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/BlockEncoder.h"
#include "package/PackageFormat.h"
#include "package/PackageWriter.h"

namespace testkit {

using Bytes = std::vector<unsigned char>;

bool ReadFileBytes(const std::string& path, Bytes& out);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

// Builds test packages entry by entry and writes them behind a stub. Every call adds one
// entry in table order; a failing Add aborts the test run with the writer's reason.
class PackageFixture {
public:
    PackageFixture& Number(const std::string& name, int32_t value,
                           const std::string& section = package_format::kDefaultSection);
    PackageFixture& Flag(const std::string& name, bool value,
                         const std::string& section = package_format::kDefaultSection);
    PackageFixture& Text(const std::string& name, const std::string& value,
                         const std::string& section = package_format::kDefaultSection);
    PackageFixture& Raw(const std::string& name, Bytes value,
                        const std::string& section = package_format::kDefaultSection);

    // Items in LZMA blocks, as the packer lays them out: each item's empty APPDATA entry, its
    // record, and the blocks, each holding up to blockBytes plain bytes (an item that does not
    // fit goes on in the next block). Blocks are numbered from firstBlock.
    struct Item {
        std::string name;
        Bytes bytes;
    };
    PackageFixture& BlockItems(const std::vector<Item>& items, uint32_t blockBytes, uint32_t firstBlock = 0,
                               const BlockSettings& settings = BlockSettings());

    // The package alone, as it would start at headerOffset.
    Bytes Package(uint32_t headerOffset) const;
    // stub + package.
    Bytes Image(const Bytes& stub) const;

private:
    PackageWriter writer;
};

// One block as the packer writes it (header and stream) of plain, encoded with settings.
Bytes EncodedBlock(const Bytes& plain, const BlockSettings& settings = BlockSettings());
// An item's record: its block, offset in it, size and CRC-32 of its plain bytes.
Bytes BlockRecord(uint32_t block, uint32_t offset, uint32_t size, uint32_t crc);

// Offsets of the parts of a package built by PackageFixture::Image, for damage tests.
struct PackageLayout {
    uint32_t header = 0;     // H: the marker's first byte
    uint32_t tableEnd = 0;   // first byte after B
    uint32_t dataEnd = 0;    // first byte of the trailer
};
PackageLayout LayoutOf(const Bytes& image);

// Flips one byte in the middle of the data of entry `name` (any section, ASCII case ignored)
// of an image built by PackageFixture::Image, so that it fails its CRC; false when the
// entry is not there or empty.
bool DamageEntry(Bytes& image, const std::string& name);

}  // namespace testkit
