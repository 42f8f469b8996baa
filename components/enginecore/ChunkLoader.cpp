#include <cstring>
#include <new>
#include <utility>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "components/enginecore/ChannelLibrary.h"
#include "engine/ChunkSchema.h"
#include "win/HeapBuffer.h"

namespace {

// Borrows the caller's bytes; only a decoded file is held in memory of its own.
class ChunkLoader final : public FileLoaderChannel {
public:
    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override {
        if (deleteFlag == kEngineDeleteObject) delete this;
    }

    bool ORVAN_ENGINE_CALL LoadFromMemory(const void* data, uint32_t size, int mode) override {
        loaded = static_cast<const unsigned char*>(data);
        loadedSize = data != nullptr ? size : 0;
        current = loaded;
        currentSize = loadedSize;
        foundVbrf = false;
        decoded.reset();
        return mode == kLoadBorrowed && data != nullptr && size != 0;
    }

    bool ORVAN_ENGINE_CALL FindChunk(const char* tag, int index) override {
        chunk::ChunkView found;
        if (!chunk::FindChunk(loaded, loadedSize, tag, index, found)) return false;
        current = found.data;
        currentSize = found.size;
        foundVbrf = std::memcmp(tag, kVbrfTag, chunk::kTagSize) == 0;
        return true;
    }

    const unsigned char* ORVAN_ENGINE_CALL GetData() override { return current; }
    uint32_t ORVAN_ENGINE_CALL GetSize() override { return currentSize; }

    bool ORVAN_ENGINE_CALL DecodeChunk() override {
        if (!foundVbrf) return false;
        uint32_t plainSize = 0;
        if (!chunk::VbrfPlainSize(current, currentSize, plainSize)) return false;
        // A size that memory cannot hold is a failed decoding like a damaged stream.
        win::HeapBuffer<unsigned char> plain = win::AllocateBuffer<unsigned char>(plainSize);
        if (!plain || !chunk::InflateVbrf(current, currentSize, plain.get(), plainSize)) return false;
        decoded = std::move(plain);
        current = decoded.get();
        currentSize = plainSize;
        foundVbrf = false;
        return true;
    }

private:
    const unsigned char* loaded = nullptr;
    uint32_t loadedSize = 0;
    const unsigned char* current = nullptr;
    uint32_t currentSize = 0;
    bool foundVbrf = false;  // current is the data of a found "VBRF" chunk, not yet decoded
    win::HeapBuffer<unsigned char> decoded;
};

}  // namespace

ORVAN_CHANNEL_EXPORT EngineChannel* ORVAN_ENGINE_CALL CreateEngineChannel(const GUID* classId) {
    if (classId == nullptr || !::IsEqualGUID(*classId, kFileLoaderChannelId)) return nullptr;
    return new (std::nothrow) ChunkLoader;
}
