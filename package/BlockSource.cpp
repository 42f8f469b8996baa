#include "package/BlockSource.h"

#include <cstdlib>

#include <LzmaDec.h>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"

using namespace package_format;

namespace {

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }
ISzAlloc kAllocator = {Allocate, Release};

}  // namespace

struct DecodingBlockSource::Decoder {
    CLzmaDec state;
    unsigned char* dictionary;
    ELzmaStatus status;  // of the call that produced the last bytes
    unsigned char input[kStoredChunk];
};

void DecodingBlockSource::FreeDecoderState::operator()(Decoder* p) const {
    LzmaDec_FreeProbs(&p->state, &kAllocator);
    std::free(p->dictionary);
    std::free(p);
}

DecodingBlockSource::DecodingBlockSource(PackageFile& file, const BlockLocation* blocks, uint32_t count)
    : file(file), blocks(blocks), count(count) {}

DecodingBlockSource::~DecodingBlockSource() = default;

void DecodingBlockSource::Restart(uint32_t first) {
    decoder.reset();
    block = first;
    state = State::kBetween;
    inputBegin = inputEnd = 0;
}

BlockPiece DecodingBlockSource::Stop(BlockPiece::Kind kind) {
    decoder.reset();
    state = State::kStopped;
    stopKind = kind;
    BlockPiece piece;
    piece.kind = kind;
    piece.block = block;
    return piece;
}

bool DecodingBlockSource::Refill() {
    const uint32_t want = storedLeft < kStoredChunk ? storedLeft : kStoredChunk;
    if (!file.ReadExact(storedAt, decoder->input, want)) return false;
    crc = Crc32::Update(crc, decoder->input, want);
    storedAt += want;
    storedLeft -= want;
    inputBegin = 0;
    inputEnd = want;
    return true;
}

BlockPiece DecodingBlockSource::Unsound() {
    while (storedLeft > 0) {
        if (!Refill()) return Stop(BlockPiece::kDamaged);
    }
    return Stop(crc == blocks[block].crc ? BlockPiece::kUnsound : BlockPiece::kDamaged);
}

// Reads the header and sets up the decoder; a piece that is not kBytes when that fails.
BlockPiece DecodingBlockSource::StartBlock() {
    BlockPiece started;
    started.kind = BlockPiece::kBytes;
    if (block >= count) return Stop(BlockPiece::kNoMoreBlocks);
    decoder.reset(static_cast<Decoder*>(std::calloc(1, sizeof(Decoder))));
    if (!decoder) return Stop(BlockPiece::kNoMemory);
    LzmaDec_Construct(&decoder->state);
    storedAt = blocks[block].offset;
    storedLeft = blocks[block].size;
    crc = 0;
    state = State::kDecoding;
    if (!Refill()) return Stop(BlockPiece::kDamaged);
    const unsigned char* header = decoder->input;
    CLzmaProps properties;
    if (inputEnd < kBlockHeaderSize || LzmaProps_Decode(&properties, header, kBlockPropertiesSize) != SZ_OK ||
        properties.dicSize > kMaxDictionary || properties.lc + properties.lp > kMaxLiteralBits) {
        return Unsound();
    }
    plainLeft = LoadU32(header + kBlockPropertiesSize);
    if (plainLeft == 0) return Unsound();
    inputBegin = kBlockHeaderSize;
    // No more dictionary than the block has bytes: nothing is ever looked up further back.
    const uint32_t size = properties.dicSize < plainLeft ? properties.dicSize : plainLeft;
    decoder->dictionary = static_cast<unsigned char*>(std::malloc(size));
    if (decoder->dictionary == nullptr ||
        LzmaDec_AllocateProbs(&decoder->state, header, kBlockPropertiesSize, &kAllocator) != SZ_OK) {
        return Stop(BlockPiece::kNoMemory);
    }
    decoder->state.dic = decoder->dictionary;
    decoder->state.dicBufSize = size;
    LzmaDec_Init(&decoder->state);
    return started;
}

BlockPiece DecodingBlockSource::EndBlock() {
    const ELzmaStatus status = decoder->status;
    if ((status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && status != LZMA_STATUS_FINISHED_WITH_MARK) ||
        inputBegin != inputEnd || storedLeft != 0) {
        return Unsound();
    }
    if (crc != blocks[block].crc) return Stop(BlockPiece::kDamaged);
    // The decoder's memory goes with the next block's start, or with the source.
    BlockPiece ended;
    ended.kind = BlockPiece::kBlockEnd;
    ended.block = block++;
    state = State::kBetween;
    return ended;
}

BlockPiece DecodingBlockSource::Next() {
    if (state == State::kStopped) return Stop(stopKind);
    if (state == State::kBetween) {
        const BlockPiece started = StartBlock();
        if (started.kind != BlockPiece::kBytes) return started;
    }
    if (plainLeft == 0) return EndBlock();
    CLzmaDec& lzma = decoder->state;
    for (;;) {
        if (lzma.dicPos == lzma.dicBufSize) lzma.dicPos = 0;
        const SizeT start = lzma.dicPos;
        SizeT room = lzma.dicBufSize - start;
        if (room > plainLeft) room = plainLeft;
        if (room > kPieceSize) room = kPieceSize;
        if (inputBegin == inputEnd && storedLeft > 0 && !Refill()) return Stop(BlockPiece::kDamaged);
        SizeT taken = inputEnd - inputBegin;
        // The last piece must end the stream: more symbols behind the declared size are an error.
        const ELzmaFinishMode finish = room == plainLeft ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        const SRes result =
            LzmaDec_DecodeToDic(&lzma, start + room, decoder->input + inputBegin, &taken, finish, &decoder->status);
        inputBegin += static_cast<uint32_t>(taken);
        const auto produced = static_cast<uint32_t>(lzma.dicPos - start);
        if (result != SZ_OK) return Unsound();
        if (produced > 0) {
            plainLeft -= produced;
            BlockPiece piece;
            piece.kind = BlockPiece::kBytes;
            piece.block = block;
            piece.bytes = decoder->dictionary + start;
            piece.length = produced;
            return piece;
        }
        // Nothing came out: the stream wants bytes the block does not have, or ended early.
        const bool starved = inputBegin == inputEnd && storedLeft == 0;
        if (decoder->status != LZMA_STATUS_NEEDS_MORE_INPUT || starved) return Unsound();
    }
}
