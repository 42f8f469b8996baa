#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The engine's chunk files: chunks one after another, each a 4-character tag, its data size
// as 32-bit little-endian, then the data. A tag-only chunk has size 0. Nothing precedes the
// first chunk or follows the last.
namespace chunk {

constexpr size_t kTagSize = 4;
constexpr size_t kHeaderSize = kTagSize + 4;

struct Chunk {
    std::string tag;  // always kTagSize characters
    std::vector<unsigned char> data;
};

// Where a chunk's data lies inside the buffer it was found in.
struct ChunkView {
    const unsigned char* data = nullptr;
    uint32_t size = 0;
};

// True when tag has at least kTagSize characters before any terminator.
bool IsTag(const char* tag);

// Writes the header of a chunk of size bytes tagged with the first kTagSize characters of tag.
void StoreChunkHeader(unsigned char* header, const char* tag, uint32_t size);

// Appends one chunk: the first kTagSize characters of tag (which must have that many),
// its size and data.
void AppendChunk(std::vector<unsigned char>& out, const char* tag, const void* data, uint32_t size);

// Reads every chunk of a whole file. False when a header is cut short or a size reaches
// beyond the end; chunks then holds nothing. An empty buffer is an empty chunk file.
bool ReadChunks(const void* bytes, size_t size, std::vector<Chunk>& chunks);
bool ReadChunks(const std::vector<unsigned char>& bytes, std::vector<Chunk>& chunks);

// Finds the index-th chunk (0 = first) tagged tag without copying. Only a buffer that is a
// well-formed chunk file throughout is searched, so a file that merely starts like one (or a
// plain file whose first bytes happen to form a tag) is not taken for one. found is set only
// on success.
bool FindChunk(const void* bytes, size_t size, const char* tag, int index, ChunkView& found);

}  // namespace chunk
