#pragma once
#include <cstddef>
#include <cstdint>

#include "components/chunk/ChunkFile.h"
#include "package/LittleEndian.h"

namespace chunk {

// Walks the chunks of bytes, calling visit(tag, data, size) for each; false at the first
// header or size that does not fit, before visiting that chunk.
template <typename Visit>
bool WalkChunks(const void* bytes, size_t size, Visit visit) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    size_t at = 0;
    while (at < size) {
        if (size - at < kHeaderSize) return false;
        const uint32_t dataSize = LoadU32(p + at + kTagSize);
        const size_t dataAt = at + kHeaderSize;
        if (dataSize > size - dataAt) return false;
        if (!visit(p + at, p + dataAt, dataSize)) return true;
        at = dataAt + dataSize;
    }
    return true;
}

}  // namespace chunk
