#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Launcher.h"
#include "package/LittleEndian.h"
#include "installer/UserMessages.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "win/ExactPath.h"
#include "win/WinPackageFile.h"

using testkit::Bytes;
using testkit::PackageFixture;

namespace {

using MemoryHost = testkit::MemoryPackageHost;

// Records which modes the dispatch called.
class RecordingLauncher : public Launcher {
public:
    using Launcher::Launcher;
    bool RunInPlaceMode() override { return Record("run in place"); }
    bool ProjectInstallMode() override { return Record("project install"); }
    bool ScreensaverInstallMode() override { return Record("screen saver"); }
    bool WinampPluginInstallMode() override { return Record("plug-in"); }
    std::vector<std::string> calls;

private:
    bool Record(const char* mode) {
        calls.push_back(mode);
        return true;
    }
};

// The launcher's own boxes go through the package host; the modes' would come here.
class NoMessages : public UserMessages {
public:
    int Show(const char*, const char*, UINT) override { return IDOK; }
};
NoMessages messages;

const Bytes kStub(64, 0xCC);

}  // namespace

TEST(Launcher, EachProjectTypeStartsAtMostOneMode) {
    struct Case {
        int32_t type;
        std::vector<std::string> calls;
    } cases[] = {
        {1, {"run in place"}}, {2, {"project install"}}, {5, {"screen saver"}}, {6, {"plug-in"}},
        {0, {}},  {3, {}},     {4, {}},                  {7, {}},             {-1, {}},
    };
    for (const Case& c : cases) {
        MemoryHost host(PackageFixture().Number("ProjectType", c.type).Image(kStub));
        RecordingLauncher launcher(host, messages);
        launcher.Run();
        EXPECT_EQ(launcher.calls, c.calls) << "ProjectType " << c.type;
        EXPECT_TRUE(host.messages.empty()) << "ProjectType " << c.type;
        EXPECT_EQ(host.opens, 1) << "the value is read through one short-lived reader";
    }
}

TEST(Launcher, MissingOrDamagedProjectType) {
    Bytes corrupt = PackageFixture().Number("ProjectType", 1).Image(kStub);
    corrupt[corrupt.size() - 5] ^= 0x40;  // last data byte, just before the trailer
    // A count of 0 or -1 before a real table's records, its data base sound or pointing into
    // the header: an empty table all the same.
    auto emptied = [](int32_t count, bool baseIntoHeader) {
        Bytes image = PackageFixture().Number("ProjectType", 1).Image(kStub);
        const testkit::PackageLayout layout = testkit::LayoutOf(image);
        StoreU32(image.data() + layout.header + 36, static_cast<uint32_t>(count));
        if (baseIntoHeader) StoreU32(image.data() + layout.tableEnd - 4, 8);
        return image;
    };
    struct Case {
        const char* what;
        Bytes image;
        std::vector<std::string> messages;
    } cases[] = {
        {"absent", PackageFixture().Text("ProjectName", "Demo").Image(kStub), {"Can't find project type / Error"}},
        {"only in another section", PackageFixture().Number("ProjectType", 1, "CHANNELINFO").Image(kStub),
         {"Can't find project type / Error"}},
        {"corrupted", corrupt, {"Crc error corrupt file / PROJECTTYPE", "Can't find project type / Error"}},
        {"no package at all", kStub, {"Data header not found! / ", "Can't find project type / Error"}},
        {"count 0", emptied(0, false), {"Can't find project type / Error"}},
        {"count -1", emptied(-1, false), {"Can't find project type / Error"}},
        {"count 0, data base in the header", emptied(0, true), {"Can't find project type / Error"}},
        {"count -1, data base in the header", emptied(-1, true), {"Can't find project type / Error"}},
    };
    for (const Case& c : cases) {
        MemoryHost host(c.image);
        RecordingLauncher launcher(host, messages);
        launcher.Run();
        EXPECT_TRUE(launcher.calls.empty()) << c.what;
        EXPECT_EQ(host.messages, c.messages) << c.what;
    }
}

TEST(Launcher, UpperCaseStoredNameIsFoundByMixedCaseKey) {
    MemoryHost host(PackageFixture().Number("PROJECTTYPE", 2).Image(kStub));
    RecordingLauncher launcher(host, messages);
    launcher.Run();
    EXPECT_EQ(launcher.calls, std::vector<std::string>{"project install"});
}

// The program's file is opened once, as the host is made, and held until the host goes: every
// reader reads that file, and between one reader and the next nobody can swap it.
TEST(SystemPackageHost, HoldsTheProgramFileAgainstRenameAndWriteForItsLife) {
    // A copy of this test program stands for the packed program: the running image itself
    // may be pinned by the system regardless of the host.
    char own[MAX_PATH] = {};
    ASSERT_TRUE(win::ExactModulePath(nullptr, own, sizeof(own)));
    const std::string copy = testkit::MakeScratchFolder("own-file") + "\\Program.exe";
    ASSERT_TRUE(::CopyFileA(own, copy.c_str(), FALSE));
    const testkit::Tampering before = testkit::TryToTamper(copy);
    EXPECT_TRUE(before.renamed && before.openedForWriting) << "the check itself must be able to tamper";
    {
        win::SystemPackageHost host(copy.c_str());
        for (int reader = 0; reader < 2; ++reader) {
            std::unique_ptr<PackageFile> file = host.OpenOwnFile();
            ASSERT_TRUE(file) << reader;
            unsigned char mz[2] = {};
            EXPECT_TRUE(file->ReadExact(0, mz, 2) && mz[0] == 'M' && mz[1] == 'Z') << reader;
            // A reader gone: its file is still held, for the next one.
            file.reset();
            const testkit::Tampering during = testkit::TryToTamper(copy);
            EXPECT_FALSE(during.renamed) << reader;
            EXPECT_FALSE(during.openedForWriting) << reader;
        }
    }
    const testkit::Tampering after = testkit::TryToTamper(copy);
    EXPECT_TRUE(after.renamed && after.openedForWriting) << "released with the host";
    testkit::RemoveTree(testkit::MakeScratchFolder("own-file"));
}

// The program opens its file by name after its start, when the running file may have been
// renamed and another put in its place: only the file its image was mapped from is read.
TEST(SystemPackageHost, ReadsOnlyTheFileTheImageWasMappedFrom) {
    wchar_t own[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameW(nullptr, own, MAX_PATH), 0u);
    const std::wstring copy = std::wstring(own) + L".copy";
    ASSERT_TRUE(::CopyFileW(own, copy.c_str(), FALSE));
    const struct {
        const wchar_t* path;
        bool image;
    } cases[] = {{own, true}, {copy.c_str(), false}};
    for (const auto& c : cases) {
        win::FileHandle file(::CreateFileW(c.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.valid());
        EXPECT_EQ(win::IsMappedImage(file.get()), c.image);
    }
    ::DeleteFileW(copy.c_str());
    // The program's own host passes the check for the running file.
    win::SystemPackageHost host;
    EXPECT_TRUE(host.OpenOwnFile() != nullptr);
}
