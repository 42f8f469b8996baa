#include "components/chunk/VbrfCodec.h"

#include <zlib.h>

#include <limits>
#include <new>

#include "components/chunk/ChunkFile.h"
#include "engine/ChunkSchema.h"
#include "package/LittleEndian.h"

namespace chunk {

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
    uint32_t plainSize = 0;
    if (!VbrfPlainSize(data, size, plainSize)) return false;
    try {
        plain.resize(plainSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (InflateVbrf(data, size, plain.data(), plainSize)) return true;
    plain.clear();
    return false;
}

}  // namespace chunk
