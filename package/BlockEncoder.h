#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Counts the bytes the encoders hold at once, and the most they ever held, across threads.
class EncoderMemory {
public:
    void Add(uint64_t bytes);
    void Remove(uint64_t bytes);
    uint64_t Peak() const { return peak.load(); }

private:
    std::atomic<uint64_t> live{0};
    std::atomic<uint64_t> peak{0};
};

// How a block is compressed. The defaults are the packer's: the LZMA SDK's level 9 (64 MiB
// dictionary, 64 fast bytes, binary-tree match finder), literal context bits 3, no position bits.
struct BlockSettings {
    int level = 9;
    uint32_t dictionary = 64u << 20;  // at most package_format::kMaxDictionary
    unsigned lc = 3;
    unsigned lp = 0;
    unsigned pb = 2;
};

// The memory one encoder of these settings holds for a block of plainSize bytes (its match
// finder, window and tables), as the encoder's own allocations add up; an estimate from above.
uint64_t EncoderFootprint(const BlockSettings& settings, uint64_t plainSize);

// Writes one block as the reader decodes it (the layout is in PackageFormat.h): its header,
// then the LZMA stream of exactly plainSize bytes, which read gives in order (it returns 0 at
// their end). The same settings and bytes give the same block on every platform. False, with
// the reason in error, when read ends before plainSize bytes, write refuses bytes or memory runs out.
// memory, when given, counts the encoder's allocations.
using BlockRead = std::function<size_t(void* buffer, size_t size)>;
using BlockWrite = std::function<bool(const void* data, size_t size)>;
bool EncodeBlock(const BlockSettings& settings, uint32_t plainSize, const BlockRead& read, const BlockWrite& write,
                 EncoderMemory* memory, std::string& error);
// EncodeBlock of bytes in memory.
bool EncodeBlockOf(const BlockSettings& settings, const unsigned char* plain, uint32_t plainSize, const BlockWrite& write,
                   EncoderMemory* memory, std::string& error);
