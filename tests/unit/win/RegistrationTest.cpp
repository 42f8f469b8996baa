#include <gtest/gtest.h>

#include <cstdio>
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
        installer->SetPlaces({registryRoot});
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
    // The record is among the recorded files once it is written.
    installer->AddFile(folder + "\\uninstall.nfo");
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

// What the system's list of programs and package managers read beyond the name: the version
// (and its numbers when it is dotted), the maker, the web page and the day of the install.
TEST_F(Registration, ThePackagesVersionPublisherAndUrlJoinTheEntry) {
    auto today = [] {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        char text[16];
        std::snprintf(text, sizeof(text), "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
        return std::string(text);
    };
    const struct {
        const char* what;
        const char* version;  // null: none
        const char* publisher;
        const char* url;
        std::map<std::string, RegistryValue> added;  // InstallDate aside
    } cases[] = {
        {"all three", "1.4.2-beta", "Velbor Example Ltd", "https://example.com/demo",
         {{"DisplayVersion", RegText("1.4.2-beta")}, {"VersionMajor", RegNumber(1)}, {"VersionMinor", RegNumber(4)},
          {"Publisher", RegText("Velbor Example Ltd")}, {"URLInfoAbout", RegText("https://example.com/demo")}}},
        {"one number", "7", nullptr, nullptr,
         {{"DisplayVersion", RegText("7")}, {"VersionMajor", RegNumber(7)}, {"VersionMinor", RegNumber(0)}}},
        {"no number", "beta", nullptr, nullptr, {{"DisplayVersion", RegText("beta")}}},
        {"numbers beyond the fields", "70000.1", nullptr, nullptr, {{"DisplayVersion", RegText("70000.1")}}},
        {"publisher alone", nullptr, "Velbor", nullptr, {{"Publisher", RegText("Velbor")}}},
    };
    const auto plain = [&] {
        Make(Named("Demo"), scratch + "\\Demo", root.Root())->RegisterUninstall();
        auto values = Values(root.Root(), kUninstallKey);
        ::RegDeleteKeyA(root.Root(), kUninstallKey);
        return values;
    }();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::PackageFixture fixture = Named("Demo");
        if (c.version != nullptr) fixture.Text("ProjectVersion", c.version);
        if (c.publisher != nullptr) fixture.Text("ProjectPublisher", c.publisher);
        if (c.url != nullptr) fixture.Text("ProjectUrl", c.url);
        const std::string before = today();
        Make(fixture, scratch + "\\Demo", root.Root())->RegisterUninstall();
        auto values = Values(root.Root(), kUninstallKey);
        ASSERT_EQ(values.count("InstallDate"), 1u);
        const std::string date(values.at("InstallDate").second.begin(), values.at("InstallDate").second.end() - 1);
        EXPECT_TRUE(date == before || date == today()) << date;
        values.erase("InstallDate");
        auto expected = plain;
        expected.insert(c.added.begin(), c.added.end());
        EXPECT_EQ(values, expected);
        ::RegDeleteKeyA(root.Root(), kUninstallKey);
    }
}

// A per-user install writes below the user's root alone, the machine's untouched.
TEST_F(Registration, APerUserInstallWritesBelowTheUsersRootOnly) {
    testkit::ScratchKey userRoot{"RegistrationUser"};
    auto installer = Make(Named("Demo"), scratch + "\\Demo", root.Root());
    installer->SetPlaces({root.Root(), userRoot.Root()});
    installer->SetPerUser(true);
    installer->RegisterUninstall();
    installer->RegisterViewer();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(testkit::QueryText(userRoot.Root(), kUninstallKey, "DisplayName"), "Demo");
    EXPECT_EQ(testkit::QueryText(userRoot.Root(), kViewerKey, "DisplayName"), scratch + "\\Demo");
    EXPECT_FALSE(KeyExists(root.Root(), "SOFTWARE"));
}
