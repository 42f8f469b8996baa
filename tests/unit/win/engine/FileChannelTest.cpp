#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "testkit/ByteStrings.h"
#include "testkit/UiDriver.h"
#include "tests/unit/win/engine/EngineTestHost.h"

using enginetest::BinFolder;
using enginetest::EngineHost;
using Bytes = std::vector<unsigned char>;
using testkit::Join;

namespace {

class FileChannels : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testkit::MakeScratchFolder("engine-files");
        ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
        saver = host.Create<FileSaverChannel>(kFileSaverChannelId);
        loader = host.Create<FileLoaderChannel>(kFileLoaderChannelId);
        ASSERT_NE(saver, nullptr);
        ASSERT_NE(loader, nullptr);
    }
    void TearDown() override {
        saver.reset();
        loader.reset();
        host.Release();
        testkit::RemoveTree(folder);
    }

    std::string ReadBack(const std::string& path, std::vector<chunk::Chunk>& chunks) {
        std::string bytes;
        EXPECT_TRUE(enginetest::ReadWholeFile(path, bytes)) << path;
        EXPECT_TRUE(chunk::ReadChunks(bytes.data(), bytes.size(), chunks)) << path;
        return bytes;
    }

    // What the program writes for an engine file: GetData/GetSize after the loader's steps.
    Bytes Extract(const Bytes& stored) {
        loader->LoadFromMemory(stored.data(), static_cast<uint32_t>(stored.size()), kLoadBorrowed);
        if (loader->FindChunk("VBRF", 0)) ChannelFactory::fileDecoder.DecodeFile(loader.get());
        return Content();
    }
    Bytes Content() {
        const unsigned char* data = loader->GetData();
        return data != nullptr ? Bytes(data, data + loader->GetSize()) : Bytes(loader->GetSize(), 0);
    }

    std::string folder;
    EngineHost host;
    EngineObject<FileSaverChannel> saver;
    EngineObject<FileLoaderChannel> loader;
};

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes Sample(size_t size) {
    Bytes out(size);
    uint32_t state = 12345;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        out[i] = (i / 8192) % 3 == 0 ? static_cast<unsigned char>(state >> 16) : static_cast<unsigned char>(i % 251);
    }
    return out;
}

Bytes Stored(const Bytes& plain) {
    Bytes file;
    EXPECT_TRUE(chunk::EncodeVbrf(plain.data(), plain.size(), file));
    return file;
}

Bytes Chunk(const char* tag, const std::string& data) {
    Bytes out;
    chunk::AppendChunk(out, tag, data.data(), static_cast<uint32_t>(data.size()));
    return out;
}

}  // namespace

TEST_F(FileChannels, SaverWritesChunksInCallOrder) {
    const std::string path = folder + "\\uninstall.nfo";
    char field[259] = "C:\\Demo\\OrvanViewer.exe";
    ASSERT_TRUE(saver->Open(path.c_str(), kSaveCreate));
    saver->BeginChunk("UNFC");
    saver->WriteChunkSize(4);
    saver->Write("\x01\x00\x00\x00", 4);
    saver->BeginChunk("UNFN");
    saver->WriteChunkSize(sizeof(field));
    saver->Write(field, sizeof(field));
    saver->BeginChunk("PART");
    saver->Write("ab", 2);
    saver->Write("cd", 2);
    saver->BeginChunk("LESS");
    saver->WriteChunkSize(100);
    saver->Write("xyz", 3);
    saver->BeginChunk("UNSK");
    EXPECT_TRUE(saver->Close());

    std::vector<chunk::Chunk> chunks;
    ReadBack(path, chunks);
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[0].tag, "UNFC");
    EXPECT_EQ(chunks[0].data, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(chunks[1].tag, "UNFN");
    EXPECT_EQ(chunks[1].data, Bytes(field, field + sizeof(field)));
    EXPECT_EQ(Text(chunks[2].data), "abcd") << "writes to one chunk add up";
    EXPECT_EQ(Text(chunks[3].data), "xyz") << "the stored size is what was written";
    EXPECT_EQ(chunks[4].tag, "UNSK");
    EXPECT_TRUE(chunks[4].data.empty()) << "a chunk only begun is tag-only";
}

TEST_F(FileChannels, SaverReopensForASecondFile) {
    const std::string first = folder + "\\screensaver.cfg";
    const std::string second = folder + "\\uninstall.nfo";
    ASSERT_TRUE(saver->Open(first.c_str(), kSaveCreate));
    saver->BeginChunk("SCFP");
    saver->WriteChunkSize(3);
    saver->Write("one", 3);
    EXPECT_TRUE(saver->Close());
    ASSERT_TRUE(saver->Open(second.c_str(), kSaveCreate));
    saver->BeginChunk("UNPN");
    saver->WriteChunkSize(3);
    saver->Write("two", 3);
    saver->BeginChunk("UNSK");
    EXPECT_TRUE(saver->Close());

    std::vector<chunk::Chunk> chunks;
    ReadBack(first, chunks);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].tag + Text(chunks[0].data), "SCFPone");
    ReadBack(second, chunks);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].tag + Text(chunks[0].data), "UNPNtwo");
    EXPECT_EQ(chunks[1].tag, "UNSK");
}

TEST_F(FileChannels, SaverReplacesAnExistingFile) {
    const std::string path = folder + "\\uninstall.nfo";
    ASSERT_TRUE(enginetest::WriteWholeFile(path, "old content that is longer", 26));
    ASSERT_TRUE(saver->Open(path.c_str(), kSaveCreate));
    saver->BeginChunk("UNSK");
    saver->Close();
    std::vector<chunk::Chunk> chunks;
    EXPECT_EQ(ReadBack(path, chunks).size(), chunk::kHeaderSize);
}

TEST_F(FileChannels, SaverRefusesWhatItCannotWrite) {
    const std::string missingFolder = folder + "\\no such folder\\uninstall.nfo";
    EXPECT_FALSE(saver->Open(missingFolder.c_str(), kSaveCreate));
    EXPECT_FALSE(saver->BeginChunk("UNFC"));
    EXPECT_FALSE(saver->Write("x", 1));
    EXPECT_FALSE(saver->Close()) << "Close after a failed Open is harmless";
    EXPECT_FALSE(saver->Open(nullptr, kSaveCreate));

    const std::string path = folder + "\\short.nfo";
    ASSERT_TRUE(saver->Open(path.c_str(), kSaveCreate));
    EXPECT_FALSE(saver->Write("x", 1)) << "no chunk begun";
    EXPECT_FALSE(saver->BeginChunk("UNF"));
    EXPECT_FALSE(saver->BeginChunk(nullptr));
    EXPECT_TRUE(saver->BeginChunk("UNFCX"));
    EXPECT_TRUE(saver->Close());
    std::vector<chunk::Chunk> chunks;
    ReadBack(path, chunks);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].tag, "UNFC");
}

TEST_F(FileChannels, DestroyingAnOpenSaverKeepsWhatWasWritten) {
    const std::string path = folder + "\\left-open.nfo";
    ASSERT_TRUE(saver->Open(path.c_str(), kSaveCreate));
    saver->BeginChunk("UNFC");
    saver->Write("\x00\x00\x00\x00", 4);
    saver.reset();
    std::vector<chunk::Chunk> chunks;
    ReadBack(path, chunks);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data.size(), 4u);
}

TEST_F(FileChannels, StoredFilesDecodeByteExact) {
    for (size_t size : {size_t{1}, size_t{1000}, size_t{65536 + 17}, size_t{20} << 20}) {
        const Bytes plain = Sample(size);
        const Bytes stored = Stored(plain);
        ASSERT_TRUE(loader->LoadFromMemory(stored.data(), static_cast<uint32_t>(stored.size()), kLoadBorrowed));
        ASSERT_TRUE(loader->FindChunk("VBRF", 0)) << size;
        ASSERT_TRUE(ChannelFactory::fileDecoder.DecodeFile(loader.get())) << size;
        ASSERT_EQ(loader->GetSize(), size);
        EXPECT_EQ(std::memcmp(loader->GetData(), plain.data(), size), 0) << size;
        EXPECT_FALSE(ChannelFactory::fileDecoder.DecodeFile(loader.get())) << "decoded once only";
        EXPECT_EQ(loader->GetSize(), size);
    }
}

TEST_F(FileChannels, StoredEmptyFileDecodesToNothing) {
    EXPECT_TRUE(Extract(Stored(Bytes{})).empty());
    EXPECT_FALSE(ChannelFactory::fileDecoder.DecodeFile(nullptr));
}

TEST_F(FileChannels, FilesNotInStoredFormComeBackWhole) {
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"program image", Bytes{'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0, 0}},
        {"chunk file without a VBRF chunk", Join({Chunk("SCFP", "abc"), Chunk("UNSK", "")})},
        {"text that starts with the tag", Bytes{'V', 'B', 'R', 'F', ' ', 't', 'e', 'x', 't'}},
        {"stored file with bytes appended", Join({Stored(Sample(100)), Bytes{1, 2}})},
    };
    for (const Case& c : cases) {
        loader->LoadFromMemory(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), kLoadBorrowed);
        EXPECT_FALSE(loader->FindChunk("VBRF", 0)) << c.what;
        EXPECT_FALSE(ChannelFactory::fileDecoder.DecodeFile(loader.get())) << c.what;
        EXPECT_EQ(loader->GetData(), c.bytes.data()) << c.what << ": nothing is copied";
        EXPECT_EQ(loader->GetSize(), c.bytes.size()) << c.what;
    }
}

TEST_F(FileChannels, FindChunkMovesOnlyOnSuccess) {
    const Bytes file = Join({Chunk("SCFP", "first"), Chunk("UNSK", ""), Chunk("SCFP", "second")});
    loader->LoadFromMemory(file.data(), static_cast<uint32_t>(file.size()), kLoadBorrowed);
    ASSERT_TRUE(loader->FindChunk("SCFP", 1));
    EXPECT_EQ(Text(Content()), "second");
    EXPECT_FALSE(loader->FindChunk("SCFP", 2));
    EXPECT_EQ(Text(Content()), "second") << "a miss keeps the last chunk";
    ASSERT_TRUE(loader->FindChunk("UNSK", 0));
    EXPECT_EQ(loader->GetSize(), 0u);
    ASSERT_TRUE(loader->FindChunk("SCFP", 0));
    EXPECT_EQ(Text(Content()), "first");
    EXPECT_FALSE(ChannelFactory::fileDecoder.DecodeFile(loader.get())) << "only VBRF chunks decode";
    EXPECT_EQ(Text(Content()), "first");
}

TEST_F(FileChannels, DamagedInputFailsWithoutCrashing) {
    const Bytes plain = Sample(5000);
    const Bytes good = Stored(plain);
    auto withData = [](Bytes data) { return Chunk("VBRF", std::string(data.begin(), data.end())); };
    auto sizeField = [](uint32_t size) {
        return Bytes{static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                     static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
    };
    const Bytes stream(good.begin() + chunk::kHeaderSize + 4, good.end());
    Bytes flipped = stream;
    flipped[stream.size() / 3] ^= 0xFF;
    Bytes truncatedChunk = good;
    truncatedChunk.resize(good.size() - 1);
    Bytes sizeBeyond = good;
    sizeBeyond[chunk::kTagSize] += 1;
    // Enough data that a 4 GB file is a believable expansion of it, which no 32-bit process
    // can hold: the decoding fails like a damaged stream, the process goes on.
    const Bytes beyondMemory = withData(Join({sizeField(0xFFFFFFFFu), Bytes(4u << 20, 0)}));

    struct Case {
        const char* what;
        Bytes bytes;
        bool found;  // FindChunk("VBRF", 0); decoding then always fails
    } cases[] = {
        {"empty buffer", {}, false},
        {"header cut short", Bytes{'V', 'B', 'R', 'F', 0x10}, false},
        {"truncated chunk", truncatedChunk, false},
        {"size beyond the data", sizeBeyond, false},
        {"size field missing", withData({1, 0}), true},
        {"bad zlib stream", withData(Join({sizeField(5000), flipped})), true},
        {"not zlib at all", withData(Join({sizeField(5000), Bytes(100, 0x5A)})), true},
        {"size larger than the file", withData(Join({sizeField(5001), stream})), true},
        {"size smaller than the file", withData(Join({sizeField(4999), stream})), true},
        {"size near 4 GB", withData(Join({sizeField(0xFFFFFFF0u), stream})), true},
        {"size memory cannot hold", beyondMemory, true},
    };
    for (const Case& c : cases) {
        loader->LoadFromMemory(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), kLoadBorrowed);
        const Bytes before = Content();
        EXPECT_EQ(loader->FindChunk("VBRF", 0), c.found) << c.what;
        const Bytes held = Content();
        EXPECT_FALSE(ChannelFactory::fileDecoder.DecodeFile(loader.get())) << c.what;
        EXPECT_EQ(Content(), held) << c.what << ": hands back what it holds";
        if (!c.found) {
            EXPECT_EQ(held, before) << c.what;
        }
    }
    EXPECT_FALSE(loader->LoadFromMemory(nullptr, 10, kLoadBorrowed));
    EXPECT_EQ(loader->GetSize(), 0u);
    EXPECT_FALSE(loader->FindChunk("VBRF", 0));
    EXPECT_FALSE(loader->LoadFromMemory(good.data(), 0, kLoadBorrowed)) << "empty buffer";
    EXPECT_FALSE(loader->LoadFromMemory(good.data(), static_cast<uint32_t>(good.size()), 0)) << "unknown mode";
}

TEST_F(FileChannels, LoaderDecodesWhatTheSaverWrote) {
    const Bytes plain = Sample(300000);
    const Bytes stored = Stored(plain);
    const std::string path = folder + "\\ChunkLoader.dll.stored";
    // The VBRF chunk's own data, written through the saver like any other chunk.
    std::vector<chunk::Chunk> chunks;
    ASSERT_TRUE(chunk::ReadChunks(stored, chunks));
    ASSERT_TRUE(saver->Open(path.c_str(), kSaveCreate));
    saver->BeginChunk("VBRF");
    saver->WriteChunkSize(static_cast<uint32_t>(chunks[0].data.size()));
    saver->Write(chunks[0].data.data(), static_cast<uint32_t>(chunks[0].data.size()));
    ASSERT_TRUE(saver->Close());
    std::string written;
    ASSERT_TRUE(enginetest::ReadWholeFile(path, written));
    const Bytes bytes(written.begin(), written.end());
    EXPECT_EQ(bytes, stored);
    EXPECT_EQ(Extract(bytes), plain);
}
