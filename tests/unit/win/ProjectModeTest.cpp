// The project install in this process, silently: registry entries below a scratch key, links
// recorded instead of written (their folders are made in the Programs folder and removed).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "testkit/FakeFolderSystem.h"
#include "testkit/InstallPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/RecordBytes.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"

using testkit::Bytes;
using testkit::Strings;

namespace {

constexpr char kLinkFolder[] = "\\Orvan3D ProjectModeTest";

class LinkRecordingInstaller : public Installer {
public:
    using Installer::Installer;
    HRESULT CreateShortcut(const char*, const char* linkPath, const char*, const char*) override {
        links.push_back(linkPath);
        if (onLink) onLink(linkPath);
        return S_OK;
    }
    std::vector<std::string> links;
    std::function<void(const std::string&)> onLink;
};

class ProjectMode : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        target = scratch + "\\Target";
        char path[MAX_PATH] = {};
        ::GetCurrentDirectoryA(sizeof(path), path);
        savedFolder = path;
        ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_PROGRAMS, FALSE));
        programs = path;
        testkit::RemoveTree(programs + kLinkFolder);
    }
    void TearDown() override {
        installer.reset();
        ::SetCurrentDirectoryA(savedFolder.c_str());
        testkit::RemoveTree(programs + kLinkFolder);
        testkit::RemoveTree(scratch);
    }
    testkit::InstallOptions Options(const std::string& projectName) const {
        testkit::InstallOptions options;
        options.projectName = projectName;
        options.shortCutName = std::string(kLinkFolder) + "\\Demo";
        return options;
    }
    LinkRecordingInstaller& Make(const testkit::InstallOptions& options) {
        host = std::make_unique<testkit::MemoryPackageHost>(
            testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(512, 0x90)));
        installer = std::make_unique<LinkRecordingInstaller>(*host, messages);
        installer->Init(::GetModuleHandleA(nullptr), nullptr);
        installer->SetPlaces({root.Root()});
        return *installer;
    }
    bool Install() { return installer->InstallProjectSilently(target.c_str(), failureReported); }

    std::string scratch;
    std::string target;
    std::string savedFolder;
    std::string programs;
    testkit::ScratchKey root{"ProjectMode"};
    std::unique_ptr<testkit::MemoryPackageHost> host;
    testkit::RecordingMessages messages;
    std::unique_ptr<LinkRecordingInstaller> installer;
    bool failureReported = false;
};

}  // namespace

TEST_F(ProjectMode, ANameIsACaptionKeyAndFieldSoOnlyABackslashInItIsRefused) {
    Make(Options("Demo: Part 2"));
    ASSERT_TRUE(Install()) << ::testing::PrintToString(messages.shown) << ::testing::PrintToString(host->messages);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(testkit::QueryText(root.Root(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo: Part 2",
                                 "DisplayName"),
              "Demo: Part 2");
    std::string recorded;
    for (const auto& chunk : testkit::FileChunks(target + "\\uninstall.nfo")) {
        if (chunk.first == "UNPN") recorded = testkit::FieldText(chunk.second);
    }
    EXPECT_EQ(recorded, "Demo: Part 2");

    installer.reset();
    ::SetCurrentDirectoryA(savedFolder.c_str());
    testkit::RemoveTree(target);
    Make(Options("Demo\\Part 2"));
    EXPECT_FALSE(Install());
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Demo\\Part 2\n\nThis item would be written outside the "
                                                       "installation folder. / Installation Error"});
    EXPECT_FALSE(testkit::Exists(target));
    EXPECT_FALSE(testkit::KeyExists(root.Root(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo"));
}

TEST_F(ProjectMode, OnlyTheProjectLinkHasItsFoldersMade) {
    LinkRecordingInstaller& made = Make(Options("Demo"));
    // The link's folder gone once the first link is made: the second link gets no pass of its own.
    const std::string folder = programs + kLinkFolder + "\\";
    made.onLink = [&](const std::string&) { ::RemoveDirectoryA(folder.c_str()); };
    ASSERT_TRUE(Install());
    EXPECT_EQ(made.links, (std::vector<std::string>{folder + "Demo.lnk", folder + "Demo Uninstall.lnk"}));
    int passes = 0;
    for (const auto& created : Strings(made.CreatedFolders())) passes += created == folder ? 1 : 0;
    EXPECT_EQ(passes, 1);
}

TEST_F(ProjectMode, ADamagedViewerShowsItsCrcBoxThenNotFoundAndNothingElse) {
    Make(Options("Demo"));
    ASSERT_TRUE(testkit::DamageEntry(host->image, "OrvanViewer.exe"));
    EXPECT_FALSE(Install());
    EXPECT_EQ(host->messages, std::vector<std::string>{"Crc error corrupt file / ORVANVIEWER.EXE"});
    EXPECT_EQ(messages.shown, std::vector<std::string>{"OrvanViewer.exe not found / P"});
    EXPECT_TRUE(installer->CreatedFiles().Count() == 0);
}

TEST_F(ProjectMode, AnElevatedSilentInstallIntoAFolderOthersCanChangeWritesNothing) {
    testkit::FakeFolderSystem folders;
    ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
    folders.existing[target] = "O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)";
    Installer::Places places{root.Root()};
    places.folders = &folders;
    Make(Options("Demo")).SetPlaces(places);
    EXPECT_FALSE(Install());
    EXPECT_EQ(messages.shown, std::vector<std::string>{target + "\n\n" + Installer::kOthersCanWriteText +
                                                       " / Installation Error"});
    EXPECT_EQ(testkit::Tree(target), std::vector<std::string>{});
    EXPECT_FALSE(testkit::KeyExists(root.Root(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo"));
}
