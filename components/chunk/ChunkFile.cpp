#include "components/chunk/ChunkFile.h"

#include <cstring>

#include "package/LittleEndian.h"

namespace chunk {

namespace {

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

}  // namespace

bool IsTag(const char* tag) {
    return tag != nullptr && std::memchr(tag, 0, kTagSize) == nullptr;
}

void StoreChunkHeader(unsigned char* header, const char* tag, uint32_t size) {
    std::memcpy(header, tag, kTagSize);
    StoreU32(header + kTagSize, size);
}

void AppendChunk(std::vector<unsigned char>& out, const char* tag, const void* data, uint32_t size) {
    unsigned char header[kHeaderSize];
    StoreChunkHeader(header, tag, size);
    AppendBytes(out, header, kHeaderSize);
    if (size != 0) AppendBytes(out, data, size);
}

bool ReadChunks(const void* bytes, size_t size, std::vector<Chunk>& chunks) {
    chunks.clear();
    const bool ok = WalkChunks(bytes, size, [&](const unsigned char* tag, const unsigned char* data, uint32_t n) {
        chunks.push_back(Chunk{std::string(reinterpret_cast<const char*>(tag), kTagSize),
                               std::vector<unsigned char>(data, data + n)});
        return true;
    });
    if (!ok) chunks.clear();
    return ok;
}

bool ReadChunks(const std::vector<unsigned char>& bytes, std::vector<Chunk>& chunks) {
    return ReadChunks(bytes.data(), bytes.size(), chunks);
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
