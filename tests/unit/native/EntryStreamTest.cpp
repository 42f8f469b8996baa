#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "package/InflatingSink.h"
#include "package/LittleEndian.h"
#include "package/PackageReader.h"
#include "package/StdioPackageFile.h"
#include "testkit/ByteStrings.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"

using testkit::Bytes;
using testkit::PackageFixture;
using testkit::RandomBytes;
namespace fs = std::filesystem;

namespace {

// A real file, written as the installer writes its targets, with a record of the calls made.
class FileSink : public EntrySink {
public:
    explicit FileSink(fs::path path) : path(std::move(path)) {}
    ~FileSink() override {
        if (stream != nullptr) std::fclose(stream);
    }

    bool Begin(uint32_t size) override {
        calls += "begin ";
        begunSize = size;
        if (failBegin) return false;
        stream = std::fopen(path.string().c_str(), "wb");
        return stream != nullptr;
    }
    bool Write(const void* bytes, uint32_t length) override {
        largestPiece = length > largestPiece ? length : largestPiece;
        written += length;
        if (failAfter >= 0 && written > static_cast<uint64_t>(failAfter)) return false;
        return std::fwrite(bytes, 1, length, stream) == length;
    }
    bool Commit() override {
        calls += "commit ";
        const bool closed = std::fclose(stream) == 0;
        stream = nullptr;
        return closed && !failCommit;
    }
    void Discard() override {
        calls += "discard ";
        if (stream != nullptr) std::fclose(stream);
        stream = nullptr;
        fs::remove(path);
    }

    fs::path path;
    std::FILE* stream = nullptr;
    std::string calls;
    uint32_t begunSize = 0xFFFFFFFFu;
    uint32_t largestPiece = 0;
    uint64_t written = 0;
    bool failBegin = false;
    bool failCommit = false;
    int64_t failAfter = -1;
};

// Reads stop short at cut, as on a package cut off or a failing disk after the table was read.
class CutFile : public PackageFile {
public:
    CutFile(const Bytes& image, uint64_t cut) : inner(image.data(), image.size()), cut(cut) {}
    uint64_t Length() override { return inner.Length(); }
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override {
        if (offset >= cut) {
            got = 0;
            return false;
        }
        if (offset + length > cut) length = static_cast<uint32_t>(cut - offset);
        return inner.ReadUpTo(offset, buffer, length, got);
    }

private:
    MemoryPackageFile inner;
    uint64_t cut;
};

class CutHost : public testkit::MemoryPackageHost {
public:
    CutHost(Bytes image, uint64_t cut) : MemoryPackageHost(std::move(image)), cut(cut) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override { return std::make_unique<CutFile>(image, cut); }
    uint64_t cut;
};

// Counts the reads that reach the file.
class CountingFile : public MemoryPackageFile {
public:
    CountingFile(const Bytes& image, int& reads) : MemoryPackageFile(image.data(), image.size()), reads(reads) {}
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override {
        ++reads;
        return MemoryPackageFile::ReadUpTo(offset, buffer, length, got);
    }

private:
    int& reads;
};

class CountingHost : public testkit::MemoryPackageHost {
public:
    using MemoryPackageHost::MemoryPackageHost;
    std::unique_ptr<PackageFile> OpenOwnFile() override { return std::make_unique<CountingFile>(image, reads); }
    int reads = 0;
};

class EntryStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("orvan-stream-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static Bytes FileBytes(const fs::path& path) {
        Bytes out;
        testkit::ReadFileBytes(path.string(), out);
        return out;
    }

    fs::path folder;
};

// Larger than two pieces and not a multiple of one.
const uint32_t kBigSize = 2 * PackageReader::kStreamChunk + 12345;

}  // namespace

TEST_F(EntryStreamTest, StreamsByteExactInBoundedPiecesWithTheReadersLookup) {
    const Bytes big = RandomBytes(kBigSize, 1);
    const Bytes small = RandomBytes(777, 2);
    testkit::MemoryPackageHost host(PackageFixture()
                                        .Raw("Big.bin", big)
                                        .Raw("Small.bin", Bytes(5, 1), "FILEINFO")
                                        .Raw("Small.bin", small)
                                        .Raw("Empty.bin", {})
                                        .Image(Bytes(300, 0x90)));
    PackageReader reader(host);

    FileSink bigSink(folder / "big");
    ASSERT_EQ(reader.StreamEntry("big.bin", nullptr, bigSink), StreamResult::kWritten);
    EXPECT_EQ(bigSink.calls, "begin commit ");
    EXPECT_EQ(bigSink.begunSize, kBigSize);
    EXPECT_LE(bigSink.largestPiece, PackageReader::kStreamChunk);
    EXPECT_EQ(FileBytes(bigSink.path), big);

    FileSink smallSink(folder / "small");
    ASSERT_EQ(reader.StreamEntry("SMALL.BIN", "appdata", smallSink), StreamResult::kWritten)
        << "the APPDATA entry, not the FILEINFO one before it";
    EXPECT_EQ(FileBytes(smallSink.path), small);

    FileSink emptySink(folder / "empty");
    ASSERT_EQ(reader.StreamEntry("Empty.bin", nullptr, emptySink), StreamResult::kWritten);
    EXPECT_EQ(emptySink.calls, "begin commit ");
    EXPECT_TRUE(fs::exists(emptySink.path));
    EXPECT_EQ(fs::file_size(emptySink.path), 0u);

    FileSink missingSink(folder / "missing");
    EXPECT_EQ(reader.StreamEntry("Missing.bin", nullptr, missingSink), StreamResult::kMissing);
    EXPECT_EQ(reader.StreamEntry("Small.bin", "CHANNELINFO", missingSink), StreamResult::kMissing);
    EXPECT_EQ(missingSink.calls, "") << "nothing is created for a missing entry";
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(reader.Data(), nullptr) << "streaming leaves the loaded entry alone";
}

TEST_F(EntryStreamTest, AFailedEntryLeavesNoFile) {
    const Bytes big = RandomBytes(kBigSize, 3);
    const Bytes image = PackageFixture().Raw("Big.bin", big).Raw("After.bin", Bytes(10, 7)).Image(Bytes(300, 0x90));
    const testkit::PackageLayout layout = testkit::LayoutOf(image);
    const uint32_t bigStart = layout.tableEnd;

    struct Case {
        const char* what;
        int64_t flipAt;  // offset into the entry's data, -1: none
        uint64_t cutAt;  // reads stop at this offset into the entry's data, 0: none
        bool failBegin, failCommit;
        int64_t failWriteAfter;
        StreamResult result;
        const char* calls;
        bool corruptBox;
        bool fileLeft;
    } cases[] = {
        {"CRC mismatch in the last piece", kBigSize - 1, 0, false, false, -1, StreamResult::kFailed,
         "begin discard ", true, false},
        {"CRC mismatch in the first byte", 0, 0, false, false, -1, StreamResult::kFailed, "begin discard ", true,
         false},
        {"read cut short in the second piece", -1, PackageReader::kStreamChunk + 100, false, false, -1,
         StreamResult::kFailed, "begin discard ", true, false},
        {"write fails in the second piece", -1, 0, false, false, PackageReader::kStreamChunk + 1,
         StreamResult::kFailed, "begin discard ", false, false},
        {"target not created", -1, 0, true, false, -1, StreamResult::kFailed, "begin ", false, false},
        {"target not completed", -1, 0, false, true, -1, StreamResult::kFailed, "begin commit discard ", false,
         false},
        {"sound entry", -1, 0, false, false, -1, StreamResult::kWritten, "begin commit ", false, true},
    };
    for (const Case& c : cases) {
        Bytes damaged = image;
        if (c.flipAt >= 0) damaged[bigStart + c.flipAt] ^= 0x40;
        const uint64_t cut = c.cutAt != 0 ? bigStart + c.cutAt : damaged.size();
        CutHost host(damaged, cut);
        PackageReader reader(host);
        FileSink sink(folder / "target");
        sink.failBegin = c.failBegin;
        sink.failCommit = c.failCommit;
        sink.failAfter = c.failWriteAfter;

        EXPECT_EQ(reader.StreamEntry("Big.bin", nullptr, sink), c.result) << c.what;
        EXPECT_EQ(sink.calls, c.calls) << c.what;
        EXPECT_EQ(fs::exists(sink.path), c.fileLeft) << c.what;
        EXPECT_EQ(host.messages, c.corruptBox ? std::vector<std::string>{"Crc error corrupt file / BIG.BIN"}
                                              : std::vector<std::string>{})
            << c.what;
        if (c.fileLeft) {
            EXPECT_EQ(FileBytes(sink.path), big) << c.what;
        }
        fs::remove(sink.path);

        // The reader stays usable after a failure.
        if (c.cutAt == 0) {
            FileSink after(folder / "after");
            EXPECT_EQ(reader.StreamEntry("After.bin", nullptr, after), StreamResult::kWritten) << c.what;
            EXPECT_EQ(FileBytes(after.path), Bytes(10, 7)) << c.what;
        }
    }
}

namespace {

// A compressed item's stored form: a zlib stream of plain, then trailer as 4 bytes LE.
Bytes Compressed(const Bytes& plain, uint32_t trailer) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), static_cast<uLong>(plain.size()), 9), Z_OK);
    out.resize(size);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(trailer >> (8 * i)));
    return out;
}

// Compressible: text-like lines with a counter, so no two output pieces are alike.
Bytes TextLike(size_t size) {
    Bytes out;
    for (size_t i = 0; out.size() < size; ++i) {
        const std::string line = "line " + std::to_string(i) + " of the scene description\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

}  // namespace

TEST_F(EntryStreamTest, CompressedItemsDecodeWhileStreamingAndCommitOnlyWhenSound) {
    const Bytes plain = TextLike(3 * InflatingSink::kOutputChunk + 999);
    const uint32_t size = static_cast<uint32_t>(plain.size());
    const Bytes sound = Compressed(plain, size);
    Bytes cut(sound.begin(), sound.end() - 40);
    cut.insert(cut.end(), sound.end() - 4, sound.end());
    Bytes junk(sound.begin(), sound.end() - 4);
    junk.push_back(0);
    junk.insert(junk.end(), sound.end() - 4, sound.end());
    // 64 MiB of zeros in a few KB, claiming 4 GB: only the disk (here the target) stops it.
    const Bytes bomb = Compressed(Bytes(64u << 20, 0), 0xFFFFFFFFu);

    struct Case {
        const char* what;
        Bytes stored;
        int64_t flipAt;          // offset into the stored bytes, -1: none
        int64_t failWriteAfter;  // the target's disk is full after this many bytes, -1: never
        StreamResult result;
        bool decodeFailed;
        bool corruptBox;
        const char* calls;
    } cases[] = {
        {"sound", sound, -1, -1, StreamResult::kWritten, false, false, "begin commit "},
        {"trailer larger than the stream gives", Compressed(plain, size + 1), -1, -1, StreamResult::kFailed, true,
         false, "begin discard "},
        {"stream gives more than the trailer", Compressed(plain, size - 1), -1, -1, StreamResult::kFailed, true,
         false, "begin discard "},
        {"stream cut short", cut, -1, -1, StreamResult::kFailed, true, false, "begin discard "},
        {"bytes between stream and trailer", junk, -1, -1, StreamResult::kFailed, true, false, "begin discard "},
        {"too short for a trailer", Bytes{0x78, 0xDA}, -1, -1, StreamResult::kFailed, true, false, ""},
        {"damaged stored byte", sound, static_cast<int64_t>(sound.size() / 2), -1, StreamResult::kFailed, false,
         true, "begin discard "},
        {"damaged trailer", sound, static_cast<int64_t>(sound.size() - 1), -1, StreamResult::kFailed, false, true,
         "begin discard "},
        {"disk full", sound, -1, static_cast<int64_t>(InflatingSink::kOutputChunk) + 5, StreamResult::kFailed, false,
         false, "begin discard "},
        {"bomb", bomb, -1, 8 << 20, StreamResult::kFailed, false, false, "begin discard "},
    };
    for (const Case& c : cases) {
        Bytes image = PackageFixture()
                          .Raw("\\scene\\a.dat", c.stored)
                          .Flag("\\scene\\a.dat", true, "FILEZLIB")
                          .Image(Bytes(300, 0x90));
        if (c.flipAt >= 0) image[testkit::LayoutOf(image).tableEnd + c.flipAt] ^= 0x01;
        testkit::MemoryPackageHost host(image);
        PackageReader reader(host);
        FileSink sink(folder / "target");
        sink.failAfter = c.failWriteAfter;
        bool decodeFailed = false;
        EXPECT_EQ(reader.StreamItem("\\SCENE\\A.DAT", sink, decodeFailed), c.result) << c.what;
        EXPECT_EQ(decodeFailed, c.decodeFailed) << c.what;
        EXPECT_EQ(sink.calls, c.calls) << c.what;
        EXPECT_EQ(host.messages, c.corruptBox ? std::vector<std::string>{"Crc error corrupt file / \\SCENE\\A.DAT"}
                                              : std::vector<std::string>{})
            << c.what;
        EXPECT_LE(sink.largestPiece, InflatingSink::kOutputChunk) << c.what << ": memory bounded by the sink";
        if (c.failWriteAfter >= 0) {
            EXPECT_LE(sink.written, static_cast<uint64_t>(c.failWriteAfter) + InflatingSink::kOutputChunk) << c.what;
        }
        if (c.result == StreamResult::kWritten) {
            EXPECT_EQ(sink.begunSize, size) << c.what;
            EXPECT_EQ(FileBytes(sink.path), plain) << c.what;
        } else {
            EXPECT_FALSE(fs::exists(sink.path)) << c.what << ": nothing left on disk";
        }
        if (c.decodeFailed && c.stored.size() >= 4) {
            EXPECT_LE(sink.written, static_cast<uint64_t>(LoadU32(&c.stored[c.stored.size() - 4])))
                << c.what << ": never more than the trailer allows";
        }
        fs::remove(sink.path);
    }
}

TEST(PackageReaderIndex, EveryOneOfManyEntriesIsFoundWithItsOwnData) {
    // Names alike but for their case or a digit, sizes all different: a wrong offset or a
    // lookup that stops at a name of equal hash reads some other entry's bytes.
    PackageFixture fixture;
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        fixture.Raw("\\media\\clip" + std::to_string(i) + ".bin", Bytes(i % 97 + 1, static_cast<unsigned char>(i)),
                    i % 3 == 0 ? "FILEINFO" : "APPDATA");
    }
    testkit::MemoryPackageHost host(fixture.Image(Bytes(64, 0)));
    PackageReader reader(host);
    ASSERT_EQ(reader.EntryCount(), kCount);
    for (int i = kCount - 1; i >= 0; --i) {
        const std::string key = "\\MEDIA\\Clip" + std::to_string(i) + ".BIN";
        const char* section = i % 3 == 0 ? "fileinfo" : nullptr;
        ASSERT_TRUE(reader.ReadEntry(key.c_str(), nullptr, 0, section)) << key;
        ASSERT_EQ(Bytes(reader.Data(), reader.Data() + reader.Size()), Bytes(i % 97 + 1, static_cast<unsigned char>(i)))
            << key;
        EXPECT_FALSE(reader.ReadEntry(key.c_str(), nullptr, 0, i % 3 == 0 ? nullptr : "FILEINFO")) << key;
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(PackageReaderIndex, SmallReadsShareOneWindowOfTheFileAndStillCheckTheirCrc) {
    constexpr int kCount = 2000;
    PackageFixture fixture;
    fixture.Number("FileCount", kCount, "FILEINFO");
    for (int i = 0; i < kCount; ++i) {
        fixture.Text("ItemNameID" + std::to_string(i), "\\data\\file" + std::to_string(i) + ".bin", "FILEINFO");
    }
    fixture.Raw("Between", RandomBytes(100000, 9)).Text("Last", "at the end");
    CountingHost host(fixture.Image(Bytes(64, 0)));
    const testkit::PackageLayout layout = testkit::LayoutOf(host.image);
    // The last text's final letter damaged: only the CRC check can tell.
    host.image[layout.dataEnd - 2] ^= 0x20;
    PackageReader reader(host);
    host.reads = 0;
    for (int i = 0; i < kCount; ++i) {
        char item[400] = {};
        ASSERT_TRUE(reader.ReadEntry(("ItemNameID" + std::to_string(i)).c_str(), item, 399, "FILEINFO")) << i;
        ASSERT_EQ(std::string(item), "\\data\\file" + std::to_string(i) + ".bin");
    }
    EXPECT_LT(host.reads, 20) << "item names come from a few reads of the file, not one each";

    // A value at the very end: the read runs into the trailer and stops at the file's end.
    char last[400] = {};
    EXPECT_FALSE(reader.ReadEntry("Last", last, 399, nullptr));
    EXPECT_EQ(std::string(last, 10), "at the enD");
    EXPECT_EQ(host.messages, std::vector<std::string>{"Crc error corrupt file / LAST"});
}
