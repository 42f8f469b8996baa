#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Launcher.h"
#include "app/SilentInstall.h"
#include "installer/UserMessages.h"
#include "package/LittleEndian.h"
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

// The writer stores names in upper case; this turns one stored name (with its terminating
// zero, so a longer name holding it is left alone) to lower case in place. The table carries
// no CRC of its names.
bool LowerCaseStoredName(Bytes& image, const std::string& name) {
    const std::string stored(name.c_str(), name.size() + 1);
    const auto at = std::search(image.begin(), image.end(), stored.begin(), stored.end());
    if (at == image.end()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (at[i] >= 'A' && at[i] <= 'Z') at[i] = static_cast<unsigned char>(at[i] + ('a' - 'A'));
    }
    return true;
}

}  // namespace

TEST(Launcher, EachProjectTypeStartsAtMostOneMode) {
    enum class Form {
        kAsWritten,
        // Stored as "appdata" / "projecttype", as no writer of ours stores them: the key is
        // matched ignoring case both ways, not by upper-casing the key alone.
        kLowerCaseNames,
        // Bytes after the trailer: the package is found by the search.
        kTrailerDamaged,
    };
    struct Case {
        int32_t type;
        std::vector<std::string> calls;
        Form form;
    } cases[] = {
        {1, {"run in place"}, Form::kAsWritten},
        {2, {"project install"}, Form::kAsWritten},
        {5, {"screen saver"}, Form::kAsWritten},
        {6, {"plug-in"}, Form::kAsWritten},
        {0, {}, Form::kAsWritten},
        {3, {}, Form::kAsWritten},
        {4, {}, Form::kAsWritten},
        {7, {}, Form::kAsWritten},
        {-1, {}, Form::kAsWritten},
        {2, {"project install"}, Form::kLowerCaseNames},
        {3, {}, Form::kTrailerDamaged},
        {6, {"plug-in"}, Form::kTrailerDamaged},
    };
    for (const Case& c : cases) {
        const char* forms[] = {"as written", "lower-case names", "trailer damaged"};
        const std::string what = "ProjectType " + std::to_string(c.type) + ", " + forms[static_cast<int>(c.form)];
        Bytes image = PackageFixture().Number("ProjectType", c.type).Image(kStub);
        if (c.form == Form::kLowerCaseNames) {
            ASSERT_TRUE(LowerCaseStoredName(image, "APPDATA") && LowerCaseStoredName(image, "PROJECTTYPE"));
        } else if (c.form == Form::kTrailerDamaged) {
            image.insert(image.end(), {0, 1, 2, 3, 4, 5, 6});
        }
        MemoryHost host(image);
        RecordingLauncher launcher(host, messages);
        launcher.Run();
        EXPECT_EQ(launcher.calls, c.calls) << what;
        EXPECT_TRUE(host.messages.empty()) << what;
        EXPECT_EQ(host.opens, 1) << "the value is read through one short-lived reader";
    }
}

TEST(Launcher, MissingOrDamagedProjectType) {
    Bytes corrupt = PackageFixture().Number("ProjectType", 1).Image(kStub);
    Bytes corruptEarlier = corrupt;
    corrupt[corrupt.size() - 5] ^= 0x40;         // last data byte, just before the trailer
    corruptEarlier[corrupt.size() - 6] ^= 0x10;  // the one before
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
        {"only in another section",
         PackageFixture().Number("ProjectType", 1, "CHANNELINFO").Image(kStub),
         {"Can't find project type / Error"}},
        {"corrupted", corrupt, {"Crc error corrupt file / PROJECTTYPE", "Can't find project type / Error"}},
        {"corrupted earlier",
         corruptEarlier,
         {"Crc error corrupt file / PROJECTTYPE", "Can't find project type / Error"}},
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

// Under "/S" only a project install runs silently; any other package runs as without it, and
// one without a project type is reported as damaged.
TEST(Launcher, SilentRunsOnlyAProjectInstallPackage) {
    const CommandLineOptions silent = ParseCommandLine(L"/S");
    ASSERT_TRUE(silent.silent);
    const struct {
        const char* what;
        Bytes image;
        SilentOutcome outcome;
    } cases[] = {
        {"ProjectType 7", PackageFixture().Number("ProjectType", 7).Image(kStub), SilentOutcome::kOtherMode},
        {"ProjectType 1", PackageFixture().Number("ProjectType", 1).Image(kStub), SilentOutcome::kOtherMode},
        {"no ProjectType", PackageFixture().Text("ProjectName", "Demo").Image(kStub), SilentOutcome::kReported},
    };
    for (const auto& c : cases) {
        MemoryHost host(c.image);
        const win::LogFile log;
        SetupExit exit = SetupExit::kInstalled;
        EXPECT_EQ(RunSilentInstall(host, ::GetModuleHandleA(nullptr), nullptr, silent, log, exit), c.outcome) << c.what;
        if (c.outcome == SilentOutcome::kReported) {
            EXPECT_EQ(exit, SetupExit::kDamagedPackage) << c.what;
        }
        EXPECT_TRUE(host.messages.empty()) << c.what << ": nothing shown";
    }
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
