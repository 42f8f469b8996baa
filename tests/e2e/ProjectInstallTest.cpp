#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "testkit/Controls.h"
#include "testkit/InstallPackage.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordBytes.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "tests/e2e/ProjectInstallFixture.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::Exists;
using testkit::kInstallSuccessText;
using testkit::kTestUninstallKey;
using testkit::RegNumber;
using testkit::RegText;
using testkit::Tree;

namespace {

// The options dialog goes to onOptions, the progress bar is sampled on each step while it
// exists, message boxes are answered by answer.
testkit::RunResult Drive(const std::string& exe, const std::function<void(HWND)>& onOptions,
                         const testkit::BoxHandler& answer = testkit::PressOk) {
    testkit::DriveOptions options;
    options.onOptions = onOptions;
    options.answer = answer;
    options.followProgress = true;
    return testkit::Drive(exe, options);
}

std::map<std::string, testkit::RegistryValue> UninstallEntry() {
    return testkit::Values(HKEY_LOCAL_MACHINE, kTestUninstallKey);
}

class ProjectInstall : public e2e::ProjectInstall {
protected:
    ProjectInstall() : e2e::ProjectInstall("Install Target") {}
    // Nothing of an installation anywhere: folder, links, uninstall entry.
    void ExpectNothingInstalled(const char* what) {
        EXPECT_FALSE(Exists(target)) << what;
        EXPECT_FALSE(Exists(scratch + "\\Proposed Folder")) << what;
        EXPECT_FALSE(Exists(startMenuFolder)) << what;
        EXPECT_TRUE(UninstallEntry().empty()) << what;
        EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << what;
    }
};

}  // namespace

TEST_F(ProjectInstall, InstallsIntoTheChosenFolderWithLinksRecordAndUninstallEntry) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
    const auto run = Drive(Pack(package.fixture), testkit::InstallInto(target));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_TRUE(run.dialogSeen);
    EXPECT_EQ(run.dialogTitle, "Test Project Installation Options");
    EXPECT_EQ(run.dialogFolder, scratch + "\\Proposed Folder");

    // The steps of the bar, in order. Sampling from outside sees each step that comes after
    // the first query; the first steps can pass before the window is found.
    const std::vector<int> steps = {0, 25, 125, 150, 300, 375, 474};
    ASSERT_FALSE(run.progress.empty()) << "the progress window was never seen";
    auto next = steps.begin();
    for (int seen : run.progress) {
        next = std::find(next, steps.end(), seen);
        ASSERT_NE(next, steps.end()) << "position " << seen << " out of order or not a step: "
                                     << ::testing::PrintToString(run.progress);
    }
    EXPECT_EQ(run.progress.back(), 474) << ::testing::PrintToString(run.progress);
    for (int step : {125, 150, 474}) {
        EXPECT_NE(std::find(run.progress.begin(), run.progress.end(), step), run.progress.end())
            << step << " not seen in " << ::testing::PrintToString(run.progress);
    }
    std::printf("progress sampled: %s\n", ::testing::PrintToString(run.progress).c_str());

    ASSERT_EQ(Boxes(run), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Test Project"}));
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << "the viewer is not started";
    EXPECT_FALSE(Exists(scratch + "\\Proposed Folder"));

    // Every package file, byte-exact, and nothing else but the record.
    ExpectPackageFiles(package, {"uninstall.nfo"});

    const std::string projectLink = startMenuFolder + "\\Test Project.lnk";
    const std::string uninstallLink = startMenuFolder + "\\Test Project Uninstall.lnk";
    struct LinkCase {
        std::string path;
        testkit::LinkInfo expected;
    } links[] = {
        {projectLink, {target + "\\OrvanViewer.exe", "ZRXStart.zrx", target, "Orvan3D Project Link"}},
        {uninstallLink, {target + "\\ZRXUnInst.exe", "", target, "Orvan3D Uninstall Link"}},
    };
    for (const LinkCase& c : links) {
        testkit::LinkInfo info;
        ASSERT_TRUE(testkit::ReadLink(c.path, info)) << c.path;
        EXPECT_EQ(info.target, c.expected.target) << c.path;
        EXPECT_EQ(info.arguments, c.expected.arguments) << c.path;
        EXPECT_EQ(info.workingFolder, c.expected.workingFolder) << c.path;
        EXPECT_EQ(info.description, c.expected.description) << c.path;
    }
    EXPECT_EQ(Tree(startMenuFolder), (std::vector<std::string>{"Test Project Uninstall.lnk", "Test Project.lnk"}));

    // The record: files in creation order (viewer, engine list, links, uninstaller, channel
    // items, project files), folders last created first, then the project name.
    std::vector<std::string> files;
    for (const auto& file : package.files) {
        if (file.first == "ZRXUnInst.exe") {
            files.push_back(projectLink);
            files.push_back(uninstallLink);
        }
        files.push_back(target + "\\" + file.first);
    }
    const std::vector<std::string> folders = {
        target + "\\",           target + "\\channels\\",    target + "\\3rd\\",
        startMenuFolder + "\\",  target + "\\\\plugins\\",   target + "\\\\media\\",
        target + "\\\\media\\textures\\",
    };
    Bytes recordBytes;
    ASSERT_TRUE(testkit::ReadFileBytes(target + "\\uninstall.nfo", recordBytes));
    std::vector<chunk::Chunk> record;
    ASSERT_TRUE(chunk::ReadChunks(recordBytes, record));
    testkit::ChunkList expected;
    expected.emplace_back("UNFC", testkit::CountField(static_cast<uint32_t>(files.size())));
    for (const auto& path : files) expected.emplace_back("UNFN", testkit::RecordField(path));
    expected.emplace_back("UNDC", testkit::CountField(static_cast<uint32_t>(folders.size())));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) expected.emplace_back("UNDN", testkit::RecordField(*it));
    std::vector<std::pair<std::string, Bytes>> actual;
    for (const auto& c : record) actual.emplace_back(c.tag, c.data);
    ASSERT_EQ(actual.size(), expected.size() + 1);
    const std::vector<std::pair<std::string, Bytes>> listed(actual.begin(), actual.end() - 1);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(actual.back().first, "UNPN");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(actual.back().second.data())), "Test Project");

    uint64_t bytes = recordBytes.size();
    for (const auto& path : files) {
        Bytes content;
        testkit::ReadFileBytes(path, content);
        bytes += content.size();
    }
    const std::map<std::string, testkit::RegistryValue> entry = {
        {"DisplayName", RegText("Test Project")},
        {"UninstallString", RegText("\"" + target + "\\ZRXUnInst.exe\"")},
        {"QuietUninstallString", RegText("\"" + target + "\\ZRXUnInst.exe\" /S")},
        {"InstallLocation", RegText(target)},
        {"DisplayIcon", RegText(target + "\\OrvanViewer.exe")},
        {"EstimatedSize", RegNumber(static_cast<DWORD>((bytes + 1023) / 1024))},
        {"NoModify", RegNumber(1)},
        {"NoRepair", RegNumber(1)},
    };
    EXPECT_EQ(UninstallEntry(), entry);
    win::RegKey viewerKey;
    EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\Test Project", 0,
                              KEY_READ, viewerKey.put()),
              ERROR_SUCCESS)
        << "the project mode writes no viewer entry";
}

TEST_F(ProjectInstall, CancelInstallsNothingAndWritesNothing) {
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture), testkit::CancelOptions);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
    ExpectNothingInstalled("cancelled");
}

TEST_F(ProjectInstall, TheRootOfADriveIsRefusedAndTheDialogShownAgain) {
    int shown = 0;
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture), [&](HWND dialog) {
        if (shown++ == 0) {
            testkit::InstallInto("C:\\")(dialog);
        } else {
            testkit::CancelOptions(dialog);
        }
    });
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(Boxes(run), std::vector<std::string>{"Please choose a folder, not the root of a drive. / Test Project"});
    EXPECT_TRUE(run.progress.empty());
    ExpectNothingInstalled("the root, then cancelled");
    EXPECT_FALSE(Exists("C:\\uninstall.nfo"));
}

TEST_F(ProjectInstall, TheProgramFileCannotBeSwappedWhileTheUserDecides) {
    // The moment a swap would pay: the user has started a program (maybe elevated) and looks
    // at the dialog; everything still to be installed is read from the file after the click.
    const std::string exe = Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), Options()).fixture);
    testkit::Tampering whileOpen{true, true};
    const auto run = Drive(exe, [&](HWND dialog) {
        whileOpen = testkit::TryToTamper(exe);
        testkit::CancelOptions(dialog);
    });
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_FALSE(whileOpen.renamed);
    EXPECT_FALSE(whileOpen.openedForWriting);
    const testkit::Tampering afterwards = testkit::TryToTamper(exe);
    EXPECT_TRUE(afterwards.renamed && afterwards.openedForWriting) << "the program let go of its file when it ended";
}

TEST_F(ProjectInstall, RunAfterInstallStartsTheViewerInsteadOfTheMessage) {
    testkit::DirectXVersion directX("4.09.00.0904");
    auto options = Options();
    options.runAfterInstall = true;
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::InstallInto(target));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));

    // The viewer runs on after the program has ended; its report shows where and how.
    const std::string notePath = scratch + "\\viewer-note.txt";
    Bytes note;
    for (int i = 0; i < 600 && !Exists(notePath); ++i) ::Sleep(50);
    ::Sleep(200);
    ASSERT_TRUE(testkit::ReadFileBytes(notePath, note)) << "the viewer was not started";
    const std::string report(note.begin(), note.end());
    EXPECT_NE(report.find("folder=" + target + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("module=" + target + "\\OrvanViewer.exe\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("command=OrvanViewer.exe ZRXStart.zrx\r\n"), std::string::npos) << report;
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
    EXPECT_FALSE(UninstallEntry().empty());
    // The viewer holds its folder until it has ended.
    for (int i = 0; i < 200 && Exists(target); ++i) {
        testkit::RemoveTree(target);
        ::RemoveDirectoryA(target.c_str());
        if (Exists(target)) ::Sleep(50);
    }
}

TEST_F(ProjectInstall, WithoutDirectXTheRunAfterInstallFlagAloneShowsTheMessage) {
    testkit::DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.runAfterInstall = true;
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::InstallInto(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Test Project"}));
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt"));
}

TEST_F(ProjectInstall, TheDirectXQuestionAnsweredNoInstallsNothing) {
    testkit::DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.checkDx8 = true;
    // No ends the run at once; Yes leads to the options dialog, cancelled.
    for (const int answer : {IDNO, IDYES}) {
        const struct {
            const char* what;
            int answer;
            bool dialogSeen;
        } c = {answer == IDNO ? "No" : "Yes, then Cancel", answer, answer == IDYES};
        const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::CancelOptions,
                               [&](const testkit::MessageBoxInfo&) { return c.answer; });
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        ASSERT_EQ(run.boxes.size(), 1u) << c.what;
        EXPECT_EQ(run.boxes[0].text,
                  "DirectX 9.0C or higher was not detected on this system\r\nPlease install DirectX 9.0C or higher "
                  "before running the program that is installed.\r\nContinue installation?")
            << c.what;
        EXPECT_EQ(run.boxes[0].caption, "DirectX version check") << c.what;
        EXPECT_TRUE(run.boxes[0].hasIcon) << c.what;
        std::vector<int> buttons;
        for (const auto& button : run.boxes[0].buttons) buttons.push_back(button.id);
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO})) << c.what;
        EXPECT_EQ(run.dialogSeen, c.dialogSeen) << c.what;
        ExpectNothingInstalled(c.what);
    }
}

TEST_F(ProjectInstall, NamesThatWouldLeaveTheirFolderAreRefusedBeforeAnythingIsWritten) {
    // A name climbing out of the Programs folder, or a project name that makes paths and keys.
    const std::string escape = "\\..\\..\\Orvan3D Escape";
    struct Case {
        const char* what;
        std::string projectName;
        std::string shortCutName;
        std::string named;  // the value the box names
    } cases[] = {
        {"ProjectName with .. steps", "..\\..\\x", "\\Orvan3D Test\\Test Project", "..\\..\\x"},
        {"ProjectName with a drive", "C:\\x", "\\Orvan3D Test\\Test Project", "C:\\x"},
        {"ShortCutName with .. steps", "Test Project", escape, escape},
    };
    for (const Case& c : cases) {
        auto options = Options();
        options.projectName = c.projectName;
        options.shortCutName = c.shortCutName;
        const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::InstallInto(target));
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{
                                  c.named + "\n\nThis item would be written outside the installation folder. / Installation Error"}))
            << c.what;
        EXPECT_FALSE(run.dialogSeen) << c.what;
        ExpectNothingInstalled(c.what);
        EXPECT_FALSE(Exists(programs + escape + ".lnk")) << c.what;
        // What an installation that went ahead would have left.
        ::DeleteFileA((programs + escape + ".lnk").c_str());
        ::DeleteFileA((programs + escape + " Uninstall.lnk").c_str());
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D..");
        testkit::RemoveTree(target);
    }
}

// In this mode the name makes no path: a colon in it is a caption and a key's last part.
TEST_F(ProjectInstall, ANameWithAColonInstallsAsItIs) {
    constexpr char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo: Part 2";
    auto options = Options();
    options.projectName = "Demo: Part 2";
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::InstallInto(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Demo: Part 2"}));
    EXPECT_EQ(testkit::QueryText(HKEY_LOCAL_MACHINE, kKey, "DisplayName"), "Demo: Part 2");
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

TEST_F(ProjectInstall, ALinkPathThatDoesNotFitIsNeitherMadeNorRecorded) {
    auto options = Options();
    // The folder fits; the link's path, Programs folder included, does not fit 260 characters.
    options.shortCutName = "\\Orvan3D Test\\" + std::string(260 - programs.size() - 14, 'L');
    const auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), testkit::InstallInto(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Test Project"}));
    EXPECT_EQ(Tree(startMenuFolder), std::vector<std::string>{}) << "no link, whole or cut";

    Bytes recordBytes;
    ASSERT_TRUE(testkit::ReadFileBytes(target + "\\uninstall.nfo", recordBytes));
    std::vector<chunk::Chunk> record;
    ASSERT_TRUE(chunk::ReadChunks(recordBytes, record));
    int files = 0;
    for (const auto& c : record) {
        if (c.tag != "UNFN") continue;
        ++files;
        const std::string path(reinterpret_cast<const char*>(c.data.data()), strnlen(reinterpret_cast<const char*>(c.data.data()), c.data.size()));
        EXPECT_EQ(path.rfind(programs, 0), std::string::npos) << "recorded: " << path;
    }
    EXPECT_GT(files, 0);
}
