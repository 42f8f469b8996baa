// Any byte string as a file handed to the engine's loader: finding chunks by tag and index,
// then decoding a "VBRF" chunk, exactly as the loader does, must never read outside the file,
// and what is found must agree with a whole-file read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "engine/ChunkSchema.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool Inside(const unsigned char* begin, size_t size, const chunk::ChunkView& view) {
    return view.data >= begin && view.size <= size && view.data + view.size <= begin + size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<chunk::Chunk> chunks;
    const bool whole = chunk::ReadChunks(data, size, chunks);
    if (!whole) Check(chunks.empty());

    // Each chunk of a whole read is found by its tag and its rank among chunks of that tag.
    for (size_t i = 0; i < chunks.size() && i < 64; ++i) {
        // A tag holding a zero byte cannot be asked for; such chunks are only skipped over.
        if (!chunk::IsTag(chunks[i].tag.c_str())) continue;
        int rank = 0;
        for (size_t j = 0; j < i; ++j) rank += chunks[j].tag == chunks[i].tag ? 1 : 0;
        chunk::ChunkView view;
        Check(chunk::FindChunk(data, size, chunks[i].tag.c_str(), rank, view));
        Check(Inside(data, size, view));
        Check(view.size == chunks[i].data.size());
        Check(view.size == 0 || std::memcmp(view.data, chunks[i].data.data(), view.size) == 0);
    }

    // The loader's own road: the first "VBRF" chunk, decoded.
    chunk::ChunkView vbrf;
    if (chunk::FindChunk(data, size, kVbrfTag, 0, vbrf)) {
        Check(whole);
        Check(Inside(data, size, vbrf));
        std::vector<unsigned char> plain;
        if (chunk::DecodeVbrf(vbrf.data, vbrf.size, plain)) {
            uint32_t recorded = 0;
            for (int b = 3; b >= 0; --b) recorded = (recorded << 8) | vbrf.data[b];
            Check(plain.size() == recorded);
        } else {
            Check(plain.empty());
        }
    } else if (whole) {
        for (const auto& c : chunks) Check(c.tag != kVbrfTag);
    }

    // A tag the file is searched for is never taken from past its end or from a bad index.
    chunk::ChunkView none;
    Check(!chunk::FindChunk(data, size, "VBRF", -1, none));
    Check(!chunk::FindChunk(data, size, "VB", 0, none));
    return 0;
}
