#include "package/BlockEncoder.h"

#include <cstdlib>
#include <cstring>

#include <LzmaEnc.h>

#include "package/LittleEndian.h"
#include "package/PackageFormat.h"

using namespace package_format;

void EncoderMemory::Add(uint64_t bytes) {
    const uint64_t now = live += bytes;
    uint64_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

void EncoderMemory::Remove(uint64_t bytes) { live -= bytes; }

namespace {

// The SDK's allocator interface, counting into an EncoderMemory. Each block keeps its size in
// front of it so that a release knows what it gives back.
struct CountingAllocator {
    ISzAlloc functions;  // first: the SDK passes a pointer to it back
    EncoderMemory* memory;

    static void* Allocate(void* self, size_t size) {
        auto* block = static_cast<uint64_t*>(std::malloc(size + sizeof(uint64_t)));
        if (block == nullptr) return nullptr;
        *block = size;
        if (auto* memory = static_cast<CountingAllocator*>(self)->memory) memory->Add(size);
        return block + 1;
    }
    static void Release(void* self, void* address) {
        if (address == nullptr) return;
        uint64_t* block = static_cast<uint64_t*>(address) - 1;
        if (auto* memory = static_cast<CountingAllocator*>(self)->memory) memory->Remove(*block);
        std::free(block);
    }
};

struct Input {
    ISeqInStream functions;
    const BlockRead* read;
    uint64_t total = 0;
    uint64_t limit = 0;

    static SRes Read(void* self, void* buffer, size_t* size) {
        auto* input = static_cast<Input*>(self);
        // Never more than the block's size: bytes beyond it would make another stream.
        const uint64_t left = input->limit - input->total;
        if (*size > left) *size = static_cast<size_t>(left);
        *size = *size == 0 ? 0 : (*input->read)(buffer, *size);
        input->total += *size;
        return SZ_OK;
    }
};

struct Output {
    ISeqOutStream functions;
    const BlockWrite* write;

    static size_t Write(void* self, const void* data, size_t size) {
        return (*static_cast<Output*>(self)->write)(data, size) ? size : 0;
    }
};

CLzmaEncProps PropertiesOf(const BlockSettings& settings, uint32_t plainSize) {
    CLzmaEncProps properties;
    LzmaEncProps_Init(&properties);
    properties.level = settings.level;
    properties.dictSize = settings.dictionary;
    // Shrinks the dictionary to the block: the reader needs no more.
    properties.reduceSize = plainSize;
    properties.lc = static_cast<int>(settings.lc);
    properties.lp = static_cast<int>(settings.lp);
    properties.pb = static_cast<int>(settings.pb);
    properties.numThreads = 1;
    properties.writeEndMark = 0;
    LzmaEncProps_Normalize(&properties);
    return properties;
}

}  // namespace

uint64_t EncoderFootprint(const BlockSettings& settings, uint64_t plainSize) {
    const CLzmaEncProps properties =
        PropertiesOf(settings, plainSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(plainSize));
    const uint64_t dictionary = properties.dictSize;
    // The match finder's window (history, lookahead and its reserve), its hash table (at most a
    // quarter of the dictionary's entries plus fixed parts, 4 bytes each), its binary tree (two
    // 4-byte links per position), and a megabyte for the encoder's own tables.
    const uint64_t window = dictionary + dictionary / 2 + (1u << 20);
    uint64_t hash = 1;
    while (hash < dictionary / 2) hash <<= 1;
    if (hash < (1u << 16)) hash = 1u << 16;
    if (hash > (1u << 24)) hash >>= 1;
    const uint64_t tables = (hash + (1u << 10) + (1u << 16)) * 4 + (dictionary + 1) * 2 * 4;
    return window + tables + (1u << 20);
}

bool EncodeBlock(const BlockSettings& settings, uint32_t plainSize, const BlockRead& read, const BlockWrite& write,
                 EncoderMemory* memory, std::string& error) {
    if (settings.dictionary > kMaxDictionary || settings.lc + settings.lp > kMaxLiteralBits || plainSize == 0) {
        error = "unsupported LZMA block settings";
        return false;
    }
    CountingAllocator allocator{{CountingAllocator::Allocate, CountingAllocator::Release}, memory};
    ISzAlloc* alloc = &allocator.functions;
    CLzmaEncHandle encoder = LzmaEnc_Create(alloc);
    if (encoder == nullptr) {
        error = "out of memory for the LZMA encoder";
        return false;
    }
    const CLzmaEncProps properties = PropertiesOf(settings, plainSize);
    unsigned char header[kBlockHeaderSize];
    SizeT propertiesSize = kBlockPropertiesSize;
    SRes result = LzmaEnc_SetProps(encoder, &properties);
    if (result == SZ_OK) result = LzmaEnc_WriteProperties(encoder, header, &propertiesSize);
    StoreU32(header + kBlockPropertiesSize, plainSize);
    Input input{{Input::Read}, &read, 0, plainSize};
    Output output{{Output::Write}, &write};
    if (result == SZ_OK && !write(header, sizeof(header))) result = SZ_ERROR_WRITE;
    if (result == SZ_OK) result = LzmaEnc_Encode(encoder, &output.functions, &input.functions, nullptr, alloc, alloc);
    LzmaEnc_Destroy(encoder, alloc, alloc);
    if (result == SZ_OK && input.total != plainSize) {
        error = "the block's bytes came " + std::to_string(input.total) + " instead of " + std::to_string(plainSize);
        return false;
    }
    if (result != SZ_OK) {
        error = result == SZ_ERROR_MEM     ? "out of memory for the LZMA encoder"
                : result == SZ_ERROR_WRITE ? "the compressed block could not be written"
                                           : "LZMA compression failed (" + std::to_string(result) + ")";
        return false;
    }
    return true;
}

bool EncodeBlockOf(const BlockSettings& settings, const unsigned char* plain, uint32_t plainSize, const BlockWrite& write,
                   EncoderMemory* memory, std::string& error) {
    uint32_t at = 0;
    const auto read = [&](void* buffer, size_t size) {
        const size_t take = size < plainSize - at ? size : plainSize - at;
        std::memcpy(buffer, plain + at, take);
        at += static_cast<uint32_t>(take);
        return take;
    };
    return EncodeBlock(settings, plainSize, read, write, memory, error);
}
