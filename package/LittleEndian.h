#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The one place where package and chunk integers are encoded: 32-bit little-endian,
// byte by byte, whatever the host's order (16-bit for the PE headers the tools read).
inline uint32_t LoadU32(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

inline uint16_t LoadU16(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

inline void StoreU16(void* p, uint16_t value) {
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(value);
    b[1] = static_cast<unsigned char>(value >> 8);
}

inline void StoreU32(void* p, uint32_t value) {
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(value);
    b[1] = static_cast<unsigned char>(value >> 8);
    b[2] = static_cast<unsigned char>(value >> 16);
    b[3] = static_cast<unsigned char>(value >> 24);
}

inline void AppendU32(std::vector<unsigned char>& out, uint32_t value) {
    unsigned char b[4];
    StoreU32(b, value);
    out.insert(out.end(), b, b + 4);
}

inline void AppendBytes(std::vector<unsigned char>& out, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    out.insert(out.end(), p, p + size);
}
