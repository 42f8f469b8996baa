#include <cstring>
#include <new>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "components/enginecore/ChannelLibrary.h"

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
        std::vector<unsigned char>().swap(decoded);
        return mode == kLoadBorrowed && data != nullptr && size != 0;
    }

    bool ORVAN_ENGINE_CALL FindChunk(const char* tag, int index) override {
        chunk::ChunkView found;
        if (!chunk::FindChunk(loaded, loadedSize, tag, index, found)) return false;
        current = found.data;
        currentSize = found.size;
        foundVbrf = std::memcmp(tag, chunk::kVbrfTag, chunk::kTagSize) == 0;
        return true;
    }

    const unsigned char* ORVAN_ENGINE_CALL GetData() override { return current; }
    uint32_t ORVAN_ENGINE_CALL GetSize() override { return currentSize; }

    bool ORVAN_ENGINE_CALL DecodeChunk() override {
        if (!foundVbrf) return false;
        std::vector<unsigned char> plain;
        if (!chunk::DecodeVbrf(current, currentSize, plain)) return false;
        decoded.swap(plain);
        current = decoded.data();
        currentSize = static_cast<uint32_t>(decoded.size());
        foundVbrf = false;
        return true;
    }

private:
    const unsigned char* loaded = nullptr;
    uint32_t loadedSize = 0;
    const unsigned char* current = nullptr;
    uint32_t currentSize = 0;
    bool foundVbrf = false;  // current is the data of a found "VBRF" chunk, not yet decoded
    std::vector<unsigned char> decoded;
};

}  // namespace

ORVAN_CHANNEL_EXPORT EngineChannel* ORVAN_ENGINE_CALL CreateEngineChannel(const GUID* classId) {
    if (classId == nullptr || !::IsEqualGUID(*classId, kFileLoaderChannelId)) return nullptr;
    return new (std::nothrow) ChunkLoader;
}
