#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/ChunkWalk.h"
#include "package/LittleEndian.h"

// The chunk file as a list in memory, for the packer, the uninstaller and the tests; the
// engine's libraries read and write chunks without it.
namespace chunk {

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

}  // namespace chunk
