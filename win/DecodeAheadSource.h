#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "package/BlockSource.h"
#include "win/Handle.h"

namespace win {

// The package's LZMA blocks decoded on a thread of its own, up to kSlots pieces ahead of the
// reader. The thread exists because LZMA decodes more slowly than files are written: decoding
// on the program's thread between the writes would add the two up, while here the next pieces
// decode as the last ones are written. It only decodes; the reader, the files, every box and
// the progress bar stay on the program's one thread, which takes the pieces in order.
//
// Restart and the destructor stop the thread and wait for it. When the thread or its buffers
// cannot be had, the same pieces are decoded on the caller's thread instead.
class DecodeAheadSource : public BlockSource {
public:
    static constexpr uint32_t kSlots = 8;

    DecodeAheadSource(PackageFile& file, const BlockLocation* blocks, uint32_t count);
    DecodeAheadSource(const DecodeAheadSource&) = delete;
    DecodeAheadSource& operator=(const DecodeAheadSource&) = delete;
    ~DecodeAheadSource() override;

    void Restart(uint32_t first) override;
    BlockPiece Next() override;

private:
    static DWORD WINAPI Run(void* self);
    void Produce();
    // Ends the thread, if one runs, and waits for it.
    void Stop();
    bool Start();

    DecodingBlockSource inner;
    struct FreeBytes {
        void operator()(unsigned char* p) const;
    };
    std::unique_ptr<unsigned char, FreeBytes> buffers;  // kSlots pieces of kPieceSize bytes
    BlockPiece slots[kSlots];
    uint32_t produced = 0;  // pieces the thread has put into slots (it alone writes it)
    uint32_t taken = 0;     // pieces the reader has taken
    bool holding = false;   // the reader still reads the slot it took last
    bool ended = false;     // the reader took a piece after which the thread stopped
    BlockPiece last;        // that piece, repeated
    volatile LONG stopping = 0;
    Handle thread;
    Handle freeSlots;  // semaphores: slots the thread may fill, and slots filled for the reader
    Handle filledSlots;
};

}  // namespace win
