#include <algorithm>
#include <new>

#include "components/chunk/ChunkFile.h"
#include "components/enginecore/ChannelLibrary.h"
#include "components/enginecore/GrowableArray.h"
#include "win/Handle.h"

namespace {

// Collects each chunk's data until the next chunk or Close, so that the size stored in front
// of it is the count actually written, whatever WriteChunkSize announced.
class ChunkSaver final : public FileSaverChannel {
public:
    ChunkSaver() = default;
    ChunkSaver(const ChunkSaver&) = delete;
    ChunkSaver& operator=(const ChunkSaver&) = delete;
    ~ChunkSaver() { Close(); }

    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override {
        if (deleteFlag == kEngineDeleteObject) delete this;
    }

    bool ORVAN_ENGINE_CALL Open(const char* path, int mode) override {
        if (file) Close();
        if (path == nullptr || mode != kSaveCreate) return false;
        file.reset(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        failed = false;
        return file.valid();
    }

    bool ORVAN_ENGINE_CALL BeginChunk(const char* tag) override {
        if (!file || !chunk::IsTag(tag)) return false;
        FinishChunk();
        std::copy(tag, tag + chunk::kTagSize, chunkTag);
        inChunk = true;
        return true;
    }

    bool ORVAN_ENGINE_CALL WriteChunkSize(uint32_t size) override {
        if (!inChunk) return false;
        // Without the room now, Write tries again for what it is given.
        pending.Reserve(size < kMaxReserve ? size : kMaxReserve);
        return true;
    }

    bool ORVAN_ENGINE_CALL Write(const void* data, uint32_t size) override {
        if (!inChunk || (data == nullptr && size != 0)) return false;
        // A chunk larger than its 32-bit size field, or than memory, cannot be stored whole.
        if (!pending.Append(static_cast<const unsigned char*>(data), size)) return Fail();
        return true;
    }

    bool ORVAN_ENGINE_CALL Close() override {
        if (!file) return false;
        FinishChunk();
        // The system may only find out at the close that the bytes cannot be stored.
        if (!::CloseHandle(file.release())) failed = true;
        pending.Release();
        return !failed;
    }

private:
    // An announced size is only a hint for the buffer; a lying one must not take all memory.
    static constexpr uint32_t kMaxReserve = 1u << 20;

    bool Fail() {
        failed = true;
        return false;
    }

    bool WriteAll(const void* data, DWORD size) {
        DWORD written = 0;
        if (size == 0) return true;
        if (!::WriteFile(file.get(), data, size, &written, nullptr) || written != size) return Fail();
        return true;
    }

    void FinishChunk() {
        if (!inChunk) return;
        inChunk = false;
        unsigned char header[chunk::kHeaderSize];
        chunk::StoreChunkHeader(header, chunkTag, pending.Size());
        if (WriteAll(header, sizeof(header))) WriteAll(pending.Data(), pending.Size());
        pending.Clear();
    }

    win::FileHandle file;
    bool inChunk = false;
    bool failed = false;  // some write of the open file failed
    char chunkTag[chunk::kTagSize] = {};
    GrowableArray<unsigned char> pending;
};

}  // namespace

ORVAN_CHANNEL_EXPORT EngineChannel* ORVAN_ENGINE_CALL CreateEngineChannel(const GUID* classId) {
    if (classId == nullptr || !::IsEqualGUID(*classId, kFileSaverChannelId)) return nullptr;
    return new (std::nothrow) ChunkSaver;
}
