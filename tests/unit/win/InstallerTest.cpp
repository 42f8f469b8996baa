#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "testkit/ByteStrings.h"
#include "testkit/ComponentPackage.h"
#include "testkit/FailingAllocator.h"
#include "testkit/FakeFolderSystem.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/UiDriver.h"
#include "ui/ProgressWindow.h"

using testkit::Bytes;
using testkit::PackageFixture;
using testkit::RandomBytes;
using testkit::Strings;

namespace {

using RecordingMessages = testkit::RecordingMessages;

Bytes TextBytes(size_t size) {
    Bytes out(size);
    const char* words = "the quick brown fox jumps over the lazy dog ";
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(words[i % 44]);
    return out;
}

Bytes Zlib(const Bytes& plain) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(PackageWriter::CompressWithSizeTrailer(plain, out, error)) << error;
    return out;
}

Bytes WithTrailer(Bytes zlibStored, uint32_t size) {
    StoreU32(zlibStored.data() + zlibStored.size() - 4, size);
    return zlibStored;
}

// Bytes between the stream's end and its trailer.
Bytes Trailing(Bytes zlibStored) {
    zlibStored.insert(zlibStored.end() - 4, {1, 2, 3});
    return zlibStored;
}

using testkit::Exists;

Bytes FileBytes(const std::string& path) {
    Bytes out;
    testkit::ReadFileBytes(path, out);
    return out;
}

// Keeps where the installer puts the bar; no window.
class ProgressCalls : public ProgressWindow {
public:
    void SetProgress(float fraction) override { fractions.push_back(fraction); }
    std::vector<float> fractions;
};

class ProgressInstaller : public Installer {
public:
    using Installer::Installer;
    ProgressCalls& ShowProgress() {
        progress = std::make_unique<ProgressCalls>();
        return static_cast<ProgressCalls&>(*progress);
    }
};

// Counts the entries asked for. Past kAskLimit every key names no file, which stops the list
// there: one that would try each key up to its count fails at once instead of running for hours.
class CountingInstaller : public Installer {
public:
    using Installer::Installer;
    static constexpr int kAskLimit = 1000;
    bool GetPackageEntry(const char* key, void* buffer, int32_t capacity, const char* section) override {
        if (++asked <= kAskLimit) return Installer::GetPackageEntry(key, buffer, capacity, section);
        if (capacity > 0) static_cast<char*>(buffer)[0] = '\0';
        return true;
    }
    int asked = 0;
};

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { testkit::RemoveTree(scratch); }

    // An Installer over the fixture's package, extracting into folder.
    template <typename Made = Installer>
    std::unique_ptr<Made> Make(const PackageFixture& fixture, const std::string& folder) {
        host = std::make_unique<testkit::MemoryPackageHost>(fixture.Image(Bytes(512, 0x90)));
        auto installer = std::make_unique<Made>(*host, messages);
        installer->Init(::GetModuleHandleA(nullptr), nullptr);
        EXPECT_TRUE(installer->SetInstallFolder(folder.c_str()));
        return installer;
    }

    std::string scratch;
    std::unique_ptr<testkit::MemoryPackageHost> host;
    RecordingMessages messages;
};

}  // namespace

TEST_F(InstallerTest, ExtractsEveryKindByteExactAndRecordsWhatItCreated) {
    const Bytes stored = RandomBytes(3 << 20, 1);
    const Bytes text = TextBytes(5 << 20);
    // Two whole chunks of the stream and one byte of a third: stored.bin ends inside its second.
    const Bytes big = RandomBytes(2 * PackageReader::kStreamChunk + 1, 2);
    PackageFixture fixture;
    fixture.Raw("stored.bin", stored)
        .Raw("packed.txt", Zlib(text))
        .Raw("\\sub/deeper\\nested.bin", stored)
        .Raw("sub\\second.bin", Bytes(10, 1))
        .Raw("big.bin", big);
    const std::string folder = scratch + "\\new\\inner";
    auto installer = Make(fixture, folder);

    EXPECT_TRUE(installer->ExtractFile("stored.bin", false));
    EXPECT_TRUE(installer->ExtractFile("packed.txt", true));
    EXPECT_TRUE(installer->ExtractFile("\\sub/deeper\\nested.bin", false));
    EXPECT_TRUE(installer->ExtractFile("sub\\second.bin", false));
    EXPECT_TRUE(installer->ExtractFile("big.bin", false));
    EXPECT_TRUE(messages.shown.empty());

    EXPECT_EQ(FileBytes(folder + "\\stored.bin"), stored);
    EXPECT_EQ(FileBytes(folder + "\\packed.txt"), text);
    EXPECT_EQ(FileBytes(folder + "\\sub\\deeper\\nested.bin"), stored);
    EXPECT_EQ(FileBytes(folder + "\\big.bin"), big);
    EXPECT_EQ(Strings(installer->CreatedFiles()),
              (std::vector<std::string>{folder + "\\stored.bin", folder + "\\packed.txt",
                                        folder + "\\\\sub/deeper\\nested.bin", folder + "\\sub\\second.bin",
                                        folder + "\\big.bin"}));
    // Outer folders first, each once, with its backslash; the scratch folder already existed.
    EXPECT_EQ(Strings(installer->CreatedFolders()),
              (std::vector<std::string>{scratch + "\\new\\", folder + "\\", folder + "\\\\sub\\",
                                        folder + "\\\\sub\\deeper\\"}));
}

TEST_F(InstallerTest, ExtractFileFailures) {
    const Bytes text = TextBytes(1000);
    PackageFixture fixture;
    fixture.Raw("short.z", Bytes{1, 2, 3})
        .Raw("smalltrailer.z", WithTrailer(Zlib(text), 10))
        .Raw("largetrailer.z", WithTrailer(Zlib(text), 5000))
        .Raw("hugetrailer.z", WithTrailer(Zlib(text), 0xFFFFFFF0u))
        .Raw("bigtrailer.z", WithTrailer(Zlib(text), 200u << 20))
        .Raw("trailingbytes.z", Trailing(Zlib(text)))
        .Raw("garbage.z", RandomBytes(100, 3))
        .Raw("empty.bin", Bytes{})
        .Raw("locked.bin", Bytes(10, 1))
        .Raw("..\\escape.bin", Bytes(10, 1))
        .Raw("dir\\..\\..\\escape.bin", Bytes(10, 1))
        .Raw("C:\\escape.bin", Bytes(10, 1))
        .Raw("file.bin:stream", Bytes(10, 1))
        .Raw(std::string(250, 'n'), Bytes(10, 1));
    const std::string folder = scratch + "\\target";
    auto installer = Make(fixture, folder);

    struct Case {
        std::string name;
        bool decode;
        bool result;
        bool failed;  // held by the package but not on disk: the modes stop with the copy error
        std::string message;  // empty: no box
    } cases[] = {
        {"missing\\item.bin", false, false, false, "missing\\item.bin / Could not find resource"},
        {"short.z", true, false, true, "Error decompress / Error"},
        {"smalltrailer.z", true, false, true, "Error decompress / Error"},
        {"largetrailer.z", true, false, true, "Error decompress / Error"},
        {"hugetrailer.z", true, false, true, "Error decompress / Error"},
        {"bigtrailer.z", true, false, true, "Error decompress / Error"},
        {"trailingbytes.z", true, false, true, "Error decompress / Error"},
        {"garbage.z", true, false, true, "Error decompress / Error"},
        {"empty.bin", false, false, false, ""},
        {"..\\escape.bin", false, false, true, "..\\escape.bin\n\nThis item would be written outside the installation folder. / Installation Error"},
        {"dir\\..\\..\\escape.bin", false, false, true, "dir\\..\\..\\escape.bin\n\nThis item would be written outside the installation folder. / Installation Error"},
        {"C:\\escape.bin", false, false, true, "C:\\escape.bin\n\nThis item would be written outside the installation folder. / Installation Error"},
        {"file.bin:stream", false, false, true, "file.bin:stream\n\nThis item would be written outside the installation folder. / Installation Error"},
    };
    for (const Case& c : cases) {
        messages.shown.clear();
        // A trailer no stream of its size can reach is refused before its buffer is asked for.
        testkit::FailingAllocation large(1, 100u << 20);
        const ExtractResult result = installer->ExtractFile(c.name.c_str(), c.decode);
        EXPECT_FALSE(large.Delivered()) << c.name;
        EXPECT_EQ(static_cast<bool>(result), c.result) << c.name;
        EXPECT_EQ(result.Failed(), c.failed) << c.name;
        EXPECT_EQ(messages.shown, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message})
            << c.name;
    }
    EXPECT_FALSE(Exists(scratch + "\\escape.bin"));
    EXPECT_TRUE(Exists(folder + "\\missing\\")) << "folders of a missing item stay created";

    // An empty entry leaves an empty file, and it is recorded like every file written.
    EXPECT_TRUE(Exists(folder + "\\empty.bin"));
    const auto files = Strings(installer->CreatedFiles());
    EXPECT_EQ(files, (std::vector<std::string>{folder + "\\empty.bin"}));

    // A target held open by another program: no box, nothing recorded.
    win::FileHandle lock(::CreateFileA((folder + "\\locked.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.valid());
    messages.shown.clear();
    EXPECT_TRUE(installer->ExtractFile("locked.bin", false).Failed());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(installer->CreatedFiles().Count(), 1);

    // A path that does not fit 399 characters: a box naming the item, nothing written.
    auto deep = Make(fixture, scratch + "\\" + std::string(150, 'd'));
    messages.shown.clear();
    EXPECT_TRUE(deep->ExtractFile(std::string(250, 'n').c_str(), false).Failed());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].find(std::string(250, 'N')), std::string::npos);
    EXPECT_NE(messages.shown[0].find(std::string(250, 'n')), std::string::npos);
    EXPECT_EQ(deep->CreatedFolders().Count(), 0);
    EXPECT_EQ(deep->CreatedFiles().Count(), 0);
}

TEST_F(InstallerTest, StoredEntryFailingItsCrcLeavesNoFile) {
    const Bytes good = RandomBytes(3 << 20, 4);
    const Bytes bad = RandomBytes(5 << 20, 5);
    PackageFixture fixture;
    fixture.Raw("good.bin", good).Raw("sub\\bad.bin", bad);
    const std::string folder = scratch + "\\target";
    auto installer = Make(fixture, folder);
    // The last data byte is bad.bin's: damaged after the table was read, as on a bad medium.
    host->image[testkit::LayoutOf(host->image).dataEnd - 1] ^= 0x01;

    EXPECT_FALSE(installer->ExtractFile("sub\\bad.bin", false));
    EXPECT_EQ(host->messages, std::vector<std::string>{"Crc error corrupt file / SUB\\BAD.BIN"});
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(Exists(folder + "\\sub\\bad.bin")) << "no damaged copy passes for an installed file";

    EXPECT_TRUE(installer->ExtractFile("good.bin", false));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(FileBytes(folder + "\\good.bin"), good);
    EXPECT_EQ(Strings(installer->CreatedFiles()), std::vector<std::string>{folder + "\\good.bin"});
}

TEST_F(InstallerTest, AFailedExtractionLeavesTheFileAlreadyThereAsItWas) {
    const Bytes old = TextBytes(3000);
    const Bytes fresh = RandomBytes(2000, 6);
    PackageFixture fixture;
    fixture.Raw("garbage.z", RandomBytes(100, 3)).Raw("fresh.bin", fresh).Raw("sub\\damaged.bin", RandomBytes(1 << 20, 7));
    const std::string folder = scratch + "\\target";
    auto installer = Make(fixture, folder);
    // The last data byte is damaged.bin's.
    host->image[testkit::LayoutOf(host->image).dataEnd - 1] ^= 0x01;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::CreateDirectoryA((folder + "\\sub").c_str(), nullptr);

    struct Case {
        const char* name;
        bool decode;
    } cases[] = {{"sub\\damaged.bin", false}, {"garbage.z", true}};
    for (const Case& c : cases) {
        const std::string path = folder + "\\" + c.name;
        ASSERT_TRUE(testkit::WriteFileBytes(path, old));
        EXPECT_FALSE(installer->ExtractFile(c.name, c.decode)) << c.name;
        EXPECT_EQ(FileBytes(path), old) << c.name;
    }
    EXPECT_EQ(installer->CreatedFiles().Count(), 0);
    // A whole one replaces it, and is recorded like a new file.
    ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\fresh.bin", old));
    EXPECT_TRUE(installer->ExtractFile("fresh.bin", false));
    EXPECT_EQ(FileBytes(folder + "\\fresh.bin"), fresh);
    EXPECT_EQ(Strings(installer->CreatedFiles()), std::vector<std::string>{folder + "\\fresh.bin"});
    // The file it replaced is kept until the installation commits; then no temporary file is
    // left beside any of them.
    installer->Commit();
    for (const char* inner : {"", "\\sub"}) {
        WIN32_FIND_DATAA found;
        win::FindHandle find(::FindFirstFileA((folder + inner + "\\*~").c_str(), &found));
        EXPECT_FALSE(find.valid()) << found.cFileName;
    }
}

TEST_F(InstallerTest, FoldersAreMadeForEveryPathWhateverTheOrderOfItsFiles) {
    const char* names[] = {"a\\one.bin", "a\\two.bin", "a\\b\\three.bin", "a/four.bin", "c\\five.bin", "a\\b\\six.bin"};
    PackageFixture fixture;
    for (const char* name : names) fixture.Raw(name, Bytes(100, 3));
    const std::string folder = scratch + "\\order";
    auto installer = Make(fixture, folder);
    for (const char* name : names) EXPECT_TRUE(installer->ExtractFile(name, false)) << name;
    for (const char* name : names) EXPECT_EQ(FileBytes(folder + "\\" + name), Bytes(100, 3)) << name;
    EXPECT_EQ(Strings(installer->CreatedFolders()),
              (std::vector<std::string>{folder + "\\", folder + "\\a\\", folder + "\\a\\b\\", folder + "\\c\\"}));
}

TEST_F(InstallerTest, EngineFileListStopsAtTheFirstFailure) {
    PackageFixture fixture;
    fixture.Raw("EngineCore.dll", Zlib(TextBytes(100))).Raw("channels\\ChunkSaver.dll", Zlib(TextBytes(200)));
    auto installer = Make(fixture, scratch);
    EXPECT_FALSE(installer->ExtractEngineFiles());
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{
                  "channels\\FolderScan.dll / Could not find resource",
                  "There was an error while trying to copy one of the installation files.\nPlease make sure no "
                  "applications are running that might be locking some files. / Installation Error"}));
    EXPECT_EQ(messages.styles.back(), static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(Strings(installer->CreatedFiles()),
              (std::vector<std::string>{scratch + "\\EngineCore.dll", scratch + "\\channels\\ChunkSaver.dll"}));
    EXPECT_EQ(FileBytes(scratch + "\\channels\\ChunkSaver.dll"), TextBytes(200));
}

TEST_F(InstallerTest, ChannelAndProjectLists) {
    struct Case {
        const char* what;
        PackageFixture fixture;
        bool channels;
        bool files;
        std::vector<std::string> messages;
        std::vector<std::string> written;
    };
    auto base = [] {
        PackageFixture f;
        f.Raw("\\a.chn", Zlib(TextBytes(50))).Raw("\\lib\\b.dll", Zlib(TextBytes(60))).Raw("\\p\\c.dat", TextBytes(70));
        return f;
    };
    std::vector<Case> cases;
    {
        PackageFixture f = base();
        f.Number("ChannelCount", 2, "CHANNELINFO")
            .Text("ChannelItemNameID1", "\\a.chn", "CHANNELINFO")
            .Number("ChannelDLLCount", 1, "CHANNELINFO")
            .Text("ChannelDLLItemNameID0", "\\lib\\b.dll", "CHANNELINFO")
            .Number("FileCount", 4, "FILEINFO")
            .Text("ItemNameID3", "\\p\\c.dat", "FILEINFO");
        cases.push_back({"gaps are skipped", f, true, true, {}, {"\\a.chn", "\\lib\\b.dll", "\\p\\c.dat"}});
    }
    {
        PackageFixture f = base();
        f.Number("ChannelCount", 1, "CHANNELINFO").Text("ChannelItemNameID0", "\\a.chn", "CHANNELINFO");
        cases.push_back({"library count missing", f, false, false,
                         {"Can't find ChannelCount / Error", "Can't find FileCount / Error"}, {"\\a.chn"}});
    }
    {
        PackageFixture f = base();
        f.Number("ChannelCount", 0, "CHANNELINFO")
            .Number("ChannelDLLCount", -3, "CHANNELINFO")
            .Number("FileCount", 0, "FILEINFO")
            .Text("ItemNameID0", "\\p\\c.dat", "FILEINFO");
        cases.push_back({"zero and negative counts", f, true, true, {}, {}});
    }
    {
        PackageFixture f = base();
        f.Number("ChannelCount", 1).Number("ChannelDLLCount", 1).Number("FileCount", 1);
        cases.push_back({"counts in the wrong section", f, false, false,
                         {"Can't find ChannelCount / Error", "Can't find FileCount / Error"}, {}});
    }
    for (Case& c : cases) {
        const std::string folder = scratch + "\\" + std::to_string(&c - cases.data());
        auto installer = Make(c.fixture, folder);
        messages.shown.clear();
        EXPECT_EQ(installer->ExtractChannels(), c.channels) << c.what;
        EXPECT_EQ(installer->ExtractProjectFiles(), c.files) << c.what;
        EXPECT_EQ(messages.shown, c.messages) << c.what;
        std::vector<std::string> expected;
        for (const auto& name : c.written) expected.push_back(folder + "\\" + name);
        EXPECT_EQ(Strings(installer->CreatedFiles()), expected) << c.what;
    }
    EXPECT_EQ(FileBytes(scratch + "\\0\\lib\\b.dll"), TextBytes(60)) << "channel libraries are decoded";
    EXPECT_EQ(FileBytes(scratch + "\\0\\p\\c.dat"), TextBytes(70)) << "project files are written as stored";
}

// Moving the bar repaints it at once: a list of thousands of small files moves it a few times a
// second, not once per file, always starting where the list starts.
TEST_F(InstallerTest, AListMovesTheBarAFewTimesASecondNotOncePerFile) {
    constexpr int kFiles = 400;
    PackageFixture f;
    f.Number("FileCount", kFiles, "FILEINFO");
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "\\f\\" + std::to_string(i) + ".dat";
        f.Raw(name, TextBytes(16)).Text("ItemNameID" + std::to_string(i), name, "FILEINFO");
    }
    auto installer = Make<ProgressInstaller>(f, scratch + "\\list");
    const std::vector<float>& fractions = installer->ShowProgress().fractions;
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(installer->ExtractProjectFiles());
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(installer->CreatedFiles().Count(), kFiles);
    ASSERT_FALSE(fractions.empty());
    EXPECT_FLOAT_EQ(fractions.front(), 0.6f);
    EXPECT_LE(fractions.size(), elapsed / 200 + 1) << "in " << elapsed << " ms";
    for (float fraction : fractions) {
        EXPECT_GE(fraction, 0.6f);
        EXPECT_LT(fraction, 0.9f);
    }
}

TEST_F(InstallerTest, ADamagedItemStopsItsListWithOneCrcBoxAndACountBeyondTheTableEndsAtItsEnd) {
    const std::string copyError =
        "There was an error while trying to copy one of the installation files.\nPlease make sure no applications are "
        "running that might be locking some files. / Installation Error";
    struct Case {
        const char* what;
        std::vector<std::string> damaged;
        bool channels;
        bool files;
        std::vector<std::string> shown;
        std::vector<std::string> crcBoxes;
        std::vector<std::string> written;
    } cases[] = {
        {"sound", {}, true, true, {}, {}, {"\\a.chn", "\\lib\\b.dll", "\\p\\c.dat", "\\p\\d.dat"}},
        {"a damaged channel item and a damaged project file", {"\\a.chn", "\\p\\c.dat"}, false, false,
         {copyError, copyError}, {"Crc error corrupt file / \\A.CHN", "Crc error corrupt file / \\P\\C.DAT"}, {}},
        {"a damaged library", {"\\lib\\b.dll"}, false, true, {copyError},
         {"Crc error corrupt file / \\LIB\\B.DLL"}, {"\\a.chn", "\\p\\c.dat", "\\p\\d.dat"}},
        // A damaged name is a damaged item, not a missing one: its file would be silently left out.
        {"a damaged project item name", {"ItemNameID1"}, true, false, {copyError},
         {"Crc error corrupt file / ITEMNAMEID1"}, {"\\a.chn", "\\lib\\b.dll", "\\p\\c.dat"}},
        {"a damaged channel item name", {"ChannelItemNameID0"}, false, true, {copyError},
         {"Crc error corrupt file / CHANNELITEMNAMEID0"}, {"\\p\\c.dat", "\\p\\d.dat"}},
    };
    for (const Case& c : cases) {
        // Counts far beyond the entries there are: the lists end with the table, at once.
        PackageFixture f;
        f.Raw("\\a.chn", Zlib(TextBytes(50)))
            .Raw("\\lib\\b.dll", Zlib(TextBytes(60)))
            .Raw("\\p\\c.dat", TextBytes(70))
            .Raw("\\p\\d.dat", TextBytes(80))
            .Number("ChannelCount", INT32_MAX, "CHANNELINFO")
            .Text("ChannelItemNameID0", "\\a.chn", "CHANNELINFO")
            .Number("ChannelDLLCount", 1, "CHANNELINFO")
            .Text("ChannelDLLItemNameID0", "\\lib\\b.dll", "CHANNELINFO")
            .Number("FileCount", INT32_MAX, "FILEINFO")
            .Text("ItemNameID0", "\\p\\c.dat", "FILEINFO")
            .Text("ItemNameID1", "\\p\\d.dat", "FILEINFO");
        const std::string folder = scratch + "\\" + std::to_string(&c - cases);
        auto installer = Make<CountingInstaller>(f, folder);
        for (const auto& name : c.damaged) ASSERT_TRUE(testkit::DamageEntry(host->image, name)) << name;
        messages.shown.clear();
        EXPECT_EQ(installer->ExtractChannels(), c.channels) << c.what;
        EXPECT_EQ(installer->ExtractProjectFiles(), c.files) << c.what;
        // No more keys than the table has entries, per list.
        EXPECT_LE(installer->asked, 40) << c.what;
        EXPECT_EQ(messages.shown, c.shown) << c.what;
        EXPECT_EQ(host->messages, c.crcBoxes) << c.what;
        std::vector<std::string> expected;
        for (const auto& name : c.written) expected.push_back(folder + "\\" + name);
        EXPECT_EQ(Strings(installer->CreatedFiles()), expected) << c.what;
    }
}

TEST_F(InstallerTest, EngineFoldersGoInFrontOfALongPathOnce) {
    const std::string original(5000, 'p');
    ASSERT_TRUE(::SetEnvironmentVariableA("PATH", original.c_str()));
    auto read = [] {
        std::string value(40000, '\0');
        value.resize(::GetEnvironmentVariableA("PATH", &value[0], static_cast<DWORD>(value.size())));
        return value;
    };
    auto installer = Make(PackageFixture(), "C:\\Demo");
    installer->AddEngineFoldersToPath();
    EXPECT_EQ(read(), "C:\\Demo\\channels;C:\\Demo\\3rd;" + original);
    installer->AddEngineFoldersToPath();
    EXPECT_EQ(read(), "C:\\Demo\\channels;C:\\Demo\\3rd;" + original) << "a second call changes nothing";

    ::SetEnvironmentVariableA("PATH", "C:\\Demo2\\bin");
    installer->AddEngineFoldersToPath();
    EXPECT_EQ(read(), "C:\\Demo2\\bin") << "a plain substring test";
    ::SetEnvironmentVariableA("PATH", "c:\\demo\\bin");
    installer->AddEngineFoldersToPath();
    EXPECT_EQ(read(), "C:\\Demo\\channels;C:\\Demo\\3rd;c:\\demo\\bin") << "letter case counts";
    ::SetEnvironmentVariableA("PATH", nullptr);
    installer->AddEngineFoldersToPath();
    EXPECT_EQ(read(), "C:\\Demo\\channels;C:\\Demo\\3rd;");
}

TEST_F(InstallerTest, EngineRoadDecodesChannelItemsAndReleasesEverything) {
    const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), testkit::ProjectOptions());
    // Released by the mode, or left loaded by a mode that stopped and gone with the Installer;
    // or released by the mode after another Installer that never loaded an engine was released
    // twice, which must leave this one's engine alone.
    enum class End { kReleased, kLeftLoaded, kReleasedAfterAnIdleOne };
    const struct {
        const char* how;
        End end;
    } cases[] = {{"released", End::kReleased},
                 {"left loaded", End::kLeftLoaded},
                 {"released after an idle one", End::kReleasedAfterAnIdleOne}};
    for (const auto& c : cases) {
        const std::string folder = scratch + "\\" + std::to_string(&c - cases);
        auto installer = Make(package.fixture, folder);
        ASSERT_TRUE(installer->ExtractEngineFiles());
        ASSERT_TRUE(installer->LoadEngine());
        ASSERT_TRUE(installer->CreateFileLoader());
        if (c.end == End::kReleasedAfterAnIdleOne) {
            testkit::MemoryPackageHost idleHost(PackageFixture().Image(Bytes(512, 0x90)));
            Installer idle(idleHost, messages);
            idle.Init(::GetModuleHandleA(nullptr), nullptr);
            ASSERT_TRUE(idle.SetInstallFolder((scratch + "\\idle").c_str()));
            idle.ReleaseEngine();
            idle.ReleaseEngine();
            EXPECT_FALSE(idle.LoadEngine()) << "no engine library in its folder";
            EXPECT_NE(::GetModuleHandleA((folder + "\\EngineCore.dll").c_str()), nullptr) << "still loaded";
        }
        EXPECT_TRUE(installer->ExtractChannels()) << c.how;
        EXPECT_TRUE(installer->ExtractProjectFiles()) << c.how;
        if (c.end == End::kLeftLoaded) {
            installer.reset();
        } else {
            installer->ReleaseEngine();
        }
        EXPECT_TRUE(messages.shown.empty()) << c.how;
        // The channel items were stored in the engine's form and are written decoded.
        Bytes plain;
        ASSERT_TRUE(testkit::ReadFileBytes(folder + "\\channels\\scene.chn", plain)) << c.how;
        EXPECT_EQ(plain.size(), 20000u) << c.how;
        // Nothing of the engine stays loaded, its objects gone through their own destructors
        // (which unload the channel libraries): its files can be deleted.
        for (const char* name : {"EngineCore.dll", "channels\\ChunkLoader.dll", "channels\\FolderScan.dll"}) {
            EXPECT_TRUE(::DeleteFileA((folder + "\\" + name).c_str())) << name << ", " << c.how;
        }
        // A second load after the release works the same way.
        if (installer) {
            EXPECT_FALSE(installer->LoadEngine()) << "its library is gone now";
        }
    }
}

TEST_F(InstallerTest, ADecodeBufferThatCannotBeHadFailsTheFileWithItsBoxAndLeaksNothing) {
    // Larger than anything else an extraction allocates, so that only the decode buffer fails.
    const Bytes text = TextBytes(300000);
    PackageFixture fixture;
    fixture.Raw("packed.txt", Zlib(text));
    const std::string folder = scratch + "\\target";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    auto installer = Make(fixture, folder);

    const int live = testkit::LiveAllocations();
    bool failed = false;
    {
        testkit::FailingAllocation failing(1, text.size());
        failed = installer->ExtractFile("packed.txt", true).Failed();
        EXPECT_TRUE(failing.Delivered());
    }
    EXPECT_TRUE(failed) << "an item that did not arrive";
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Error decompress / Error"});
    EXPECT_FALSE(Exists(folder + "\\packed.txt"));
    EXPECT_EQ(installer->CreatedFiles().Count(), 0);
    // What the reader and the box's record hold is theirs; once they are gone, nothing is left.
    std::vector<std::string>().swap(messages.shown);
    std::vector<UINT>().swap(messages.styles);
    installer.reset();
    EXPECT_EQ(testkit::LiveAllocations(), live);

    // With memory again, the same entry extracts whole.
    installer = Make(fixture, folder);
    EXPECT_TRUE(installer->ExtractFile("packed.txt", true));
    EXPECT_EQ(FileBytes(folder + "\\packed.txt"), text);
    EXPECT_TRUE(messages.shown.empty());
}

// Whichever allocation fails while an item and its folders are written, what reached the disk
// is on a list: the run's rollback then leaves nothing behind.
TEST_F(InstallerTest, AnAllocationFailureLeavesNothingOnDiskThatNoListNames) {
    PackageFixture fixture;
    fixture.Raw("one\\two\\item.bin", Bytes(100, 7));
    const std::string folder = scratch + "\\inst";
    bool delivered = true;
    for (int nth = 1; delivered; ++nth) {
        auto installer = Make(fixture, folder);
        bool written = false;
        {
            testkit::FailingAllocation failing(nth);
            written = static_cast<bool>(installer->ExtractFile("one\\two\\item.bin", false));
            delivered = failing.Delivered();
        }
        EXPECT_TRUE(written || delivered) << nth;
        installer->Rollback();
        EXPECT_EQ(testkit::Tree(scratch, true), std::vector<std::string>{}) << "allocation " << nth;
        testkit::RemoveTree(folder);
    }
}

// Whatever way the folder is written, a drive's or a share's root is refused with one box
// before anything is written: nothing installed there could be removed again.
TEST_F(InstallerTest, AnInstallIntoTheRootOfADriveIsRefusedBeforeAnythingIsWritten) {
    const std::string refused = "Please choose a folder, not the root of a drive. / Demo";
    // Given by /D=, or (empty) the package's InstallPath "C:\"; the last two are no roots.
    const std::string folders[] = {"C:\\",       "c:\\/", "C:\\.", "C:\\Windows\\..", "\\\\server\\share\\", "",
                                   "\\\\server\\share\\Demo", scratch + "\\Demo"};
    for (const std::string& folder : folders) {
        PackageFixture fixture;
        fixture.Flag("CheckDx8", false).Flag("RunAfterInstall", false).Text("InstallPath", "C:\\");
        fixture.Text("ShortCutName", "Demo").Text("ProjectName", "Demo");
        auto installer = Make(fixture, scratch);
        messages.shown.clear();
        const bool failureReported = false;
        EXPECT_FALSE(installer->InstallProjectSilently(folder.c_str(), failureReported)) << folder;
        const bool root = &folder < &folders[6];
        EXPECT_EQ(!messages.shown.empty() && messages.shown[0] == refused, root) << folder;
        const size_t written = installer->CreatedFolders().Count() + installer->CreatedFiles().Count();
        EXPECT_TRUE(!root || messages.shown.size() + written == 1u) << folder << ": one box, nothing written";
    }
}

// An elevated install makes its folder the administrators' before the first file; Wine keeps
// no descriptors, so the folder calls are the fake's, which notes what each folder was given.
TEST_F(InstallerTest, AnElevatedInstallGivesTheFoldersItCreatesTheAdministratorsDescriptor) {
    PackageFixture fixture;
    fixture.Raw("sub\\file.bin", Bytes(10, 1));
    const std::string folder = scratch + "\\new\\Target";
    const std::string admin = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;" + testkit::OwnUserSidText() +
                              ")(A;OICI;0x1200a9;;;BU)";
    for (const bool elevated : {true, false}) {
        testkit::FakeFolderSystem folders;
        folders.elevated = elevated;
        auto installer = Make(fixture, folder);
        Installer::Places places;
        places.folders = &folders;
        installer->SetPlaces(places);
        ASSERT_TRUE(installer->ClaimInstallFolder()) << elevated;
        EXPECT_EQ(Exists(folder), elevated) << "made before the first file";
        ASSERT_TRUE(installer->ExtractFile("sub\\file.bin", false)) << elevated;
        // Below the folder everything inherits its descriptor; a per-user install keeps what
        // the parent gives.
        const std::string secured = elevated ? admin : "";
        using Created = std::vector<std::pair<std::string, std::string>>;
        EXPECT_EQ(folders.created,
                  (Created{{scratch + "\\new\\", secured}, {folder + "\\", secured}, {folder + "\\sub\\", ""}}));
        EXPECT_EQ(Strings(installer->CreatedFolders()),
                  (std::vector<std::string>{scratch + "\\new\\", folder + "\\", folder + "\\sub\\"}));
        EXPECT_TRUE(messages.shown.empty());
        installer.reset();
        testkit::RemoveTree(scratch + "\\new");
    }
}

TEST_F(InstallerTest, AnElevatedInstallRefusesAnExistingFolderOtherUsersCanChange) {
    const std::string self = testkit::OwnUserSidText();
    const std::string installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const struct {
        const char* what;
        std::string descriptor;
        bool refused;
    } cases[] = {
        {"administrators' with users reading", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", false},
        {"the installing user's own", "O:" + self + "D:(A;OICI;FA;;;" + self + ")(A;OICI;0x1200a9;;;WD)", false},
        {"the system's installer's", "O:" + installer + "D:(A;;FA;;;" + installer + ")(A;;0x1200a9;;;BU)", false},
        {"creator owner for what is made below", "O:BAD:(A;OICIIO;FA;;;CO)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", false},
        {"authenticated users may modify", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)", true},
        {"everyone may delete what it holds", "O:BAD:(A;;FA;;;BA)(A;;0x1200e9;;;WD)", true},
        {"users may change its DACL", "O:BAD:(A;;FA;;;BA)(A;;0x401200a9;;;BU)", true},
        {"owned by another user", "O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", true},
        {"no DACL at all", "O:BA", true},
    };
    const std::string folder = scratch + "\\existing";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    for (const auto& c : cases) {
        for (const bool elevated : {true, false}) {
            testkit::FakeFolderSystem folders;
            folders.elevated = elevated;
            folders.existing[folder] = c.descriptor;
            auto made = Make(PackageFixture(), folder);
            Installer::Places places;
            places.folders = &folders;
            made->SetPlaces(places);
            messages.shown.clear();
            const bool refused = elevated && c.refused;
            EXPECT_EQ(made->ClaimInstallFolder(), !refused) << c.what << ", elevated " << elevated;
            EXPECT_EQ(messages.shown,
                      refused ? std::vector<std::string>{folder + "\n\n" + Installer::kOthersCanWriteText +
                                                         " / Installation Error"}
                              : std::vector<std::string>{})
                << c.what << ", elevated " << elevated;
            EXPECT_TRUE(folders.created.empty()) << c.what;
        }
    }
    // A folder made on a drive that keeps no descriptors is refused as well.
    testkit::FakeFolderSystem folders;
    folders.existing[scratch + "\\fat"] = "O:BA";
    auto made = Make(PackageFixture(), scratch + "\\fat");
    Installer::Places places;
    places.folders = &folders;
    made->SetPlaces(places);
    messages.shown.clear();
    EXPECT_FALSE(made->ClaimInstallFolder());
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(folders.created.size(), 1u);
}
