#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo";
constexpr char kViewerKey[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\Demo";

using RecordingMessages = testkit::RecordingMessages;

using testkit::RecordingInstaller;

using testkit::KeyExists;
using testkit::RegNumber;
using testkit::RegText;
using testkit::RegistryValue;
using testkit::Values;

// The entries are written below a scratch key of the current user, removed afterwards.
class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NE(root.Root(), nullptr);
    }
    void TearDown() override { testkit::RemoveTree(scratch); }
    std::unique_ptr<RecordingInstaller> Make(const testkit::PackageFixture& fixture, const std::string& folder,
                                             HKEY registryRoot) {
        hosts.push_back(std::make_unique<testkit::MemoryPackageHost>(fixture.Image(Bytes(64, 0))));
        auto installer = std::make_unique<RecordingInstaller>(*hosts.back(), messages);
        EXPECT_TRUE(installer->SetInstallFolder(folder.c_str()));
        installer->SetRegistryRoot(registryRoot);
        return installer;
    }
    static testkit::PackageFixture Named(const std::string& name) {
        testkit::PackageFixture fixture;
        fixture.Text("ProjectName", name);
        return fixture;
    }

    std::string scratch;
    testkit::ScratchKey root{"Registration"};
    std::vector<std::unique_ptr<testkit::MemoryPackageHost>> hosts;
    RecordingMessages messages;
};

}  // namespace

TEST_F(Registration, UninstallEntryCarriesTheNameTheQuotedUninstallerAndTheSystemListValues) {
    const std::string folder = scratch + "\\Program Files\\Demo Folder";
    ::CreateDirectoryA((scratch + "\\Program Files").c_str(), nullptr);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    // 1000 + 2048 recorded bytes and a 100-byte record: 3148 bytes, 4 KB rounded up.
    testkit::WriteFileBytes(folder + "\\OrvanViewer.exe", Bytes(1000, 1));
    testkit::WriteFileBytes(folder + "\\EngineCore.dll", Bytes(2048, 2));
    testkit::WriteFileBytes(folder + "\\uninstall.nfo", Bytes(100, 3));
    testkit::WriteFileBytes(folder + "\\not-recorded.bin", Bytes(5000, 4));
    auto installer = Make(Named("Demo"), folder, root.Root());
    installer->AddFile(folder + "\\OrvanViewer.exe");
    installer->AddFile(folder + "\\EngineCore.dll");
    installer->AddFile(folder + "\\missing-link.lnk");
    installer->RegisterUninstall();

    EXPECT_TRUE(messages.shown.empty());
    const std::map<std::string, RegistryValue> expected = {
        {"DisplayName", RegText("Demo")},
        {"UninstallString", RegText("\"" + folder + "\\ZRXUnInst.exe\"")},
        {"QuietUninstallString", RegText("\"" + folder + "\\ZRXUnInst.exe\" /S")},
        {"InstallLocation", RegText(folder)},
        {"DisplayIcon", RegText(folder + "\\OrvanViewer.exe")},
        {"EstimatedSize", RegNumber(4)},
        {"NoModify", RegNumber(1)},
        {"NoRepair", RegNumber(1)},
    };
    EXPECT_EQ(Values(root.Root(), kUninstallKey), expected);
    EXPECT_FALSE(KeyExists(root.Root(), "SOFTWARE\\Velbor")) << "the project mode writes no viewer entry";
}

TEST_F(Registration, ViewerEntryMapsTheNameToTheFolder) {
    auto installer = Make(Named("Demo"), scratch + "\\Demo", root.Root());
    installer->RegisterViewer();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Values(root.Root(), kViewerKey),
              (std::map<std::string, RegistryValue>{{"DisplayName", RegText(scratch + "\\Demo")}}));
}

TEST_F(Registration, ASecondInstallationOfTheSameNameSetsTheValuesAnew) {
    Make(Named("Demo"), scratch + "\\First", root.Root())->RegisterUninstall();
    Make(Named("Demo"), scratch + "\\Second", root.Root())->RegisterUninstall();
    Make(Named("Demo"), scratch + "\\First", root.Root())->RegisterViewer();
    Make(Named("Demo"), scratch + "\\Second", root.Root())->RegisterViewer();
    const auto uninstall = Values(root.Root(), kUninstallKey);
    ASSERT_EQ(uninstall.count("UninstallString"), 1u);
    EXPECT_EQ(uninstall.at("UninstallString"), RegText("\"" + scratch + "\\Second\\ZRXUnInst.exe\""));
    EXPECT_EQ(uninstall.at("InstallLocation"), RegText(scratch + "\\Second"));
    EXPECT_EQ(Values(root.Root(), kViewerKey).at("DisplayName"), RegText(scratch + "\\Second"));
}

TEST_F(Registration, FailuresShowTheirBoxAndWriteNothing) {
    // Below a volatile key no lasting key can be created, as without rights under the machine root.
    win::RegKey volatileRoot;
    ASSERT_EQ(::RegCreateKeyExA(root.Root(), "volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                volatileRoot.put(), nullptr),
              ERROR_SUCCESS);
    struct Case {
        const char* description;
        testkit::PackageFixture fixture;
        HKEY registryRoot;
        std::vector<std::string> boxes;  // RegisterUninstall's, then RegisterViewer's
    } cases[] = {
        {"no project name",
         testkit::PackageFixture().Text("InstallPath", "C:\\Demo"),
         root.Root(),
         {"Can't find project type ProjectName / Error", "Can't find project type ProjectName / Error"}},
        {"key cannot be created",
         Named("Demo"),
         volatileRoot.get(),
         {"Error can't write in registry / " + std::string(kUninstallKey),
          "Error can't write in registry / " + std::string(kViewerKey)}},
    };
    for (Case& c : cases) {
        messages.shown.clear();
        auto installer = Make(c.fixture, scratch + "\\Demo", c.registryRoot);
        installer->RegisterUninstall();
        installer->RegisterViewer();
        EXPECT_EQ(messages.shown, c.boxes) << c.description;
        EXPECT_FALSE(KeyExists(root.Root(), "SOFTWARE")) << c.description;
    }
}
