#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "components/winamp-plugin/VisPlugin.h"
#include "testkit/InstallPackage.h"
#include "testkit/RecordBytes.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "tests/e2e/ComponentInstallFixture.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::Exists;

namespace {

constexpr char kProjectName[] = "Orvan3D Vis Test";
constexpr char kSuccess[] = "Installation successfully completed! / Orvan3D Vis Test";
constexpr char kQuestion[] =
    "WinAmp 2.x or 5.x installation folder could not be detected by the installer. This program needs WinAmp 2.x "
    "or 5.x (not 3.x) to run.\nWould you like to continue and manually select your WinAmp folder?";
constexpr char kCommandKey[] = "Applications\\Winamp.exe\\shell\\open\\command";
constexpr char kWinampKey[] = "Software\\Winamp";

std::vector<std::string> RecordedFiles(const std::vector<std::pair<std::string, Bytes>>& record) {
    std::vector<std::string> out;
    for (const auto& c : record) {
        if (c.first == "UNFN") out.emplace_back(reinterpret_cast<const char*>(c.second.data()));
    }
    return out;
}

// A window a visualisation host gives its plug-ins as their parent.
HWND MakeHostWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Orvan3D Test Vis Host";
    ::RegisterClassA(&windowClass);
    return ::CreateWindowExA(0, windowClass.lpszClassName, "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
}

void Pump() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
}

class WinampPluginInstall : public e2e::ComponentInstall {
protected:
    WinampPluginInstall() : ComponentInstall(6, kProjectName, "Vis Target") {}
    void SetUp() override {
        ComponentInstall::SetUp();
        // Near the drive's root: there the browser's selection by path is reliable everywhere.
        winamp = "C:\\Orvan3D Winamp Test";
        testkit::RemoveTree(winamp);
        ASSERT_TRUE(::CreateDirectoryA(winamp.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryA((winamp + "\\Plugins").c_str(), nullptr));
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\WinAmp.dll", plugin));
    }
    void TearDown() override {
        ComponentInstall::TearDown();
        testkit::RemoveTree(winamp);
    }
    testkit::ComponentInstallOptions Options() const {
        auto options = ComponentInstall::Options();
        options.startupDirectory = scratch + "\\Proposed Folder";
        options.installPath = scratch + "\\Not This One";
        return options;
    }
    // Nothing of the plug-in's side: no plug-in, configuration, record or entry.
    void ExpectNothingWritten(const std::string& what) {
        EXPECT_EQ(testkit::Tree(winamp), std::vector<std::string>{}) << what;
        EXPECT_FALSE(Exists(target + "\\winamp.cfg")) << what;
        EXPECT_FALSE(Exists(target + "\\uninstall.nfo")) << what;
        EXPECT_TRUE(ViewerEntry().empty()) << what;
        EXPECT_TRUE(UninstallEntry().empty()) << what;
    }
    // The plug-in at pluginPath, the configuration and the record as the mode writes them.
    void ExpectInstalled(const std::string& pluginPath) {
        Bytes copy;
        ASSERT_TRUE(testkit::ReadFileBytes(pluginPath, copy)) << pluginPath;
        EXPECT_TRUE(copy == plugin) << "the installed plug-in differs from the packed one";
        EXPECT_EQ(testkit::Tree(winamp), std::vector<std::string>{std::string("Plugins\\vis_") + kProjectName + ".dll"});

        EXPECT_EQ(ConfigChunks("winamp.cfg").size(), 2u);

        std::vector<std::string> files;
        for (const auto& file : package.files) {
            files.push_back(target + "\\" + file.first);
            if (file.first == "WinAmp.dll") files.push_back(pluginPath);
        }
        files.push_back(target + "\\winamp.cfg");
        const auto record = testkit::FileChunks(target + "\\uninstall.nfo");
        EXPECT_EQ(RecordedFiles(record), files);
        ASSERT_FALSE(record.empty());
        EXPECT_EQ(record.back(), std::make_pair(std::string("UNSK"), Bytes{}));
        EXPECT_EQ(ViewerEntry(), (std::vector<std::pair<std::string, std::string>>{{"ComponentFile", pluginPath},
                                                                                    {"DisplayName", target}}));
        std::string icon;
        for (const auto& value : UninstallEntry()) {
            if (value.first == "DisplayIcon") icon = value.second;
        }
        EXPECT_EQ(icon, pluginPath) << "the icon is a file this install made";
    }

    std::string winamp;
    Bytes plugin;
};

}  // namespace

TEST_F(WinampPluginInstall, TheAssociationCommandGivesTheFolderAndTheInstalledPluginRunsInAHost) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    ASSERT_TRUE(command.Set("\"" + winamp + "\\winamp.exe\" \"%1\""));
    const auto run = Install(Options());
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.dialogTitle, std::string(kProjectName) + " Installation Options");
    EXPECT_EQ(run.dialogFolder, scratch + "\\Proposed Folder") << "StartupDirectory is proposed";
    ASSERT_EQ(Boxes(run), std::vector<std::string>{kSuccess});
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_FALSE(run.browserSeen);
    // The folder from the command keeps its backslash, and the one before Plugins follows it.
    const std::string pluginPath = winamp + "\\\\Plugins\\vis_" + kProjectName + ".dll";
    ExpectInstalled(pluginPath);

    // Loaded the way a host loads vis_*.dll: it finds its project through the viewer entry
    // and shows the start file's title.
    win::Module library(::LoadLibraryA(pluginPath.c_str()));
    ASSERT_TRUE(library);
    auto getHeader = reinterpret_cast<WinampVisGetHeaderFunc>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "winampVisGetHeader")));
    ASSERT_NE(getHeader, nullptr);
    winampVisHeader* header = getHeader();
    ASSERT_NE(header, nullptr);
    winampVisModule* module = header->getModule(0);
    ASSERT_NE(module, nullptr);
    HWND host = MakeHostWindow();
    module->hwndParent = host;
    module->hDllInstance = library.get();
    module->sRate = 44100;
    module->nCh = 2;
    ASSERT_EQ(module->Init(module), 0);
    HWND window = ::FindWindowA("Orvan3D Visualisation", nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(testkit::WindowText(window), std::string(kProjectName) + " on screen - Orvan3D");
    for (int frame = 0; frame < 5; ++frame) {
        for (int i = 0; i < 576; ++i) module->levelData[0][i] = module->levelData[1][i] =
            static_cast<unsigned char>(i + frame);
        EXPECT_EQ(module->Render(module), 0);
        Pump();
    }
    module->Quit(module);
    EXPECT_FALSE(::IsWindow(window));
    ::DestroyWindow(host);
}

// The proposal is shown as the package gives it; only the folder the user confirms is
// refused when it climbs, and the dialog then shows again.
TEST_F(WinampPluginInstall, AProposedFolderThatClimbsIsShownAndOnlyAConfirmedOneIsRefused) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    ASSERT_TRUE(command.Set("\"" + winamp + "\\winamp.exe\" \"%1\""));
    auto options = Options();
    options.startupDirectory = scratch + "\\..\\Climbing";
    int dialogs = 0;
    testkit::DriveOptions drive;
    drive.onOptions = [&](HWND dialog) {
        testkit::InstallInto(dialogs++ == 0 ? options.startupDirectory : target)(dialog);
    };
    const auto run = Install(options, drive);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.dialogFolder, options.startupDirectory);
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{
                              options.startupDirectory +
                                  "\n\nThis item would be written outside the installation folder. / Installation Error",
                              kSuccess}));
    ExpectInstalled(winamp + "\\\\Plugins\\vis_" + kProjectName + ".dll");
}

TEST_F(WinampPluginInstall, WinampsOwnKeyIsTakenUnchanged) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    if (command.Existed()) GTEST_SKIP() << "this machine has a Winamp association";
    testkit::RegistryDefault own(HKEY_CURRENT_USER, kWinampKey);
    ASSERT_TRUE(own.Set(winamp));
    const auto run = Install(Options());
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(Boxes(run), std::vector<std::string>{kSuccess});
    ExpectInstalled(winamp + "\\Plugins\\vis_" + kProjectName + ".dll");
}

// Entries that name no folder to copy into count as none: an unquoted association (it would be
// cut at its second character) and Winamp's own key naming a folder that is gone.
TEST_F(WinampPluginInstall, UnusableRegistryEntriesCountAsNoneSoTheUserIsAskedAndPicksTheFolder) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    testkit::RegistryDefault own(HKEY_CURRENT_USER, kWinampKey);
    if (command.Existed() || own.Existed()) GTEST_SKIP() << "this machine has Winamp's registry entries";
    ASSERT_TRUE(command.Set(winamp + "\\winamp.exe \"%1\""));
    ASSERT_TRUE(own.Set(winamp + " (gone)"));
    testkit::DriveOptions handlers;
    handlers.answer = [](const testkit::MessageBoxInfo& box) { return box.buttons.size() == 2 ? IDYES : IDOK; };
    handlers.onBrowser = testkit::BrowseTo(winamp);
    const auto run = Install(Options(), handlers);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(Boxes(run), (std::vector<std::string>{std::string(kQuestion) + " / " + kProjectName, kSuccess}));
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_TRUE(run.browserSeen);
    EXPECT_NE(std::find(run.browserTexts.begin(), run.browserTexts.end(), "Select Main WinAmp Install Folder"),
              run.browserTexts.end())
        << ::testing::PrintToString(run.browserTexts);
    ExpectInstalled(winamp + "\\Plugins\\vis_" + kProjectName + ".dll");
}

TEST_F(WinampPluginInstall, DecliningTheQuestionOrCancellingTheBrowserTakesTheInstallationBack) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    testkit::RegistryDefault own(HKEY_CURRENT_USER, kWinampKey);
    if (command.Existed() || own.Existed()) GTEST_SKIP() << "this machine has Winamp's registry entries";
    const struct {
        const char* what;
        int answer;
        bool browserSeen;
    } cases[] = {{"No", IDNO, false}, {"Yes, then Cancel", IDYES, true}};
    for (const auto& c : cases) {
        testkit::DriveOptions handlers;
        handlers.answer = [&](const testkit::MessageBoxInfo&) { return c.answer; };
        handlers.onBrowser = testkit::CancelBrowser;
        const auto run = Install(Options(), handlers);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kQuestion) + " / " + kProjectName})) << c.what;
        EXPECT_EQ(run.browserSeen, c.browserSeen) << c.what;
        // What came before the question goes again.
        EXPECT_FALSE(Exists(target)) << c.what;
        ExpectNothingWritten(c.what);
        testkit::RemoveTree(target);
    }
}

TEST_F(WinampPluginInstall, WithoutDirectXAWarningWithOnlyOkThenANormalInstallation) {
    testkit::DirectXVersion directX("4.08.01.0810");
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    ASSERT_TRUE(command.Set("\"" + winamp + "\\winamp.exe\" \"%1\""));
    auto options = Options();
    options.checkDx8 = true;
    ExpectDirectXWarning(Install(options), "winamp plugin", kSuccess);
    EXPECT_TRUE(Exists(winamp + "\\Plugins\\vis_" + kProjectName + ".dll"));
}

TEST_F(WinampPluginInstall, WithoutAFileSaverOrAWrittenPluginOrUninstallerNothingIsAnnounced) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, kCommandKey);
    ASSERT_TRUE(command.Set("\"" + winamp + "\\winamp.exe\" \"%1\""));
    const std::string pluginPath = winamp + "\\\\Plugins\\vis_" + kProjectName + ".dll";
    struct Case {
        const char* what;
        std::function<void(testkit::ComponentInstallOptions&)> change;
        bool targetLeft;  // the test's own folder in the uninstaller's place
    } cases[] = {
        // No record can be written.
        {"no file saver",
         [](testkit::ComponentInstallOptions& o) {
             o.substitutes["channels\\ChunkSaver.dll"] = "channels\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll";
         },
         false},
        // The Plugins folder gone: the copy cannot be made.
        {"no Plugins folder",
         [&](testkit::ComponentInstallOptions&) { ::RemoveDirectoryA((winamp + "\\Plugins").c_str()); }, false},
        // A folder in the uninstaller's place.
        {"the uninstaller blocked",
         [&](testkit::ComponentInstallOptions&) {
             ::CreateDirectoryA(target.c_str(), nullptr);
             ::CreateDirectoryA((target + "\\ZRXUnInst.exe").c_str(), nullptr);
         },
         true},
    };
    for (const Case& c : cases) {
        auto options = Options();
        c.change(options);
        const auto run = Install(options);
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(Boxes(run), std::vector<std::string>{testkit::kCopyErrorBox}) << c.what;
        // Taken back: the plug-in goes, and of the folder only what the test put there is left.
        EXPECT_FALSE(Exists(pluginPath)) << c.what;
        EXPECT_EQ(testkit::Tree(target, true), c.targetLeft ? std::vector<std::string>{"ZRXUnInst.exe\\"}
                                                            : std::vector<std::string>{})
            << c.what;
        EXPECT_TRUE(ViewerEntry().empty()) << c.what;
        EXPECT_TRUE(UninstallEntry().empty()) << c.what;
        RemoveTraces();
        testkit::RemoveTree(target);
        testkit::RemoveTree(winamp);
        ::CreateDirectoryA(winamp.c_str(), nullptr);
        ::CreateDirectoryA((winamp + "\\Plugins").c_str(), nullptr);
    }
}
