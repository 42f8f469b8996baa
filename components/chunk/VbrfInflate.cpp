#include "components/chunk/VbrfCodec.h"

#include <zlib.h>

#include <limits>

#include "package/LittleEndian.h"

namespace chunk {

namespace {

// deflate expands at most about 1032:1; a recorded size beyond that is a lie, and believing it
// would let a damaged file make us allocate up to 4 GB.
constexpr uint64_t kMaxExpansion = 1032;
constexpr uint64_t kExpansionSlack = 4096;  // headers and trees weigh more in tiny streams

}  // namespace

bool VbrfPlainSize(const void* data, size_t size, uint32_t& plainSize) {
    if (data == nullptr || size < kSizeField || size > std::numeric_limits<uInt>::max()) return false;
    const uint32_t recorded = LoadU32(data);
    if (recorded > (size - kSizeField) * kMaxExpansion + kExpansionSlack) return false;
    plainSize = recorded;
    return true;
}

bool InflateVbrf(const void* data, size_t size, unsigned char* plain, uint32_t plainSize) {
    if (data == nullptr || size < kSizeField || size > std::numeric_limits<uInt>::max()) return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    // zlib only reads the input; its interface just lacks the const.
    stream.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(data) + kSizeField);
    stream.avail_in = static_cast<uInt>(size - kSizeField);
    // An empty file still needs somewhere to write; one spare byte also shows a stream that
    // would produce more than nothing.
    unsigned char spare = 0;
    stream.next_out = plainSize != 0 ? plain : &spare;
    stream.avail_out = plainSize != 0 ? plainSize : 1;
    const int result = inflate(&stream, Z_FINISH);
    // Exactly one complete stream that fills the buffer and uses up the chunk.
    const bool ok = result == Z_STREAM_END && stream.total_out == plainSize && stream.avail_in == 0;
    inflateEnd(&stream);
    return ok;
}

}  // namespace chunk
