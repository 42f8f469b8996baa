#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Handle.h"
#include "Installer.h"
#include "RecordingMessages.h"
#include "MemoryPackageHost.h"
#include "PackageFixture.h"
#include "UiDriver.h"

using testkit::Bytes;

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DDemo";
constexpr char kViewerKey[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\Demo";

using RecordingMessages = testkit::RecordingMessages;

class RecordingInstaller : public Installer {
public:
    using Installer::Installer;
    void AddFile(const std::string& path) { createdFiles.Add(win::DuplicateText(path.c_str())); }
};

struct Value {
    DWORD type = REG_NONE;
    Bytes data;
    bool operator==(const Value& other) const { return type == other.type && data == other.data; }
};

Value Text(const std::string& text) { return {REG_SZ, Bytes(text.begin(), text.end())}; }
Value TextWithTerminator(const std::string& text) {
    Value v = Text(text);
    v.data.push_back(0);
    return v;
}
Value Number(DWORD n) {
    const auto* p = reinterpret_cast<const unsigned char*>(&n);
    return {REG_DWORD, Bytes(p, p + 4)};
}

void PrintTo(const Value& v, std::ostream* os) {
    *os << "type " << v.type << " [" << std::string(v.data.begin(), v.data.end()) << "] (" << v.data.size() << ")";
}

// Every value of a key, by name; empty when the key does not exist.
std::map<std::string, Value> Values(HKEY root, const std::string& path) {
    std::map<std::string, Value> out;
    win::RegKey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof(name);
        unsigned char data[2048];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        out[name] = {type, Bytes(data, data + dataSize)};
    }
    return out;
}

bool KeyExists(HKEY root, const std::string& path) {
    win::RegKey key;
    return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The entries are written below a scratch key of the current user, removed afterwards.
class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        rootPath = "Software\\OrvanTest-Registration-" + std::to_string(::GetCurrentProcessId());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, rootPath.c_str());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    root.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        root.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, rootPath.c_str());
        testkit::RemoveTree(scratch);
    }
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
    std::string rootPath;
    win::RegKey root;
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
    auto installer = Make(Named("Demo"), folder, root.get());
    installer->AddFile(folder + "\\OrvanViewer.exe");
    installer->AddFile(folder + "\\EngineCore.dll");
    installer->AddFile(folder + "\\missing-link.lnk");
    installer->RegisterUninstall();

    EXPECT_TRUE(messages.shown.empty());
    const std::map<std::string, Value> expected = {
        {"DisplayName", TextWithTerminator("Demo")},
        {"UninstallString", TextWithTerminator("\"" + folder + "\\ZRXUnInst.exe\"")},
        {"QuietUninstallString", TextWithTerminator("\"" + folder + "\\ZRXUnInst.exe\" /S")},
        {"InstallLocation", TextWithTerminator(folder)},
        {"DisplayIcon", TextWithTerminator(folder + "\\OrvanViewer.exe")},
        {"EstimatedSize", Number(4)},
        {"NoModify", Number(1)},
        {"NoRepair", Number(1)},
    };
    EXPECT_EQ(Values(root.get(), kUninstallKey), expected);
    EXPECT_FALSE(KeyExists(root.get(), "SOFTWARE\\Velbor")) << "the project mode writes no viewer entry";
}

TEST_F(Registration, ViewerEntryMapsTheNameToTheFolder) {
    auto installer = Make(Named("Demo"), scratch + "\\Demo", root.get());
    installer->RegisterViewer();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Values(root.get(), kViewerKey),
              (std::map<std::string, Value>{{"DisplayName", TextWithTerminator(scratch + "\\Demo")}}));
}

TEST_F(Registration, ASecondInstallationOfTheSameNameSetsTheValuesAnew) {
    Make(Named("Demo"), scratch + "\\First", root.get())->RegisterUninstall();
    Make(Named("Demo"), scratch + "\\Second", root.get())->RegisterUninstall();
    Make(Named("Demo"), scratch + "\\First", root.get())->RegisterViewer();
    Make(Named("Demo"), scratch + "\\Second", root.get())->RegisterViewer();
    const auto uninstall = Values(root.get(), kUninstallKey);
    ASSERT_EQ(uninstall.count("UninstallString"), 1u);
    EXPECT_EQ(uninstall.at("UninstallString"), TextWithTerminator("\"" + scratch + "\\Second\\ZRXUnInst.exe\""));
    EXPECT_EQ(uninstall.at("InstallLocation"), TextWithTerminator(scratch + "\\Second"));
    EXPECT_EQ(Values(root.get(), kViewerKey).at("DisplayName"), TextWithTerminator(scratch + "\\Second"));
}

TEST_F(Registration, FailuresShowTheirBoxAndWriteNothing) {
    // Below a volatile key no lasting key can be created, as without rights under the machine root.
    win::RegKey volatileRoot;
    ASSERT_EQ(::RegCreateKeyExA(root.get(), "volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
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
         root.get(),
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
        EXPECT_FALSE(KeyExists(root.get(), "SOFTWARE")) << c.description;
    }
}
