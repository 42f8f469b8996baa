#pragma once
#include <cstdint>

// Byte layout of the package appended to the program file:
//   marker (36) | N (4, signed) | N records | B (4) | data | trailer H (4)
// record: L1 (4) | section (L1, zero-terminated) | L2 (4) | name (L2) | S (4) | CRC-32 (4)
namespace package_format {

constexpr uint32_t kMarkerLength = 36;
// Section and entry names hold up to 259 characters and their zero byte.
constexpr uint32_t kMaxNameBytes = 260;
constexpr uint32_t kTrailerSize = 4;
// Smallest record: two one-byte names and three 4-byte fields besides their lengths.
constexpr uint32_t kMinRecordSize = 4 + 1 + 4 + 1 + 4 + 4;
// The search looks at 20 blocks of 9999 bytes: a header must start in the first 199,980 bytes.
constexpr uint32_t kSearchBlock = 9999;
constexpr uint32_t kSearchBlocks = 20;
constexpr uint32_t kSearchLimit = kSearchBlock * kSearchBlocks;
// Offsets are handed to the file system as signed 32-bit values.
constexpr uint64_t kMaxOffset = 0x7FFFFFFF;

constexpr const char* kDefaultSection = "APPDATA";

// A project file may be stored compressed: its APPDATA entry then holds a zlib stream followed
// by the 4-byte little-endian size of the plain file (the engine files' form), and this
// section holds a 1-byte entry of the same name whose nonzero value says so. Per item, so an
// incompressible file stays as it is; a package without the section, or an item without its
// entry, holds project files exactly as they are to be written. The entry's CRC stays the CRC
// of the stored (compressed) bytes. Readers that know nothing of it find every key as before.
constexpr const char* kCompressedSection = "FILEZLIB";

// Writes the 36 marker bytes (no terminator) into out. The marker is held as two halves
// and joined here at run time, so the program's own image never contains it whole: a
// whole copy would let the search find the program itself instead of its package.
void MakeMarker(char out[kMarkerLength]);

}  // namespace package_format
