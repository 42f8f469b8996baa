// Every allocation of the shipped engine libraries made to fail in turn, as zlib's infcover
// does it: the operation that meets the failure reports it with its failure result (never a
// success with a wrong result), nothing stays allocated, and the process goes on.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"
#include "engine/ChunkSchema.h"
#include "testkit/FailingAllocator.h"
#include "testkit/LibraryAllocations.h"
#include "testkit/UiDriver.h"
#include "tests/unit/win/engine/EngineTestHost.h"

using enginetest::BinFolder;
using enginetest::EngineHost;
using testkit::FailingAllocation;
using Bytes = std::vector<unsigned char>;

namespace {

// One piece of engine work. The test's own allocations count too while a failure is planned,
// so act calls the engine only, on inputs made beforehand; check(ok) then says whether the
// state is the one documented for that result; reset destroys what act made.
struct EngineWork {
    const char* what;
    std::string library;  // below the bin folder: whose allocations fail
    std::function<bool()> act;
    std::function<bool(bool ok)> check;
    std::function<void()> reset;
};

class EngineAllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testkit::MakeScratchFolder("engine-alloc");
        ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
        // One channel of each kind loads every channel library for the whole test.
        for (const GUID* id : {&kFileLoaderChannelId, &kFileSaverChannelId, &kDirectoryChannelId}) {
            ASSERT_TRUE(host.Create<EngineChannel>(*id));
        }
    }
    void TearDown() override {
        host.Release();
        testkit::RemoveTree(folder);
    }

    // Runs work once sound, then once for each allocation it makes, with that one failing.
    void EachAllocationFailing(const EngineWork& work) {
        HMODULE module = ::GetModuleHandleA((BinFolder() + "\\" + work.library).c_str());
        ASSERT_NE(module, nullptr) << work.library;
        testkit::LibraryAllocations redirected(module);
        ASSERT_TRUE(redirected.Redirected()) << work.library;

        int total = 0;
        bool ok = false;
        {
            FailingAllocation counting(0);
            ok = work.act();
            total = counting.Counted();
        }
        EXPECT_TRUE(ok) << work.what << ": the sound run";
        EXPECT_TRUE(work.check(ok)) << work.what << ": the sound run";
        work.reset();
        ASSERT_GT(total, 0) << work.what << ": allocates nothing the test could fail";

        for (int n = 1; n <= total; ++n) {
            const int live = testkit::LiveAllocations();
            bool delivered = false;
            {
                FailingAllocation failing(n);
                ok = work.act();
                delivered = failing.Delivered();
            }
            EXPECT_TRUE(delivered) << work.what << ": allocation " << n;
            EXPECT_TRUE(work.check(ok)) << work.what << ": allocation " << n << " failing, result " << ok;
            work.reset();
            EXPECT_EQ(testkit::LiveAllocations(), live) << work.what << ": allocation " << n << " failing leaked";
        }
    }

    std::string folder;
    EngineHost host;
};

Bytes Sample(size_t size) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>((i * 7) ^ (i >> 9));
    return out;
}

}  // namespace

TEST_F(EngineAllocationFailure, ControlFactoryAndChannelCreation) {
    auto get = reinterpret_cast<GetEngineControlInstanceFunc>(
        reinterpret_cast<void*>(::GetProcAddress(host.engineLibrary.get(), kGetEngineControlInstanceName)));
    ASSERT_NE(get, nullptr);
    const std::string base = BinFolder();
    const std::string pattern = folder + "\\*.*";
    EngineControl* control = nullptr;
    EngineChannel* channel = nullptr;
    EngineWork work{
        "control", "EngineCore.dll",
        [&] {
            control = get();
            if (control == nullptr) return false;
            const bool based = control->SetBaseFolder(base.c_str());
            const bool initialised = control->Initialize(::GetModuleHandleA(nullptr), "Orvan3DExe Window", nullptr);
            channel = control->GetChannelFactory()->CreateChannel(kDirectoryChannelId, 0, 0);
            return based && initialised && channel != nullptr;
        },
        [&](bool ok) {
            // A control that could not hold its base folder loads no channel library.
            if (channel == nullptr) return !ok;
            auto* scan = static_cast<DirectoryChannel*>(channel);
            return scan->Scan(pattern.c_str()) && scan->FolderCount() == 2;
        },
        [&] {
            if (channel != nullptr) channel->Destroy(kEngineDeleteObject);
            if (control != nullptr) control->Destroy(kEngineDeleteObject);
            channel = nullptr;
            control = nullptr;
        }};
    EachAllocationFailing(work);
}

TEST_F(EngineAllocationFailure, FileLoaderDecoding) {
    const Bytes plain = Sample(200000);
    Bytes stored;
    ASSERT_TRUE(chunk::EncodeVbrf(plain.data(), plain.size(), stored));
    chunk::ChunkView vbrf;
    ASSERT_TRUE(chunk::FindChunk(stored.data(), stored.size(), kVbrfTag, 0, vbrf));
    EngineObject<FileLoaderChannel> loader;
    bool decoded = false;
    EngineWork work{"file loader", "channels\\ChunkLoader.dll",
                    [&] {
                        loader.reset(static_cast<FileLoaderChannel*>(
                            host.channelFactory->CreateChannel(kFileLoaderChannelId, 0, 0)));
                        if (!loader) return false;
                        loader->LoadFromMemory(stored.data(), static_cast<uint32_t>(stored.size()), kLoadBorrowed);
                        decoded = loader->FindChunk("VBRF", 0) && ChannelFactory::fileDecoder.DecodeFile(loader.get());
                        return decoded;
                    },
                    [&](bool ok) {
                        if (!loader) return !ok;
                        if (ok)
                            return loader->GetSize() == plain.size() &&
                                   std::memcmp(loader->GetData(), plain.data(), plain.size()) == 0;
                        // A failed decoding hands back the stored chunk, which the program then writes.
                        return loader->GetData() == vbrf.data && loader->GetSize() == vbrf.size;
                    },
                    [&] { loader.reset(); }};
    EachAllocationFailing(work);
}

TEST_F(EngineAllocationFailure, FileSaverChunks) {
    const std::string path = folder + "\\uninstall.nfo";
    const Bytes field = Sample(1000);
    EngineObject<FileSaverChannel> saver;
    EngineWork work{
        "file saver", "channels\\ChunkSaver.dll",
        [&] {
            saver.reset(static_cast<FileSaverChannel*>(host.channelFactory->CreateChannel(kFileSaverChannelId, 0, 0)));
            if (!saver || !saver->Open(path.c_str(), kSaveCreate)) return false;
            // The results the program ignores; Close must tell whether everything was stored.
            saver->BeginChunk("UNFC");
            saver->WriteChunkSize(4);
            saver->Write("\x02\x00\x00\x00", 4);
            saver->BeginChunk("UNFN");
            saver->WriteChunkSize(16);  // announced short: the chunk's buffer grows while written
            for (int i = 0; i < 8; ++i) saver->Write(field.data(), static_cast<uint32_t>(field.size()));
            saver->BeginChunk("UNSK");
            return saver->Close();
        },
        [&](bool ok) {
            if (!ok) return true;
            std::string bytes;
            std::vector<chunk::Chunk> chunks;
            if (!enginetest::ReadWholeFile(path, bytes) || !chunk::ReadChunks(bytes.data(), bytes.size(), chunks)) {
                return false;
            }
            Bytes eight;
            for (int i = 0; i < 8; ++i) eight.insert(eight.end(), field.begin(), field.end());
            return chunks.size() == 3 && chunks[0].tag == "UNFC" && chunks[0].data == Bytes{2, 0, 0, 0} &&
                   chunks[1].tag == "UNFN" && chunks[1].data == eight && chunks[2].tag == "UNSK" &&
                   chunks[2].data.empty();
        },
        [&] {
            saver.reset();
            ::DeleteFileA(path.c_str());
        }};
    EachAllocationFailing(work);
}

TEST_F(EngineAllocationFailure, DirectoryScan) {
    // Enough names that the lists grow several times while one folder is scanned.
    std::set<std::string> texts;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "file" + std::to_string(i) + (i % 3 == 0 ? ".bin" : ".txt");
        ASSERT_TRUE(enginetest::WriteWholeFile(folder + "\\" + name, "x", 1));
        if (i % 3 != 0) texts.insert(name);
    }
    ASSERT_TRUE(::CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
    const std::string pattern = folder + "\\*.*";
    EngineObject<DirectoryChannel> scan;
    bool filtered = false;
    bool scanned = false;
    EngineWork work{
        "directory", "channels\\FolderScan.dll",
        [&] {
            scan.reset(static_cast<DirectoryChannel*>(host.channelFactory->CreateChannel(kDirectoryChannelId, 0, 0)));
            if (!scan) return false;
            filtered = scan->SetFilter("*.TXT");
            scanned = scan->Scan(pattern.c_str());
            return filtered && scanned;
        },
        [&](bool ok) {
            if (!scan) return !ok;
            // A failed scan lists nothing, rather than part of the folder.
            if (!scanned) return scan->FileCount() == 0 && scan->FolderCount() == 0;
            std::set<std::string> files;
            for (int i = 0; i < scan->FileCount(); ++i) files.insert(scan->FileName(i));
            std::set<std::string> folders;
            for (int i = 0; i < scan->FolderCount(); ++i) folders.insert(scan->FolderName(i));
            // A filter that could not be held takes every file, as no filter does.
            const size_t expectedFiles = filtered ? texts.size() : 60;
            return files.size() == expectedFiles && (!filtered || files == texts) &&
                   folders == std::set<std::string>{".", "..", "sub"};
        },
        [&] { scan.reset(); }};
    EachAllocationFailing(work);
}
