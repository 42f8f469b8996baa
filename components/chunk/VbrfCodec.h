#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A file in the engine's stored form: a chunk file holding one "VBRF" chunk whose data is the
// original size (32-bit little-endian) followed by the zlib stream of the original bytes.
namespace chunk {

constexpr char kVbrfTag[] = "VBRF";

// Builds the stored form of size bytes at plain. False (file empty) when the size does not fit
// 32 bits or memory runs out.
bool EncodeVbrf(const void* plain, size_t size, std::vector<unsigned char>& file);

// Decodes the data of one "VBRF" chunk. False when the size field is missing, the stream is
// damaged, ends early or late, or does not produce exactly the recorded size; plain is then
// empty. Never allocates more than the stream could possibly expand to.
bool DecodeVbrf(const void* data, size_t size, std::vector<unsigned char>& plain);

}  // namespace chunk
