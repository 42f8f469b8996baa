#pragma once
#include <cstdint>

// The standard CRC-32 (ISO-HDLC, IEEE 802.3, zlib): reflected 0xEDB88320,
// initial value 0xFFFFFFFF, result complemented.
class Crc32 {
public:
    Crc32() = default;
    virtual ~Crc32() = default;

    // Fills the byte-at-a-time table; Compute is valid only afterwards.
    void BuildTable();
    // CRC-32 of length bytes. Uses carry-less multiplication where the processor has it and
    // zlib's word-at-a-time code for the rest: same results as the table, many times faster on
    // the multi-megabyte entries a package carries.
    uint32_t Compute(const void* bytes, uint32_t length) const;
    // The same CRC, one table step per byte; the reference the fast path is measured against.
    uint32_t ComputeBytewise(const void* bytes, uint32_t length) const;
    // Continues a running CRC (start with 0) over more bytes, for streamed data.
    static uint32_t Update(uint32_t crc, const void* bytes, uint32_t length);

private:
    uint32_t table[256] = {};
};

// zlib's crc32, one table step per byte: the same arguments and results (0 for null bytes). The
// stub links it in zlib's place (app/CMakeLists.txt), for zlib's inflate and for Update's short
// pieces, so that zlib's CRC code and tables stay out of every package.
extern "C" unsigned long OrvanCrc32(unsigned long crc, const unsigned char* bytes, unsigned int length);
