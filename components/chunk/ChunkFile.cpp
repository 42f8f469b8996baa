#include "components/chunk/ChunkFile.h"

#include <cstring>

#include "components/chunk/ChunkWalk.h"
#include "package/LittleEndian.h"

namespace chunk {

bool IsTag(const char* tag) {
    return tag != nullptr && std::memchr(tag, 0, kTagSize) == nullptr;
}

void StoreChunkHeader(unsigned char* header, const char* tag, uint32_t size) {
    std::memcpy(header, tag, kTagSize);
    StoreU32(header + kTagSize, size);
}

bool FindChunk(const void* bytes, size_t size, const char* tag, int index, ChunkView& found) {
    if (!IsTag(tag) || index < 0) return false;
    if (!WalkChunks(bytes, size, [](const unsigned char*, const unsigned char*, uint32_t) { return true; })) {
        return false;
    }
    int seen = 0;
    bool hit = false;
    WalkChunks(bytes, size, [&](const unsigned char* chunkTag, const unsigned char* data, uint32_t n) {
        if (std::memcmp(chunkTag, tag, kTagSize) != 0 || seen++ != index) return true;
        found.data = data;
        found.size = n;
        hit = true;
        return false;
    });
    return hit;
}

}  // namespace chunk
