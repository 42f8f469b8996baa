#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"

using Bytes = std::vector<unsigned char>;

namespace {

// Compressible runs mixed with noise, so both stored and compressed blocks occur.
Bytes Sample(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = (i / 4096) % 2 ? static_cast<unsigned char>(state >> 24) : static_cast<unsigned char>(i / 64);
    }
    return out;
}

// The data of the single "VBRF" chunk that a stored file holds.
Bytes VbrfData(const Bytes& file) {
    std::vector<chunk::Chunk> chunks;
    EXPECT_TRUE(chunk::ReadChunks(file, chunks));
    EXPECT_EQ(chunks.size(), 1u);
    return chunks.empty() ? Bytes{} : chunks[0].data;
}

Bytes SizeField(uint32_t size) {
    return Bytes{static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                 static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
}

Bytes ZlibStream(const Bytes& plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    Bytes out(size);
    compress(out.data(), &size, plain.data(), static_cast<uLong>(plain.size()));
    out.resize(size);
    return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(VbrfCodec, StoredFormRoundTrips) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{300000}}) {
        const Bytes plain = Sample(size, static_cast<uint32_t>(size));
        Bytes file;
        ASSERT_TRUE(chunk::EncodeVbrf(plain.data(), plain.size(), file)) << size;
        const Bytes data = VbrfData(file);
        ASSERT_GE(data.size(), 4u);
        EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), SizeField(static_cast<uint32_t>(size)));
        Bytes decoded{1, 2, 3};
        ASSERT_TRUE(chunk::DecodeVbrf(data.data(), data.size(), decoded)) << size;
        EXPECT_EQ(decoded, plain) << size;
    }
}

TEST(VbrfCodec, DamagedDataIsRefused) {
    const Bytes plain = Sample(10000, 7);
    const Bytes stream = ZlibStream(plain);
    Bytes flipped = stream;
    flipped[flipped.size() / 2] ^= 0x55;
    Bytes badChecksum = stream;
    badChecksum.back() ^= 1;
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"nothing at all", {}},
        {"size field cut short", {0x10, 0x27, 0x00}},
        {"size without a stream", SizeField(10000)},
        {"not a zlib stream", Concat(SizeField(10000), Bytes(64, 0xAB))},
        {"stream damaged in the middle", Concat(SizeField(10000), flipped)},
        {"checksum damaged", Concat(SizeField(10000), badChecksum)},
        {"stream cut short", Concat(SizeField(10000), Bytes(stream.begin(), stream.end() - 10))},
        {"size larger than the stream gives", Concat(SizeField(10001), stream)},
        {"size smaller than the stream gives", Concat(SizeField(9999), stream)},
        {"size zero for a non-empty stream", Concat(SizeField(0), stream)},
        {"size beyond any expansion", Concat(SizeField(0xFFFFFFFFu), stream)},
        {"bytes after the stream", Concat(Concat(SizeField(10000), stream), Bytes{0})},
    };
    for (const Case& c : cases) {
        Bytes decoded{9};
        EXPECT_FALSE(chunk::DecodeVbrf(c.data.data(), c.data.size(), decoded)) << c.what;
        EXPECT_TRUE(decoded.empty()) << c.what;
    }
}
