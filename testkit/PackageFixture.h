#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageWriter.h"

namespace testkit {

using Bytes = std::vector<unsigned char>;

bool ReadFileBytes(const std::string& path, Bytes& out);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

// Builds test packages entry by entry and writes them behind a stub. Every call adds one
// entry in table order; a failing Add aborts the test run with the writer's reason.
class PackageFixture {
public:
    PackageFixture& Number(const std::string& name, int32_t value, const std::string& section = "APPDATA");
    PackageFixture& Flag(const std::string& name, bool value, const std::string& section = "APPDATA");
    PackageFixture& Text(const std::string& name, const std::string& value, const std::string& section = "APPDATA");
    PackageFixture& Raw(const std::string& name, Bytes value, const std::string& section = "APPDATA");

    // The package alone, as it would start at headerOffset.
    Bytes Package(uint32_t headerOffset) const;
    // stub + package.
    Bytes Image(const Bytes& stub) const;

private:
    PackageWriter writer;
};

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
