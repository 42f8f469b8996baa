#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ChunkFile.h"
#include "ComponentInstallDriver.h"
#include "Controls.h"
#include "InstallPackage.h"
#include "LittleEndian.h"
#include "UiDriver.h"

using e2e::Boxes;
using e2e::Exists;
using testkit::Bytes;

namespace {

constexpr char kProjectName[] = "Orvan3D Saver Test";
constexpr char kSuccess[] = "Installation successfully completed! / Orvan3D Saver Test";
constexpr char kViewerKey[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\Orvan3D Saver Test";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DOrvan3D Saver Test";

std::vector<std::pair<std::string, Bytes>> Chunks(const std::string& path) {
    Bytes bytes;
    std::vector<chunk::Chunk> chunks;
    EXPECT_TRUE(testkit::ReadFileBytes(path, bytes)) << path;
    EXPECT_TRUE(chunk::ReadChunks(bytes, chunks)) << path;
    std::vector<std::pair<std::string, Bytes>> out;
    for (const auto& c : chunks) out.emplace_back(c.tag, c.data);
    return out;
}

Bytes Field(const std::string& text) {
    Bytes field(259, 0);
    std::copy(text.begin(), text.begin() + std::min<size_t>(text.size(), 259), field.begin());
    return field;
}

Bytes Count(uint32_t n) {
    Bytes bytes(4);
    StoreU32(bytes.data(), n);
    return bytes;
}

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    ::GetSystemDirectoryA(path, sizeof(path));
    return path;
}

class ScreensaverInstall : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        target = scratch + "\\Saver Target";
        systemCopy = SystemFolder() + "\\" + kProjectName + ".scr";
        RemoveTraces();
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\ZRXSvr.scr", saver));
    }
    void TearDown() override {
        RemoveTraces();
        testkit::RemoveTree(scratch);
    }
    void RemoveTraces() {
        ::DeleteFileA(systemCopy.c_str());
        ::RemoveDirectoryA(systemCopy.c_str());
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kViewerKey);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        e2e::RemoveEmptyViewerKeys();
    }
    testkit::ComponentInstallOptions Options() const {
        testkit::ComponentInstallOptions options;
        options.projectType = 5;
        options.projectName = kProjectName;
        options.installPath = scratch + "\\Proposed Folder";
        return options;
    }
    std::string Pack(const testkit::ComponentInstallOptions& options) {
        package = testkit::MakeComponentInstallPackage(testkit::OwnFolder(), options);
        const std::string path = scratch + "\\Setup.exe";
        EXPECT_TRUE(testkit::WriteFileBytes(path, package.fixture.Image(stub)));
        return path;
    }
    e2e::InstallRun Install(const testkit::ComponentInstallOptions& options) {
        e2e::Handlers handlers;
        handlers.onOptions = e2e::InstallInto(target);
        return e2e::Drive(Pack(options), handlers);
    }
    void ExpectNoRecordNorEntries(const std::string& what) {
        EXPECT_FALSE(Exists(target + "\\uninstall.nfo")) << what;
        EXPECT_TRUE(e2e::TextValues(kViewerKey).empty()) << what;
        EXPECT_TRUE(e2e::TextValues(kUninstallKey).empty()) << what;
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

    std::string scratch;
    std::string target;
    std::string systemCopy;
    Bytes stub;
    Bytes saver;
    testkit::InstallPackage package;
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
    ASSERT_EQ(Boxes(run), std::vector<std::string>{kSuccess});
    EXPECT_TRUE(run.boxes[0].hasIcon);

    Bytes copy;
    ASSERT_TRUE(testkit::ReadFileBytes(systemCopy, copy));
    EXPECT_TRUE(copy == saver) << "the system folder's copy differs from the packed screen saver";

    std::vector<std::string> expectedTree = {"screensaver.cfg", "uninstall.nfo"};
    for (const auto& file : package.files) {
        Bytes onDisk;
        EXPECT_TRUE(testkit::ReadFileBytes(target + "\\" + file.first, onDisk)) << file.first;
        EXPECT_TRUE(onDisk == file.second) << file.first << " differs";
        expectedTree.push_back(file.first[0] == '\\' ? file.first.substr(1) : file.first);
    }
    std::sort(expectedTree.begin(), expectedTree.end());
    EXPECT_EQ(e2e::Tree(target), expectedTree);

    const auto config = Chunks(target + "\\screensaver.cfg");
    ASSERT_EQ(config.size(), 4u);
    EXPECT_EQ(config[0].first, "SCFP");
    ASSERT_EQ(config[0].second.size(), 259u);
    EXPECT_STREQ(reinterpret_cast<const char*>(config[0].second.data()), (target + "\\ZRXStart.zrx").c_str());
    EXPECT_EQ(config[1], std::make_pair(std::string("SCTI"), Count(20)));
    EXPECT_EQ(config[2], std::make_pair(std::string("SCQC"), Bytes{1}));
    EXPECT_EQ(config[3], std::make_pair(std::string("SCSP"), Bytes{0}));

    const auto files = RecordedFiles();
    std::vector<std::pair<std::string, Bytes>> expected;
    expected.emplace_back("UNFC", Count(static_cast<uint32_t>(files.size())));
    for (const auto& path : files) expected.emplace_back("UNFN", Field(path));
    const std::vector<std::string> folders = {target + "\\", target + "\\channels\\", target + "\\3rd\\",
                                              target + "\\\\media\\"};
    expected.emplace_back("UNDC", Count(static_cast<uint32_t>(folders.size())));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) expected.emplace_back("UNDN", Field(*it));
    auto record = Chunks(target + "\\uninstall.nfo");
    ASSERT_EQ(record.size(), expected.size() + 2);
    const std::vector<std::pair<std::string, Bytes>> listed(record.begin(), record.end() - 2);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(record[record.size() - 2].first, "UNPN");
    EXPECT_STREQ(reinterpret_cast<const char*>(record[record.size() - 2].second.data()), kProjectName);
    EXPECT_EQ(record.back(), std::make_pair(std::string("UNSK"), Bytes{}));

    EXPECT_EQ(e2e::TextValues(kViewerKey), (std::vector<std::pair<std::string, std::string>>{{"DisplayName", target}}));
    bool uninstallNamed = false;
    bool uninstallCommand = false;
    std::string icon;
    for (const auto& value : e2e::TextValues(kUninstallKey)) {
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
        {"the uninstaller", target + "\\ZRXUnInst.exe", {e2e::kCopyError}},
    };
    for (const Case& c : cases) {
        ::CreateDirectoryA(target.c_str(), nullptr);
        ASSERT_TRUE(::CreateDirectoryA(c.blocked.c_str(), nullptr)) << c.what;
        const auto run = Install(Options());
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(Boxes(run), c.boxes) << c.what;
        ExpectNoRecordNorEntries(c.what);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

TEST_F(ScreensaverInstall, EachMissingKeyIsNamedAndNothingIsInstalled) {
    struct Case {
        const char* key;
        std::function<void(testkit::ComponentInstallOptions&)> remove;
    } cases[] = {
        {"CheckDx8", [](testkit::ComponentInstallOptions& o) { o.withCheckDx8 = false; }},
        {"RunAfterInstall", [](testkit::ComponentInstallOptions& o) { o.withRunAfterInstall = false; }},
        {"InstallPath", [](testkit::ComponentInstallOptions& o) { o.withInstallPath = false; }},
        {"ProjectName", [](testkit::ComponentInstallOptions& o) { o.withProjectName = false; }},
    };
    for (const Case& c : cases) {
        auto options = Options();
        c.remove(options);
        const auto run = Install(options);
        EXPECT_EQ(run.exitCode, 0u) << c.key;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string("Can't find project type ") + c.key + " / Error"}))
            << c.key;
        EXPECT_FALSE(run.dialogSeen) << c.key;
        EXPECT_FALSE(Exists(target)) << c.key;
        EXPECT_FALSE(Exists(systemCopy)) << c.key;
        ExpectNoRecordNorEntries(c.key);
    }
}

TEST_F(ScreensaverInstall, AMissingOptionEndsTheInstallationAfterTheChunksBeforeIt) {
    struct Case {
        const char* key;
        bool withDoQuitCgr;
        std::vector<std::string> tags;
    } cases[] = {
        {"DoQuitCgr", false, {"SCFP", "SCTI"}},
        {"DoSmallPreview", true, {"SCFP", "SCTI", "SCQC"}},
    };
    for (const Case& c : cases) {
        auto options = Options();
        options.withDoQuitCgr = c.withDoQuitCgr;
        options.withDoSmallPreview = false;
        const auto run = Install(options);
        ASSERT_FALSE(run.timedOut) << c.key;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string("Can't find project type ") + c.key + " / Error"}))
            << c.key;
        std::vector<std::string> tags;
        for (const auto& chunk : Chunks(target + "\\screensaver.cfg")) tags.push_back(chunk.first);
        EXPECT_EQ(tags, c.tags) << c.key;
        EXPECT_TRUE(Exists(systemCopy)) << c.key;
        ExpectNoRecordNorEntries(c.key);
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}

TEST_F(ScreensaverInstall, WithoutDirectXAWarningWithOnlyOkThenANormalInstallation) {
    e2e::DirectXVersion directX("4.08.01.0810");
    auto options = Options();
    options.checkDx8 = true;
    const auto run = Install(options);
    ASSERT_EQ(Boxes(run),
              (std::vector<std::string>{"DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or "
                                        "higher needs to be installed before the screen saver will work. / " +
                                            std::string(kProjectName),
                                        kSuccess}));
    ASSERT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_EQ(run.boxes[0].buttons[0].id, IDOK);
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_TRUE(Exists(systemCopy));
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
}

TEST_F(ScreensaverInstall, CancelledOptionsInstallNothing) {
    e2e::Handlers handlers;
    handlers.onOptions = e2e::Cancel;
    const auto run = e2e::Drive(Pack(Options()), handlers);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
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
        bool systemCopy;
        bool registered;
    } cases[] = {
        {"an engine file missing", "channels\\FolderScan.dll", "",
         {"channels\\FolderScan.dll / Could not find resource",
          "There was an error while trying to copy one of the installation files.\nPlease make sure no applications "
          "are running that might be locking some files. / Installation Error"},
         false, false},
        {"the engine not loaded", "EngineCore.dll", placeholder, {}, false, false},
        {"no file loader", "channels\\ChunkLoader.dll", placeholder, {"Can't init fileloader / P"}, true, false},
        // No record could be written: no entry may announce the install.
        {"no file saver", "channels\\ChunkSaver.dll", placeholder, {e2e::kCopyError}, true, false},
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
        EXPECT_EQ(Boxes(run), c.boxes) << c.what;
        EXPECT_EQ(Exists(systemCopy), c.systemCopy) << c.what;
        EXPECT_FALSE(Exists(target + "\\screensaver.cfg")) << c.what;
        EXPECT_FALSE(Exists(target + "\\uninstall.nfo")) << c.what;
        EXPECT_EQ(!e2e::TextValues(kViewerKey).empty(), c.registered) << c.what;
        EXPECT_EQ(!e2e::TextValues(kUninstallKey).empty(), c.registered) << c.what;
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}
