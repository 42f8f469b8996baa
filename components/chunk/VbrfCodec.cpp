#include "components/chunk/VbrfCodec.h"

#include <zlib.h>

#include <limits>
#include <new>

#include "components/chunk/ChunkFile.h"
#include "package/LittleEndian.h"

namespace chunk {

namespace {

// deflate expands at most about 1032:1; a recorded size beyond that is a lie, and believing it
// would let a damaged file make us allocate up to 4 GB.
constexpr uint64_t kMaxExpansion = 1032;
constexpr uint64_t kExpansionSlack = 4096;  // headers and trees weigh more in tiny streams
constexpr size_t kSizeField = 4;

}  // namespace

bool EncodeVbrf(const void* plain, size_t size, std::vector<unsigned char>& file) {
    file.clear();
    if (size > std::numeric_limits<uint32_t>::max()) return false;
    try {
        uLongf packedSize = compressBound(static_cast<uLong>(size));
        std::vector<unsigned char> data(kSizeField + packedSize);
        StoreU32(data.data(), static_cast<uint32_t>(size));
        static const unsigned char kNothing = 0;
        const auto* source = size != 0 ? static_cast<const Bytef*>(plain) : &kNothing;
        if (compress2(data.data() + kSizeField, &packedSize, source, static_cast<uLong>(size), Z_DEFAULT_COMPRESSION) != Z_OK) {
            return false;
        }
        data.resize(kSizeField + packedSize);
        AppendChunk(file, kVbrfTag, data.data(), static_cast<uint32_t>(data.size()));
        return true;
    } catch (const std::bad_alloc&) {
        file.clear();
        return false;
    }
}

bool DecodeVbrf(const void* data, size_t size, std::vector<unsigned char>& plain) {
    plain.clear();
    if (data == nullptr || size < kSizeField || size > std::numeric_limits<uInt>::max()) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const uint32_t originalSize = LoadU32(bytes);
    const size_t streamSize = size - kSizeField;
    if (originalSize > streamSize * kMaxExpansion + kExpansionSlack) return false;
    try {
        plain.resize(originalSize);
    } catch (const std::bad_alloc&) {
        return false;
    }

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        plain.clear();
        return false;
    }
    // zlib only reads the input; its interface just lacks the const.
    stream.next_in = const_cast<Bytef*>(bytes + kSizeField);
    stream.avail_in = static_cast<uInt>(streamSize);
    // An empty file still needs somewhere to write; one spare byte also shows a stream that
    // would produce more than nothing.
    unsigned char spare = 0;
    stream.next_out = originalSize != 0 ? plain.data() : &spare;
    stream.avail_out = originalSize != 0 ? originalSize : 1;
    const int result = inflate(&stream, Z_FINISH);
    // Exactly one complete stream that fills the buffer and uses up the chunk.
    const bool ok = result == Z_STREAM_END && stream.total_out == originalSize && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!ok) plain.clear();
    return ok;
}

}  // namespace chunk
