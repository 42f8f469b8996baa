#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "testkit/Controls.h"
#include "testkit/InstallPackage.h"
#include "testkit/RecordBytes.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "tests/e2e/ComponentInstallFixture.h"

using testkit::Bytes;
using testkit::Exists;

namespace {

constexpr char kProjectName[] = "Orvan3D Saver Test";
constexpr char kSuccess[] = "Installation successfully completed! / Orvan3D Saver Test";

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    ::GetSystemDirectoryA(path, sizeof(path));
    return path;
}

class ScreensaverInstall : public e2e::ComponentInstall {
protected:
    ScreensaverInstall() : ComponentInstall(5, kProjectName, "Saver Target") {}
    void SetUp() override {
        systemCopy = SystemFolder() + "\\" + kProjectName + ".scr";
        ComponentInstall::SetUp();
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\ZRXSvr.scr", saver));
    }
    void RemoveTraces() override {
        ::DeleteFileA(systemCopy.c_str());
        ::RemoveDirectoryA(systemCopy.c_str());
        ComponentInstall::RemoveTraces();
    }
    // The files the record lists, in the order this mode creates them.
    std::vector<std::string> RecordedFiles() const {
        std::vector<std::string> files;
        for (const auto& file : package.files) {
            files.push_back(target + "\\" + file.first);
            if (file.first == "ZRXSvr.scr") files.push_back(systemCopy);
        }
        files.push_back(target + "\\screensaver.cfg");
        return files;
    }

    std::string systemCopy;
    Bytes saver;
};

}  // namespace

TEST_F(ScreensaverInstall, InstallsTheSaverIntoTheSystemFolderWithConfigurationRecordAndEntries) {
    auto options = Options();
    options.doQuitCgr = 1;
    options.doSmallPreview = 0;
    const auto run = Install(options);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_EQ(run.dialogTitle, std::string(kProjectName) + " Installation Options");
    EXPECT_EQ(run.dialogFolder, scratch + "\\Proposed Folder");
    ASSERT_EQ(testkit::Boxes(run), std::vector<std::string>{kSuccess});
    EXPECT_TRUE(run.boxes[0].hasIcon);

    Bytes copy;
    ASSERT_TRUE(testkit::ReadFileBytes(systemCopy, copy));
    EXPECT_TRUE(copy == saver) << "the system folder's copy differs from the packed screen saver";

    ExpectPackageFiles(package, {"screensaver.cfg", "uninstall.nfo"});

    const auto config = ConfigChunks("screensaver.cfg");
    ASSERT_EQ(config.size(), 4u);
    EXPECT_EQ(config[2], std::make_pair(std::string("SCQC"), Bytes{1}));
    EXPECT_EQ(config[3], std::make_pair(std::string("SCSP"), Bytes{0}));

    const auto files = RecordedFiles();
    std::vector<std::pair<std::string, Bytes>> expected;
    expected.emplace_back("UNFC", testkit::CountField(static_cast<uint32_t>(files.size())));
    for (const auto& path : files) expected.emplace_back("UNFN", testkit::RecordField(path));
    const std::vector<std::string> folders = {target + "\\", target + "\\channels\\", target + "\\3rd\\",
                                              target + "\\\\media\\"};
    expected.emplace_back("UNDC", testkit::CountField(static_cast<uint32_t>(folders.size())));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) expected.emplace_back("UNDN", testkit::RecordField(*it));
    auto record = testkit::FileChunks(target + "\\uninstall.nfo");
    ASSERT_EQ(record.size(), expected.size() + 2);
    const std::vector<std::pair<std::string, Bytes>> listed(record.begin(), record.end() - 2);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(record[record.size() - 2].first, "UNPN");
    EXPECT_STREQ(reinterpret_cast<const char*>(record[record.size() - 2].second.data()), kProjectName);
    EXPECT_EQ(record.back(), std::make_pair(std::string("UNSK"), Bytes{}));

    EXPECT_EQ(ViewerEntry(),
              (std::vector<std::pair<std::string, std::string>>{{"ComponentFile", systemCopy}, {"DisplayName", target}}));
    bool uninstallNamed = false;
    bool uninstallCommand = false;
    std::string icon;
    for (const auto& value : UninstallEntry()) {
        if (value.first == "DisplayName") uninstallNamed = value.second == kProjectName;
        if (value.first == "DisplayIcon") icon = value.second;
        if (value.first == "UninstallString") {
            uninstallCommand = value.second.find(target + "\\ZRXUnInst.exe") != std::string::npos;
        }
    }
    EXPECT_TRUE(uninstallNamed);
    EXPECT_TRUE(uninstallCommand);
    EXPECT_EQ(icon, systemCopy) << "the icon is a file this install made";

    // The installed saver finds its project through the viewer entry, shows the start file's
    // title full screen, and ends on a key press.
    testkit::ChildProcess running;
    ASSERT_TRUE(running.Start(systemCopy, "\"" + systemCopy + "\" /s"));
    HWND window = testkit::WaitForWindow(running.Id(), "Orvan3D Screen Saver", 10000);
    ASSERT_NE(window, nullptr) << "no full-screen window";
    EXPECT_EQ(testkit::WindowText(window), std::string(kProjectName) + " on screen - Orvan3D Screen Saver");
    EXPECT_FALSE(running.Wait(1000)) << "ended by itself";
    testkit::PostKey(window, VK_SPACE);
    ASSERT_TRUE(running.Wait(10000)) << "a key press did not end it";
    EXPECT_EQ(running.ExitCode(), 0u);

    const auto settings = testkit::RunAndDrive(systemCopy, "\"" + systemCopy + "\" /c", 20000);
    ASSERT_EQ(settings.boxes.size(), 1u);
    EXPECT_NE(settings.boxes[0].text.find("has no options"), std::string::npos) << settings.boxes[0].text;
    EXPECT_EQ(settings.exitCode, 0u);
}

TEST_F(ScreensaverInstall, AFailedCopyOfTheSaverOrTheUninstallerFailsTheInstall) {
    // A folder in a copy's place: no file can be written over it, whoever runs the test.
    ASSERT_TRUE(::CreateDirectoryA(systemCopy.c_str(), nullptr));
    ASSERT_FALSE(::CopyFileA((testkit::OwnFolder() + "\\ZRXSvr.scr").c_str(), systemCopy.c_str(), FALSE));
    const std::string error = std::to_string(::GetLastError());
    ::RemoveDirectoryA(systemCopy.c_str());
    struct Case {
        const char* what;
        std::string blocked;
        std::vector<std::string> boxes;
    } cases[] = {
        {"the system copy", systemCopy,
         {error + " / " + systemCopy, "Unable to copy screensaver to system directory / " + systemCopy}},
        {"the uninstaller", target + "\\ZRXUnInst.exe", {testkit::kCopyErrorBox}},
    };
    for (const Case& c : cases) {
        ::CreateDirectoryA(target.c_str(), nullptr);
        ASSERT_TRUE(::CreateDirectoryA(c.blocked.c_str(), nullptr)) << c.what;
        const auto run = Install(Options());
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(testkit::Boxes(run), c.boxes) << c.what;
        ExpectNoRecordNorEntries(c.what);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

// The configuration's chunks before the missing key were written; the failed installation then
// takes back everything, the copy in the system folder and the folder included.
TEST_F(ScreensaverInstall, AMissingOptionEndsTheInstallationAndTakesItBack) {
    struct Case {
        const char* key;
        bool withDoQuitCgr;
    } cases[] = {{"DoQuitCgr", false}, {"DoSmallPreview", true}};
    for (const Case& c : cases) {
        auto options = Options();
        options.withDoQuitCgr = c.withDoQuitCgr;
        options.withDoSmallPreview = false;
        const auto run = Install(options);
        ASSERT_FALSE(run.timedOut) << c.key;
        EXPECT_EQ(testkit::Boxes(run), (std::vector<std::string>{std::string("Can't find project type ") + c.key + " / Error"}))
            << c.key;
        EXPECT_FALSE(Exists(target)) << c.key;
        EXPECT_FALSE(Exists(systemCopy)) << c.key;
        ExpectNoRecordNorEntries(c.key);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

TEST_F(ScreensaverInstall, WithoutDirectXAWarningWithOnlyOkThenANormalInstallation) {
    testkit::DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.checkDx8 = true;
    ExpectDirectXWarning(Install(options), "screen saver", kSuccess);
    EXPECT_TRUE(Exists(systemCopy));
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
}

TEST_F(ScreensaverInstall, CancelledOptionsInstallNothing) {
    testkit::DriveOptions drive;
    drive.onOptions = testkit::CancelOptions;
    const auto run = Install(Options(), drive);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(testkit::Boxes(run));
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(Exists(systemCopy));
    ExpectNoRecordNorEntries("cancelled");
}

TEST_F(ScreensaverInstall, EngineFailuresShowTheirBoxesAndLeaveNoRecord) {
    const std::string placeholder = "channels\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll";
    struct Case {
        const char* what;
        std::string entry;
        std::string substitute;  // empty: the entry is left out
        std::vector<std::string> boxes;
    } cases[] = {
        {"an engine file missing", "channels\\FolderScan.dll", "",
         {"channels\\FolderScan.dll / Could not find resource", testkit::kCopyErrorBox}},
        {"the engine not loaded", "EngineCore.dll", placeholder, {}},
        {"no file loader", "channels\\ChunkLoader.dll", placeholder, {"Can't init fileloader / P"}},
        // No record could be written: no entry may announce the install.
        {"no file saver", "channels\\ChunkSaver.dll", placeholder, {testkit::kCopyErrorBox}},
    };
    for (const Case& c : cases) {
        auto options = Options();
        if (c.substitute.empty()) {
            options.leftOut.push_back(c.entry);
        } else {
            options.substitutes[c.entry] = c.substitute;
        }
        const auto run = Install(options);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(testkit::Boxes(run), c.boxes) << c.what;
        // A failed installation takes back what it wrote, the system folder's copy included.
        EXPECT_FALSE(Exists(systemCopy)) << c.what;
        EXPECT_FALSE(Exists(target)) << c.what;
        EXPECT_TRUE(ViewerEntry().empty()) << c.what;
        EXPECT_TRUE(UninstallEntry().empty()) << c.what;
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}
