#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/ChunkSchema.h"

// A file in the engine's stored form: a chunk file holding one "VBRF" chunk whose data is the
// original size (32-bit little-endian) followed by the zlib stream of the original bytes.
namespace chunk {

constexpr size_t kSizeField = 4;  // the original size, in front of the stream

// Builds the stored form of size bytes at plain. False (file empty) when the size does not fit
// 32 bits or memory runs out.
bool EncodeVbrf(const void* plain, size_t size, std::vector<unsigned char>& file);

// Decodes the data of one "VBRF" chunk. False when the size field is missing, the stream is
// damaged, ends early or late, or does not produce exactly the recorded size; plain is then
// empty. Never allocates more than the stream could possibly expand to.
bool DecodeVbrf(const void* data, size_t size, std::vector<unsigned char>& plain);

// The same decoding in two steps, for callers that hold memory their own way (the engine's
// libraries, which use no throwing container). VbrfPlainSize gives the size the data records;
// false when the size field is missing or the size is beyond what the stream could expand to.
// InflateVbrf then fills exactly plainSize bytes at plain; false under DecodeVbrf's rules,
// plain's content then undefined.
bool VbrfPlainSize(const void* data, size_t size, uint32_t& plainSize);
bool InflateVbrf(const void* data, size_t size, unsigned char* plain, uint32_t plainSize);

}  // namespace chunk
