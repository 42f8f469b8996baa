#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <zlib.h>

#include "package/Crc32.h"

TEST(Crc32, KnownValues) {
    Crc32 crc;
    crc.BuildTable();
    const unsigned char one[] = {1, 0, 0, 0};
    const char check[] = "123456789";
    struct Case {
        const void* data;
        uint32_t size;
        uint32_t expected;
    } cases[] = {
        {"", 0, 0},
        {one, 4, 0x99F8B879u},
        {check, 9, 0xCBF43926u},  // the standard check value of CRC-32
    };
    for (const Case& c : cases) {
        EXPECT_EQ(crc.Compute(c.data, c.size), c.expected);
        EXPECT_EQ(crc.ComputeBytewise(c.data, c.size), c.expected);
    }
}

TEST(Crc32, FastPathMatchesTableOnEveryLengthAndAlignment) {
    Crc32 crc;
    crc.BuildTable();
    std::mt19937 random(7);
    std::vector<unsigned char> data(4096 + 16);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    for (uint32_t offset = 0; offset < 8; ++offset) {
        for (uint32_t length : {1u, 3u, 7u, 8u, 15u, 16u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 143u, 1000u,
                                4095u, 4096u}) {
            ASSERT_EQ(crc.Compute(data.data() + offset, length), crc.ComputeBytewise(data.data() + offset, length))
                << offset << "/" << length;
        }
    }
    // Streaming in pieces gives the one-shot value.
    uint32_t running = 0;
    running = Crc32::Update(running, data.data(), 1000);
    running = Crc32::Update(running, data.data() + 1000, 3096);
    EXPECT_EQ(running, crc.Compute(data.data(), 4096));
    // Pieces that split the 16- and 64-byte blocks anywhere, from any running value.
    running = 0;
    uint32_t done = 0;
    for (uint32_t piece : {65u, 1u, 130u, 17u, 64u, 700u, 3119u}) {
        running = Crc32::Update(running, data.data() + done, piece);
        done += piece;
    }
    ASSERT_EQ(done, 4096u);
    EXPECT_EQ(running, crc.ComputeBytewise(data.data(), 4096));
}

// The stub links OrvanCrc32 in place of zlib's crc32 (for zlib's own callers too): every call
// must give what zlib gives, from any running value, the null buffer included.
TEST(Crc32, ByteFunctionGivesZlibsResults) {
    std::mt19937 random(11);
    std::vector<unsigned char> data(300);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    for (unsigned long running : {0ul, 1ul, 0xFFFFFFFFul, 0xCBF43926ul, 0x12345678ul}) {
        for (unsigned int length : {0u, 1u, 2u, 15u, 16u, 17u, 63u, 64u, 255u, 300u}) {
            ASSERT_EQ(OrvanCrc32(running, data.data(), length), ::crc32(running, data.data(), length))
                << running << "/" << length;
        }
        EXPECT_EQ(OrvanCrc32(running, nullptr, 10), ::crc32(running, nullptr, 10)) << running;
    }
}
