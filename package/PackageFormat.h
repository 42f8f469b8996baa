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

// Project files may also travel in solid LZMA blocks: several items compressed as one stream.
// Section kBlockSection holds the blocks, named "0", "1", ... in the order they are decoded:
//   LZMA properties (5: the lc/lp/pb byte, the dictionary size LE) | plain size P (4, LE, >= 1)
//   | a raw LZMA stream without end mark that decodes to exactly P bytes and ends with the entry.
// The entry's CRC-32 (the table's) covers all of it and is checked as the block streams.
// Section kBlockItemSection holds, per item in a block, a record of the item's name:
//   block (4) | offset of its first byte in that block's plain bytes (4) | size (4) | CRC-32 of
//   its plain bytes (4), all LE; an item that runs past its block's end goes on at the start
//   of the next block's plain bytes. The item's APPDATA entry stays in the table, empty, so
//   that every key is found as before. A package without these sections is read as before.
// The reader decodes with a dictionary of at most kMaxDictionary bytes (less when the block is
// smaller), so a 32-bit process holds any package's blocks in bounded memory. A block may hold
// more plain bytes than its dictionary: the window wraps around.
constexpr const char* kBlockSection = "LZMABLOCK";
constexpr const char* kBlockItemSection = "FILELZMA";
constexpr uint32_t kBlockPropertiesSize = 5;
constexpr uint32_t kBlockHeaderSize = kBlockPropertiesSize + 4;
constexpr uint32_t kBlockItemRecordSize = 16;
constexpr uint32_t kMaxDictionary = 64u << 20;
// lc + lp at most 4, as LZMA2 requires: the decoder's probability table stays at 24 KiB.
constexpr uint32_t kMaxLiteralBits = 4;

// Writes the 36 marker bytes (no terminator) into out. The marker is held as two halves
// and joined here at run time, so the program's own image never contains it whole: a
// whole copy would let the search find the program itself instead of its package.
void MakeMarker(char out[kMarkerLength]);

}  // namespace package_format
