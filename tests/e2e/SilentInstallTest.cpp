// The silent install of deployment tools: "/S", optionally "/D=<folder>" last, on a project
// install package. No dialog, no box, the outcome in the exit code.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "package/PackageReader.h"
#include "testkit/Controls.h"
#include "testkit/InstallPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "tests/e2e/ProjectInstallFixture.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

using testkit::Exists;
using testkit::kTestUninstallKey;

// Runs the program with arguments. Dialogs are noted (the titles of every window of class
// "#32770" it opened, hidden ones included); the options dialog installs into folder (or is
// cancelled when folder is empty), boxes are answered with OK.
testkit::RunResult Start(const std::string& exe, const std::string& arguments, const std::string& folder = "") {
    testkit::DriveOptions options;
    options.commandLine = "\"" + exe + "\"" + arguments;
    options.onOptions = folder.empty() ? testkit::CancelOptions : testkit::InstallInto(folder);
    options.noteDialogs = true;
    return testkit::Drive(exe, options);
}

std::map<std::string, testkit::RegistryValue> UninstallEntry() {
    return testkit::Values(HKEY_LOCAL_MACHINE, kTestUninstallKey);
}

// What an installation left behind: every file with its bytes, the Start-menu links and the
// uninstall entry.
struct Traces {
    std::map<std::string, Bytes> files;
    // A link as the shell reads it: the file's bytes would differ between two installs by the
    // target's file times.
    std::map<std::string, testkit::LinkInfo> links;
    std::map<std::string, testkit::RegistryValue> entry;
    bool operator==(const Traces& o) const { return files == o.files && links == o.links && entry == o.entry; }
};

Traces Collect(const std::string& target, const std::string& startMenuFolder) {
    Traces traces;
    traces.files = testkit::TreeContents(target);
    for (const auto& name : testkit::Tree(startMenuFolder)) {
        EXPECT_TRUE(testkit::ReadLink(startMenuFolder + "\\" + name, traces.links[name])) << name;
    }
    traces.entry = UninstallEntry();
    return traces;
}

class SilentInstall : public e2e::ProjectInstall {
protected:
    SilentInstall() : e2e::ProjectInstall("Silent Target") {}
    void ExpectNoRecord(const std::string& what) {
        EXPECT_FALSE(Exists(target + "\\uninstall.nfo")) << what;
        EXPECT_FALSE(Exists(scratch + "\\Proposed Folder\\uninstall.nfo")) << what;
        EXPECT_TRUE(UninstallEntry().empty()) << what;
    }
};

}  // namespace

TEST_F(SilentInstall, WritesWhatTheInteractiveInstallWritesWithoutAnyDialog) {
    const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    const testkit::RunResult interactive = Start(Pack(image), "", target);
    ASSERT_FALSE(interactive.timedOut);
    ASSERT_EQ(interactive.dialogs.size(), 3u) << "the options dialog, the progress window and the success box";
    const Traces expected = Collect(target, startMenuFolder);
    ASSERT_TRUE(expected.files.count("uninstall.nfo"));
    ASSERT_EQ(expected.links.size(), 2u);
    ASSERT_FALSE(expected.entry.empty());
    RemoveTraces();
    testkit::RemoveTree(target);
    ::RemoveDirectoryA(target.c_str());

    // The folder holds a space: it runs to the end of the line, as deployment tools write it.
    const testkit::RunResult silent = Start(Pack(image), " /S /D=" + target);
    ASSERT_FALSE(silent.timedOut);
    EXPECT_EQ(silent.exitCode, 0u);
    EXPECT_EQ(silent.dialogs, std::vector<std::string>{});
    const Traces actual = Collect(target, startMenuFolder);
    std::vector<std::string> names, expectedNames;
    for (const auto& f : actual.files) names.push_back(f.first);
    for (const auto& f : expected.files) expectedNames.push_back(f.first);
    EXPECT_EQ(names, expectedNames);
    EXPECT_TRUE(actual == expected) << "files, links or uninstall entry differ";
    EXPECT_FALSE(Exists(scratch + "\\Proposed Folder"));
}

TEST_F(SilentInstall, WithoutAFolderInstallsIntoInstallPathAndNeverStartsTheViewerOrAsks) {
    auto options = Options();
    options.runAfterInstall = true;
    options.checkDx8 = true;
    // No DirectX: the interactive install would ask whether to go on.
    testkit::RunResult run;
    {
        testkit::DirectXVersion directX("4.08.01.0810");
        run = Start(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(stub)), " /S");
    }
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.dialogs, std::vector<std::string>{});
    EXPECT_TRUE(Exists(scratch + "\\Proposed Folder\\uninstall.nfo"));
    EXPECT_TRUE(Exists(startMenuFolder + "\\Test Project.lnk"));
    EXPECT_FALSE(UninstallEntry().empty());
    ::Sleep(500);
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << "a silent install starts no viewer";
}

// Each failure exits with the code a deployment tool acts on (package/DeploymentValues.h).
TEST_F(SilentInstall, FailuresExitWithTheirCodeAndWriteNoRecord) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
    const Bytes image = package.fixture.Image(stub);
    // The last project file, damaged in place: the install fails after links and engine.
    Bytes lateDamage = image;
    {
        testkit::MemoryPackageHost host(image);
        PackageReader reader(host);
        const std::string last = package.files.back().first;
        int32_t index = 0;
        while (index < reader.EntryCount() && !EqualsIgnoringCase(reader.EntryAt(index)->name, last.c_str())) ++index;
        ASSERT_LT(index, reader.EntryCount()) << last;
        lateDamage[reader.EntryOffset(index)] ^= 0x40;
    }
    Bytes noHeader = image;
    noHeader.resize(stub.size() + 20);
    ASSERT_TRUE(testkit::WriteFileBytes(scratch + "\\a file", Bytes(10, 1)));

    struct Case {
        const char* what;
        const Bytes& image;
        std::string arguments;
        DWORD exitCode;
    } cases[] = {
        {"damaged project file", lateDamage, " /S /D=" + target, 6},
        {"no package", noHeader, " /S /D=" + target, 6},
        {"folder below a file", image, " /S /D=" + scratch + "\\a file\\sub", 5},
        {"relative folder", image, " /S /D=Relative Folder", 5},
        {"the root of a drive", image, " /S /D=C:\\", 5},
        {"folder longer than 399 characters", image, " /S /D=C:\\" + std::string(400, 'x'), 5},
        {"log without a file", image, " /S /LOG= /D=" + target, 7},
        {"log in a missing folder", image, " /S /LOG=" + scratch + "\\no folder\\setup.log /D=" + target, 7},
    };
    for (const Case& c : cases) {
        const testkit::RunResult run = Start(Pack(c.image), c.arguments);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(run.dialogs, std::vector<std::string>{}) << c.what;
        ExpectNoRecord(c.what);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

TEST_F(SilentInstall, OtherCommandLinesAndOtherModesRunAsBefore) {
    const Bytes install = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    // Which command lines are silent, and which packages a silent run installs, the in-process
    // tables tell (CommandLine, Launcher); here one of them runs the whole road.
    struct Case {
        const char* what;
        Bytes image;
        std::string arguments;
        DWORD exitCode;
        size_t dialogs;  // the options dialog, cancelled by the driver
    } cases[] = {
        {"/S after /D= is part of the folder", install, " /D=" + target + " /S", 0, 1},
        // Asked for a log, an interactive run reports its outcome too: here, a refusal.
        {"/LOG= without a file", install, " /LOG=", 7, 1},
        {"/LOG= and a cancelled dialog", install, " /LOG=" + scratch + "\\cancelled.log", 2, 1},
    };
    for (const Case& c : cases) {
        const testkit::RunResult run = Start(Pack(c.image), c.arguments);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(run.dialogs.size(), c.dialogs) << c.what;
        ExpectNoRecord(c.what);
    }
}

// Folders as deployment tools pass them: "Zoë" is in code page 1252, "Łódź" is not. A folder
// outside the code page that exists is installed into under its short name; one that does not
// exist yet has no exact narrow name, so the install fails before it writes anything.
TEST_F(SilentInstall, FoldersNamedInAndOutsideTheAnsiCodePage) {
    const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture.Image(stub);
    const struct {
        const char* what;
        std::string folder;
        bool exists;
        DWORD exitCode;
    } cases[] = {
        {"in the code page", u8"C:\\Program Files\\Zoë", false, 0},
        {"outside, existing", u8"C:\\Program Files\\Łódź", true, 0},
        {"outside, not existing", u8"C:\\Program Files\\Łódź Nowa", false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::RemoveTreeWide(c.folder);
        if (c.exists) {
            ASSERT_TRUE(testkit::MakeFoldersWide(c.folder));
        }
        const testkit::RunResult run = Start(Pack(image), " /S /D=" + c.folder);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.dialogs, std::vector<std::string>{});
        if (c.exitCode == 0) {
            EXPECT_TRUE(testkit::ExistsWide(c.folder + "\\OrvanViewer.exe"));
            EXPECT_TRUE(testkit::ExistsWide(c.folder + "\\uninstall.nfo"));
            EXPECT_FALSE(UninstallEntry().empty());
        } else {
            EXPECT_FALSE(testkit::ExistsWide(c.folder)) << "nothing written";
            ExpectNoRecord(c.what);
        }
        RemoveTraces();
        testkit::RemoveTreeWide(c.folder);
    }
}
