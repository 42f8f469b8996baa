#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/BlockEncoder.h"
#include "tools/orvanpack/Manifest.h"
#include "tools/orvanpack/ProjectCompression.h"

// How an "lzma" project file went into the package: in the blocks (at block, offset, with the
// CRC-32 of the plain bytes the blocks hold), or stored as it is.
struct BlockedFile {
    bool inBlock = false;
    uint64_t size = 0;
    uint32_t block = 0;
    uint32_t offset = 0;
    uint32_t crc = 0;          // inBlock only: taken from the bytes the block was made of
    std::string error;         // set when the file could not be read or compressed
};

// One compressed block waiting in a spool file.
struct CompressedBlock {
    uint32_t plainSize = 0;
    uint64_t storedSize = 0;
    uint32_t crc = 0;  // of the stored bytes
    size_t spool = 0;
    uint64_t offset = 0;
};

// Puts "lzma" project files into solid LZMA blocks (layout in package/PackageFormat.h):
//  - A file of kAlwaysBlock bytes or less goes into the blocks whatever it holds; a larger
//    one only when a sample of kSampleBytes (all of it, or four slices spread over it) saves
//    kMinSavingPercent at a fast setting, so JPEG, PNG, OGG or ZIP data stays stored and costs
//    no decoding: the reader decodes such data at 12-18 MB/s under Wine (80 MB/s of level data),
//    so a pk3 archive's 2.4% at level 9 would cost seven times NSIS zlib's install.
//  - Files go into the blocks in the order given (the manifest's: by kind, then path), one
//    after the other, in as few blocks of at most blockBytes plain bytes as hold them, all of
//    one size but the last (a file goes on in the next one). A block may be longer than its
//    dictionary: the reader's memory is the dictionary's, while each block's start loses the
//    history behind it (0.7% on 82 MB of game levels cut at 64 MiB).
//  - Blocks are compressed in parallel, each at the settings of BlockSettings with the
//    literal and position bits (lc/lp/pb) that compress a sample of it best; as many workers as cores, but no
//    more than limits.memoryBudget holds at EncoderFootprint each. Same inputs, same bytes,
//    whatever the workers.
// Compressed blocks wait in spool files in spoolFolder, not memory.
class BlockCompressor {
public:
    // A quarter more than the dictionary: up to 80 MiB of a project's files are one stream (a
    // game's 79 MiB of levels), more make two blocks or more, which compress side by side (95
    // MiB of text would take one core 80 s at level 9).
    static constexpr uint32_t kDefaultBlockBytes = 80u << 20;
    static constexpr uint32_t kAlwaysBlock = 4096;
    static constexpr uint32_t kSampleBytes = 1u << 20;
    static constexpr unsigned kMinSavingPercent = 3;

    explicit BlockCompressor(const CompressionLimits& limits, uint32_t blockBytes = kDefaultBlockBytes)
        : limits(limits), blockBytes(blockBytes) {}

    // False, with error, when no spool file can be made or a block cannot be compressed (a
    // file changed while it was read, the disk is full); per-file failures go to files.
    bool Compress(const std::vector<const ManifestEntry*>& entries, const std::string& spoolFolder,
                  std::vector<BlockedFile>& files, std::vector<CompressedBlock>& blocks, std::string& error);
    // Reads a block's stored bytes back from its spool, in pieces, into sink.
    bool ReadBack(const CompressedBlock& block, const std::function<bool(const void*, size_t)>& sink,
                  std::string& error) const {
        return spools.ReadBack(block.spool, block.offset, block.storedSize, sink, error);
    }
    // The most the encoders held at once, and how many ran side by side.
    uint64_t PeakMemory() const { return memory.Peak(); }
    size_t Workers() const { return workers; }

    // A piece of a file in a block: bytes [offset, offset + length) of entries[file].
    struct Segment;

private:
    void Classify(const std::vector<const ManifestEntry*>& entries, std::vector<BlockedFile>& files);
    bool CompressAll(const std::vector<std::vector<Segment>>& segments, std::vector<BlockedFile>& files,
                     std::vector<CompressedBlock>& blocks, const std::string& spoolFolder, std::string& error);
    bool CompressBlock(uint32_t index, const std::vector<Segment>& segments, SpoolFiles::Writer& spool,
                       CompressedBlock& block, std::vector<uint32_t>& segmentCrcs, std::string& error);

    CompressionLimits limits;
    uint32_t blockBytes;
    EncoderMemory memory;
    SpoolFiles spools;
    size_t workers = 0;
};
