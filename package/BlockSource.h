#pragma once
#include <cstdint>
#include <memory>

#include "package/PackageFile.h"

// Where one LZMA block's stored bytes lie in the package file, and their CRC-32 from the table.
struct BlockLocation {
    uint64_t offset;
    uint32_t size;
    uint32_t crc;
};

// What a block source gives next: plain bytes of the current block, or what ended it.
struct BlockPiece {
    enum Kind : uint8_t {
        kBytes,         // bytes/length: the next plain bytes of block `block`
        kBlockEnd,      // block `block` ended soundly: every stored byte read, its CRC matched,
                        // the stream ended exactly after its declared plain size
        kNoMoreBlocks,  // the last block has ended
        kDamaged,       // stored bytes failed their CRC or could not be read
        kUnsound,       // stored bytes are whole but are not a block the reader decodes
        kNoMemory,      // the decoder's memory could not be allocated
    };
    Kind kind = kNoMoreBlocks;
    uint32_t block = 0;
    const unsigned char* bytes = nullptr;
    uint32_t length = 0;
};

// The plain bytes of a package's blocks, block after block, in bounded pieces. After kDamaged,
// kUnsound, kNoMemory and kNoMoreBlocks only Restart moves it on.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Decoding starts (again) at the first byte of block `first`.
    virtual void Restart(uint32_t first) = 0;
    // The next piece; its bytes stay valid until the next call.
    virtual BlockPiece Next() = 0;
};

// Decodes on the calling thread, reading the stored bytes from file as it goes. Memory: the
// dictionary (the smaller of the block's dictionary size and its plain size, at most
// kMaxDictionary), the probability table and a kStoredChunk input buffer while a block is decoded.
// A block whose stream does not decode is read on to its end so that its CRC tells a damaged
// package (kDamaged) from an unsound one (kUnsound).
class DecodingBlockSource : public BlockSource {
public:
    // Pieces hold at most this many bytes.
    static constexpr uint32_t kPieceSize = 512u << 10;
    static constexpr uint32_t kStoredChunk = 256u << 10;

    // blocks (count of them, in decoding order) must outlive the source; file reads of their
    // bytes must be safe from any one thread at a time, beside reads of other threads.
    DecodingBlockSource(PackageFile& file, const BlockLocation* blocks, uint32_t count);
    DecodingBlockSource(const DecodingBlockSource&) = delete;
    DecodingBlockSource& operator=(const DecodingBlockSource&) = delete;
    ~DecodingBlockSource() override;

    void Restart(uint32_t first) override;
    BlockPiece Next() override;

private:
    enum class State : uint8_t { kBetween, kDecoding, kStopped };
    BlockPiece Stop(BlockPiece::Kind kind);
    BlockPiece StartBlock();
    BlockPiece EndBlock();
    bool Refill();
    // Reads the rest of the block for its CRC: kDamaged when it fails, else kUnsound.
    BlockPiece Unsound();

    PackageFile& file;
    const BlockLocation* blocks;
    uint32_t count;
    State state = State::kBetween;
    BlockPiece::Kind stopKind = BlockPiece::kNoMoreBlocks;  // what Next repeats once stopped
    uint32_t block = 0;
    uint64_t storedAt = 0;    // next stored byte to read, absolute
    uint32_t storedLeft = 0;  // stored bytes of the block not yet read
    uint32_t plainLeft = 0;   // plain bytes of the block not yet decoded
    uint32_t crc = 0;         // of the block's stored bytes read so far
    uint32_t inputBegin = 0;  // what the decoder's input buffer holds, not yet decoded
    uint32_t inputEnd = 0;
    // While a block is decoded: the SDK's state, its input buffer and its dictionary.
    struct Decoder;
    struct FreeDecoderState {
        void operator()(Decoder* p) const;
    };
    std::unique_ptr<Decoder, FreeDecoderState> decoder;  // while a block is decoded
};

// A DecodingBlockSource, for the hosts that decode on the reader's thread.
inline std::unique_ptr<BlockSource> DecodeInPlace(PackageFile& file, const BlockLocation* blocks, uint32_t count) {
    return std::make_unique<DecodingBlockSource>(file, blocks, count);
}
