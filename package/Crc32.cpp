#include "package/Crc32.h"

#include <zlib.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define ORVAN_CRC_FOLDING 1
#endif

namespace {

#ifdef ORVAN_CRC_FOLDING
// The CRC of 16-byte blocks folded with carry-less multiplication, four lanes at a time, then
// reduced to 32 bits (Intel's "Fast CRC Computation Using PCLMULQDQ", the constants for the
// reflected 0xEDB88320). Several times zlib's table code, which the rest of the bytes take.
// length is a multiple of 16 and at least 64; crc is the running value, not complemented.
#define ORVAN_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

ORVAN_FOLDING_TARGET inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// a times the high and low halves of k, plus b.
ORVAN_FOLDING_TARGET inline __m128i Fold(__m128i a, __m128i k, __m128i b) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x11), _mm_clmulepi64_si128(a, k, 0x00)), b);
}

ORVAN_FOLDING_TARGET uint32_t FoldBlocks(const unsigned char* bytes, uint32_t length, uint32_t crc) {
    alignas(16) static const uint64_t kFold4[] = {0x0154442bd4ull, 0x01c6e41596ull};
    alignas(16) static const uint64_t kFold1[] = {0x01751997d0ull, 0x00ccaa009eull};
    alignas(16) static const uint64_t kFold64[] = {0x0163cd6124ull, 0};
    alignas(16) static const uint64_t kBarrett[] = {0x01db710641ull, 0x01f7011641ull};
    __m128i x1 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(bytes + 16);
    __m128i x3 = Load(bytes + 32);
    __m128i x4 = Load(bytes + 48);
    bytes += 64;
    length -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; length >= 64; bytes += 64, length -= 64) {
        x1 = Fold(x1, k, Load(bytes));
        x2 = Fold(x2, k, Load(bytes + 16));
        x3 = Fold(x3, k, Load(bytes + 32));
        x4 = Fold(x4, k, Load(bytes + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    for (; length >= 16; bytes += 16, length -= 16) x1 = Fold(x1, k, Load(bytes));

    // 128 bits to 64, then Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, low32), k, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1));
}

bool ProcessorFolds() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) != 0 && (c & bit_SSE4_1) != 0;
}
// Asked once: the processor does not change while the program runs.
const bool kProcessorFolds = ProcessorFolds();
#endif

// The byte-at-a-time table of the reflected polynomial, made before the program's first line.
struct ByteTable {
    uint32_t entries[256];
    ByteTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int step = 0; step < 8; ++step) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
            entries[i] = value;
        }
    }
};
const ByteTable kByteTable;

uint32_t Reflect(uint32_t value, int bits) {
    uint32_t result = 0;
    for (int i = 0; i < bits; ++i) {
        if (value & (1u << i)) result |= 1u << (bits - 1 - i);
    }
    return result;
}
}  // namespace

void Crc32::BuildTable() {
    constexpr uint32_t kPolynomial = 0x04C11DB7;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = Reflect(i, 8) << 24;
        for (int step = 0; step < 8; ++step) {
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        }
        table[i] = Reflect(value, 32);
    }
}

uint32_t Crc32::Compute(const void* bytes, uint32_t length) const {
    return Update(0, bytes, length);
}

uint32_t Crc32::ComputeBytewise(const void* bytes, uint32_t length) const {
    const auto* p = static_cast<const unsigned char*>(bytes);
    uint32_t value = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i) value = table[(value ^ p[i]) & 0xFF] ^ (value >> 8);
    return ~value;
}

uint32_t Crc32::Update(uint32_t crc, const void* bytes, uint32_t length) {
    if (length == 0) return crc;
    const auto* p = static_cast<const unsigned char*>(bytes);
#ifdef ORVAN_CRC_FOLDING
    if (length >= 64 && kProcessorFolds) {
        const uint32_t blocks = length & ~15u;
        crc = ~FoldBlocks(p, blocks, ~crc);
        p += blocks;
        length -= blocks;
        if (length == 0) return crc;
    }
#endif
    return static_cast<uint32_t>(::crc32(crc, p, length));
}

extern "C" unsigned long OrvanCrc32(unsigned long crc, const unsigned char* bytes, unsigned int length) {
    if (bytes == nullptr) return 0;
    uint32_t value = ~static_cast<uint32_t>(crc);
    for (unsigned int i = 0; i < length; ++i) value = kByteTable.entries[(value ^ bytes[i]) & 0xFF] ^ (value >> 8);
    return ~value;
}
