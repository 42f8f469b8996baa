#include "win/DecodeAheadSource.h"

#include <cstdlib>
#include <cstring>

namespace win {

namespace {

bool Ends(const BlockPiece& piece) { return piece.kind != BlockPiece::kBytes && piece.kind != BlockPiece::kBlockEnd; }

}  // namespace

void DecodeAheadSource::FreeBytes::operator()(unsigned char* p) const { std::free(p); }

DecodeAheadSource::DecodeAheadSource(PackageFile& file, const BlockLocation* blocks, uint32_t count)
    : inner(file, blocks, count),
      buffers(static_cast<unsigned char*>(std::malloc(size_t{kSlots} * DecodingBlockSource::kPieceSize))) {}

DecodeAheadSource::~DecodeAheadSource() { Stop(); }

void DecodeAheadSource::Restart(uint32_t first) {
    Stop();
    inner.Restart(first);
    produced = taken = 0;
    holding = ended = false;
    // Without a thread the pieces are decoded where they are asked for.
    Start();
}

bool DecodeAheadSource::Start() {
    if (!buffers) return false;
    stopping = 0;
    // Twice the slots at most, so that Stop can always wake a waiting thread.
    freeSlots.reset(::CreateSemaphoreA(nullptr, kSlots, 2 * kSlots, nullptr));
    filledSlots.reset(::CreateSemaphoreA(nullptr, 0, 2 * kSlots, nullptr));
    if (freeSlots && filledSlots) thread.reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    if (thread) return true;
    freeSlots.reset();
    filledSlots.reset();
    return false;
}

void DecodeAheadSource::Stop() {
    if (!thread) return;
    ::InterlockedExchange(&stopping, 1);
    ::ReleaseSemaphore(freeSlots.get(), kSlots, nullptr);
    ::WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    freeSlots.reset();
    filledSlots.reset();
}

DWORD WINAPI DecodeAheadSource::Run(void* self) {
    static_cast<DecodeAheadSource*>(self)->Produce();
    return 0;
}

void DecodeAheadSource::Produce() {
    for (;;) {
        if (::WaitForSingleObject(freeSlots.get(), INFINITE) != WAIT_OBJECT_0 || stopping != 0) return;
        BlockPiece piece = inner.Next();
        const uint32_t slot = produced % kSlots;
        if (piece.kind == BlockPiece::kBytes) {
            unsigned char* copy = buffers.get() + size_t{slot} * DecodingBlockSource::kPieceSize;
            std::memcpy(copy, piece.bytes, piece.length);
            piece.bytes = copy;
        }
        slots[slot] = piece;
        ++produced;
        ::ReleaseSemaphore(filledSlots.get(), 1, nullptr);
        if (Ends(piece)) return;
    }
}

BlockPiece DecodeAheadSource::Next() {
    if (!thread) return inner.Next();
    if (ended) return last;
    if (holding) ::ReleaseSemaphore(freeSlots.get(), 1, nullptr);
    holding = false;
    ::WaitForSingleObject(filledSlots.get(), INFINITE);
    const BlockPiece piece = slots[taken++ % kSlots];
    if (Ends(piece)) {
        ended = true;
        last = piece;
    } else {
        holding = true;
    }
    return piece;
}

}  // namespace win
