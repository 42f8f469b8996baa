#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordBytes.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/UiDriver.h"
#include "tests/unit/win/engine/EngineTestHost.h"
#include "win/HeapBuffer.h"

using testkit::Bytes;

namespace {

using SilentMessages = testkit::RecordingMessages;

// An Installer whose lists a test fills as extraction would.
using testkit::RecordingInstaller;

// Every saver call, in order, with what it was given.
class CallLog final : public FileSaverChannel {
public:
    void ORVAN_ENGINE_CALL Destroy(int) override {}
    bool ORVAN_ENGINE_CALL Open(const char* path, int mode) override {
        calls.push_back("Open " + std::string(path) + " " + std::to_string(mode));
        return openResult;
    }
    bool ORVAN_ENGINE_CALL BeginChunk(const char* tag) override {
        calls.push_back("Begin " + std::string(tag, 4));
        return true;
    }
    bool ORVAN_ENGINE_CALL WriteChunkSize(uint32_t size) override {
        calls.push_back("Size " + std::to_string(size));
        return true;
    }
    bool ORVAN_ENGINE_CALL Write(const void*, uint32_t size) override {
        calls.push_back("Write " + std::to_string(size));
        return true;
    }
    bool ORVAN_ENGINE_CALL Close() override {
        calls.push_back("Close");
        return closeResult;
    }
    bool openResult = true;
    bool closeResult = true;
    std::vector<std::string> calls;
};

std::vector<std::pair<std::string, Bytes>> ReadRecord(const std::string& path) {
    Bytes bytes;
    std::vector<std::pair<std::string, Bytes>> out;
    if (!testkit::ReadFileBytes(path, bytes)) return out;
    std::vector<chunk::Chunk> chunks;
    EXPECT_TRUE(chunk::ReadChunks(bytes, chunks)) << "the record is a well-formed chunk file";
    for (const auto& c : chunks) out.emplace_back(c.tag, c.data);
    return out;
}

class UninstallRecord : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(engine.Load(enginetest::BinFolder(), enginetest::BinFolder()));
        saver = engine.Create<FileSaverChannel>(kFileSaverChannelId);
        ASSERT_NE(saver, nullptr);
    }
    void TearDown() override {
        saver.reset();
        engine.Release();
        testkit::RemoveTree(scratch);
    }
    std::unique_ptr<RecordingInstaller> Make(const std::string& folder) {
        auto installer = std::make_unique<RecordingInstaller>(host, messages);
        EXPECT_TRUE(installer->SetInstallFolder(folder.c_str()));
        return installer;
    }

    std::string scratch;
    enginetest::EngineHost engine;
    EngineObject<FileSaverChannel> saver;
    testkit::MemoryPackageHost host{testkit::PackageFixture().Image(Bytes(64, 0))};
    SilentMessages messages;
};

}  // namespace

TEST_F(UninstallRecord, ListsFilesInOrderFoldersChildrenFirstAndTheProjectName) {
    const std::string f = scratch;
    const std::string longPath = f + "\\" + std::string(300, 'x') + ".bin";
    const std::string exact = (f + "\\" + std::string(300, 'y')).substr(0, 259);
    struct Case {
        const char* description;
        std::vector<std::string> files;
        std::vector<std::string> folders;  // in creation order
        bool withMarker;
    } cases[] = {
        {"files and nested folders", {f + "\\a.exe", f + "\\A\\b.dll", f + "\\A\\B\\C\\c.dat"},
         {f + "\\A\\", f + "\\A\\B\\", f + "\\A\\B\\C\\"}, false},
        {"no folder created", {f + "\\only.exe"}, {}, false},
        {"nothing created at all", {}, {}, false},
        {"with the marker of the other modes", {f + "\\a.exe"}, {f + "\\A\\"}, true},
        {"paths of 259 bytes or more are cut", {longPath, exact}, {longPath + "\\"}, false},
    };
    // The name buffer as read from the package: the bytes after the terminator are arbitrary.
    char projectName[260];
    std::memset(projectName, '#', sizeof(projectName));
    std::memcpy(projectName, "Demo Project", 13);
    const Bytes nameField(projectName, projectName + 259);

    for (const Case& c : cases) {
        auto installer = Make(f);
        for (const auto& path : c.files) installer->AddFile(path);
        for (const auto& path : c.folders) installer->AddFolder(path);
        EXPECT_TRUE(installer->WriteUninstallRecord(saver.get(), projectName, c.withMarker));

        std::vector<std::pair<std::string, Bytes>> expected;
        expected.emplace_back("UNFC", testkit::CountField(static_cast<uint32_t>(c.files.size())));
        for (const auto& path : c.files) expected.emplace_back("UNFN", testkit::RecordField(path));
        expected.emplace_back("UNDC", testkit::CountField(static_cast<uint32_t>(c.folders.size())));
        for (auto it = c.folders.rbegin(); it != c.folders.rend(); ++it) expected.emplace_back("UNDN", testkit::RecordField(*it));
        expected.emplace_back("UNPN", nameField);
        if (c.withMarker) expected.emplace_back("UNSK", Bytes{});
        EXPECT_EQ(ReadRecord(f + "\\uninstall.nfo"), expected) << c.description;
        EXPECT_TRUE(messages.shown.empty()) << c.description;
    }
    // The cut keeps exactly the first 259 bytes: no terminator is forced into the field.
    auto installer = Make(f);
    installer->AddFile(longPath);
    EXPECT_TRUE(installer->WriteUninstallRecord(saver.get(), projectName, false));
    const auto record = ReadRecord(f + "\\uninstall.nfo");
    ASSERT_GE(record.size(), 2u);
    EXPECT_EQ(std::string(record[1].second.begin(), record[1].second.end()), longPath.substr(0, 259));
}

TEST_F(UninstallRecord, EachChunkIsBegunSizedAndWrittenAndTheSaverAlwaysClosed) {
    char projectName[260] = "Demo";
    struct Case {
        const char* description;
        bool opens;
        bool withMarker;
        std::vector<std::string> calls;
    } cases[] = {
        {"record written",
         true,
         false,
         {"Begin UNFC", "Size 4", "Write 4", "Begin UNFN", "Size 259",
          "Write 259", "Begin UNDC", "Size 4", "Write 4", "Begin UNDN", "Size 259", "Write 259", "Begin UNPN",
          "Size 259", "Write 259", "Close"}},
        {"marker is a begun chunk alone",
         true,
         true,
         {"Begin UNFC", "Size 4", "Write 4", "Begin UNFN", "Size 259",
          "Write 259", "Begin UNDC", "Size 4", "Write 4", "Begin UNDN", "Size 259", "Write 259", "Begin UNPN",
          "Size 259", "Write 259", "Begin UNSK", "Close"}},
        {"file not opened: nothing written, closed all the same",
         false,
         true,
         {"Close"}},
    };
    for (const Case& c : cases) {
        auto installer = Make(scratch);
        installer->AddFile(scratch + "\\a.exe");
        installer->AddFolder(scratch + "\\A\\");
        CallLog log;
        log.openResult = c.opens;
        // Only a record that was opened and closed without a write error exists.
        EXPECT_EQ(installer->WriteUninstallRecord(&log, projectName, c.withMarker), c.opens) << c.description;
        // The record's own name when none is there yet, else a new name beside it, which replaces
        // the record once it is whole.
        ASSERT_FALSE(log.calls.empty()) << c.description;
        const std::string& open = log.calls.front();
        const std::string name = "Open " + scratch + "\\uninstall.nfo";
        EXPECT_TRUE(open == name + " 0" ||
                    (open.rfind(name + ".", 0) == 0 && open.size() == name.size() + 18 && open.substr(name.size() + 9) == ".orvan~ 0"))
            << open;
        EXPECT_EQ(std::vector<std::string>(log.calls.begin() + 1, log.calls.end()), c.calls) << c.description;
        log.closeResult = false;
        EXPECT_FALSE(installer->WriteUninstallRecord(&log, projectName, c.withMarker)) << c.description;
    }
}

TEST_F(UninstallRecord, AFolderThatCannotTakeTheRecordGetsNoneAndTheSaverStaysUsable) {
    char projectName[260] = "Demo";
    auto missing = Make(scratch + "\\does-not-exist");
    missing->AddFile(scratch + "\\a.exe");
    EXPECT_FALSE(missing->WriteUninstallRecord(saver.get(), projectName, false));
    EXPECT_EQ(::GetFileAttributesA((scratch + "\\does-not-exist").c_str()), INVALID_FILE_ATTRIBUTES);

    // A second installation into the same folder replaces the record.
    auto first = Make(scratch);
    first->AddFile(scratch + "\\first.exe");
    first->AddFile(scratch + "\\first.dll");
    EXPECT_TRUE(first->WriteUninstallRecord(saver.get(), projectName, false));
    auto second = Make(scratch);
    second->AddFile(scratch + "\\second.exe");
    EXPECT_TRUE(second->WriteUninstallRecord(saver.get(), projectName, false));
    const auto record = ReadRecord(scratch + "\\uninstall.nfo");
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[0].second, testkit::CountField(1));
    EXPECT_EQ(record[1].second, testkit::RecordField(scratch + "\\second.exe"));
}
