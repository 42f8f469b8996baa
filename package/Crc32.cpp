#include "Crc32.h"

#include <zlib.h>

namespace {
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
    return static_cast<uint32_t>(::crc32(crc, static_cast<const Bytef*>(bytes), length));
}
