// The packer's LZMA blocks: the same bytes whatever the workers, files laid out in order across
// blocks as the reader expects them, incompressible files kept out, and the encoders' memory
// bounded by the budget however many cores the machine reports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "package/BlockSource.h"
#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/StdioPackageFile.h"
#include "testkit/ByteStrings.h"
#include "testkit/PackageFixture.h"
#include "tools/orvanpack/BlockCompression.h"

namespace fs = std::filesystem;
using testkit::Bytes;

namespace {

Bytes Text(size_t size, unsigned seed) {
    Bytes out;
    for (unsigned i = 0; out.size() < size; ++i) {
        const std::string line = "face " + std::to_string(seed) + " " + std::to_string(i % 613) + " uv 0.25\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

// Random bytes in which every period-th run of 100 bytes repeats the first: about 1.8% smaller
// at the trial's setting for a period of 30, as a JPEG file is; larger for 200.
Bytes NearlyRandom(size_t size, size_t period, unsigned seed) {
    Bytes out = testkit::RandomBytes(size, seed);
    for (size_t at = period * 100; at + 100 <= size; at += period * 100)
        std::copy_n(out.begin(), 100, out.begin() + at);
    return out;
}

class BlockCompressionTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("orvan-blocks-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        const std::vector<std::pair<std::string, Bytes>> contents = {
            {"a.sol", Text(300000, 1)},
            {"b.sol", Text(700000, 2)},
            {"noise.ogg", testkit::RandomBytes(200000, 3)},
            {"tiny.png", testkit::RandomBytes(900, 4)},
            {"empty.txt", {}},
            {"c.txt", Text(50000, 5)},
            {"photo.jpg", NearlyRandom(300000, 30, 6)},
            {"photo.png", NearlyRandom(300000, 200, 7)},
        };
        for (const auto& [name, bytes] : contents) {
            ManifestEntry entry;
            entry.name = "\\" + name;
            entry.filePath = (folder / name).string();
            ASSERT_TRUE(testkit::WriteFileBytes(entry.filePath, bytes));
            entries.push_back(entry);
            plain.push_back(bytes);
        }
        for (const ManifestEntry& entry : entries) pointers.push_back(&entry);
    }
    void TearDown() override { fs::remove_all(folder); }

    struct Packed {
        std::vector<BlockedFile> files;
        std::vector<CompressedBlock> blocks;
        std::vector<Bytes> stored;
        size_t workers = 0;
        uint64_t peak = 0;
    };
    Packed Pack(const CompressionLimits& limits) {
        BlockCompressor compressor(limits, kBlockBytes);
        Packed out;
        std::string error;
        EXPECT_TRUE(compressor.Compress(pointers, folder.string(), out.files, out.blocks, error)) << error;
        for (const CompressedBlock& block : out.blocks) {
            Bytes bytes;
            EXPECT_TRUE(compressor.ReadBack(block, [&](const void* data, size_t size) {
                AppendBytes(bytes, data, size);
                return true;
            }, error));
            EXPECT_EQ(bytes.size(), block.storedSize);
            EXPECT_EQ(Crc32::Update(0, bytes.data(), static_cast<uint32_t>(bytes.size())), block.crc);
            out.stored.push_back(bytes);
        }
        out.workers = compressor.Workers();
        out.peak = compressor.PeakMemory();
        return out;
    }

    static constexpr uint32_t kBlockBytes = 256u << 10;
    fs::path folder;
    std::vector<ManifestEntry> entries;
    std::vector<const ManifestEntry*> pointers;
    std::vector<Bytes> plain;
};

}  // namespace

TEST_F(BlockCompressionTest, TheSameBytesWhateverTheWorkersInTheOrderTheReaderTakesThem) {
    const Packed one = Pack({1, 4ull << 30});
    const Packed four = Pack({4, 4ull << 30});
    EXPECT_EQ(one.workers, 1u);
    EXPECT_EQ(four.workers, 4u);
    ASSERT_EQ(one.stored, four.stored) << "blocks do not depend on the workers";

    // Into the blocks: the compressible files and the tiny one; not the noise, not the empty one,
    // not the one that saves 1.8% (as a JPEG file does), not the one that grows.
    const bool inBlock[] = {true, true, false, true, false, true, false, false};
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(one.files[i].inBlock, inBlock[i]) << entries[i].name;
        EXPECT_EQ(one.files[i].size, plain[i].size()) << entries[i].name;
        EXPECT_EQ(one.files[i].block, four.files[i].block);
        EXPECT_EQ(one.files[i].offset, four.files[i].offset);
    }
    // Decoded, the blocks hold the files one after the other, each at its record's place and CRC.
    Bytes image;
    std::vector<BlockLocation> locations;
    for (const Bytes& block : one.stored) {
        locations.push_back({image.size(), static_cast<uint32_t>(block.size()),
                             Crc32::Update(0, block.data(), static_cast<uint32_t>(block.size()))});
        image.insert(image.end(), block.begin(), block.end());
    }
    MemoryPackageFile file(image.data(), image.size());
    DecodingBlockSource source(file, locations.data(), static_cast<uint32_t>(locations.size()));
    source.Restart(0);
    std::vector<Bytes> decoded(locations.size());
    for (BlockPiece piece = source.Next(); piece.kind != BlockPiece::kNoMoreBlocks; piece = source.Next()) {
        ASSERT_TRUE(piece.kind == BlockPiece::kBytes || piece.kind == BlockPiece::kBlockEnd) << piece.kind;
        if (piece.kind == BlockPiece::kBytes) decoded[piece.block].insert(decoded[piece.block].end(), piece.bytes, piece.bytes + piece.length);
    }
    EXPECT_GT(locations.size(), 4u) << "files run on from block to block";
    Bytes all;
    std::vector<size_t> starts;
    for (const Bytes& block : decoded) {
        EXPECT_LE(block.size(), kBlockBytes);
        starts.push_back(all.size());
        all.insert(all.end(), block.begin(), block.end());
    }
    // As few blocks as the bound allows, of one size but the last, which is as long within a
    // byte per block: none starts its history anew before it must, none is a short tail.
    EXPECT_EQ(decoded.size(), (all.size() + kBlockBytes - 1) / kBlockBytes);
    for (const Bytes& block : decoded)
        EXPECT_EQ(block.size(), &block == &decoded.back() ? block.size() : decoded[0].size());
    EXPECT_GE(decoded.back().size() + decoded.size(), decoded[0].size());
    for (size_t i = 0; i < plain.size(); ++i) {
        if (!one.files[i].inBlock) continue;
        const size_t from = starts[one.files[i].block] + one.files[i].offset;
        ASSERT_LE(from + plain[i].size(), all.size()) << entries[i].name;
        EXPECT_TRUE(Bytes(all.begin() + from, all.begin() + from + plain[i].size()) == plain[i]) << entries[i].name;
        EXPECT_EQ(one.files[i].crc, Crc32::Update(0, plain[i].data(), static_cast<uint32_t>(plain[i].size())));
    }
}

TEST_F(BlockCompressionTest, SixtyFourCoresCompressInTheMemoryTheBudgetHolds) {
    const uint64_t footprint = EncoderFootprint(BlockSettings(), kBlockBytes);
    const CompressionLimits limits{64, footprint * 5 / 2};
    const Packed packed = Pack(limits);
    EXPECT_EQ(packed.workers, 2u) << "two encoders fit the budget, not 64";
    EXPECT_LE(packed.peak, limits.memoryBudget);
    EXPECT_GT(packed.peak, footprint / 2) << "the encoders' memory is counted";
    EXPECT_EQ(CompressionLimits({64, 0}).Workers(10, footprint), 1u) << "one worker at the least";
}
