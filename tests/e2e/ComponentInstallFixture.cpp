#include "tests/e2e/ComponentInstallFixture.h"

#include <algorithm>

#include "testkit/Files.h"
#include "testkit/RecordBytes.h"
#include "testkit/Registry.h"

namespace e2e {

namespace {

constexpr char kViewerParent[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\";
constexpr char kUninstallParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D";

void RemoveEmptyViewerKeys() {
    for (const char* key : {"SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000", "SOFTWARE\\Velbor\\Orvan3D Viewers",
                            "SOFTWARE\\Velbor"}) {
        win::RegKey open;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, open.put()) != ERROR_SUCCESS) continue;
        DWORD subKeys = 0;
        DWORD values = 0;
        if (::RegQueryInfoKeyA(open.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0) {
            return;
        }
        open.reset();
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    }
}

}  // namespace

ComponentInstall::ComponentInstall(int32_t projectType, const std::string& projectName, const std::string& targetName)
    : InstallFixture(targetName), projectType(projectType), projectName(projectName) {}

void ComponentInstall::RemoveTraces() {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kViewerParent + projectName).c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallParent + projectName).c_str());
    RemoveEmptyViewerKeys();
}

testkit::ComponentInstallOptions ComponentInstall::Options() const {
    testkit::ComponentInstallOptions options;
    options.projectType = projectType;
    options.projectName = projectName;
    options.installPath = scratch + "\\Proposed Folder";
    return options;
}

std::string ComponentInstall::Pack(const testkit::ComponentInstallOptions& options) {
    package = testkit::MakeComponentInstallPackage(testkit::OwnFolder(), options);
    return Pack(package.fixture.Image(stub));
}

testkit::RunResult ComponentInstall::Install(const testkit::ComponentInstallOptions& options,
                                             testkit::DriveOptions drive) {
    if (!drive.onOptions) drive.onOptions = testkit::InstallInto(target);
    return testkit::Drive(Pack(options), drive);
}

std::vector<std::pair<std::string, std::string>> ComponentInstall::ViewerEntry() const {
    return testkit::TextValues(HKEY_LOCAL_MACHINE, kViewerParent + projectName);
}

std::vector<std::pair<std::string, std::string>> ComponentInstall::UninstallEntry() const {
    return testkit::TextValues(HKEY_LOCAL_MACHINE, kUninstallParent + projectName);
}

void ComponentInstall::ExpectNoRecordNorEntries(const std::string& what) const {
    EXPECT_FALSE(testkit::Exists(target + "\\uninstall.nfo")) << what;
    EXPECT_TRUE(ViewerEntry().empty()) << what;
    EXPECT_TRUE(UninstallEntry().empty()) << what;
}

std::vector<std::pair<std::string, testkit::Bytes>> ComponentInstall::ConfigChunks(
    const std::string& configName) const {
    const auto config = testkit::FileChunks(target + "\\" + configName);
    EXPECT_GE(config.size(), 2u) << configName;
    if (config.size() < 2) return config;
    EXPECT_EQ(config[0].first, "SCFP");
    const testkit::Bytes& start = config[0].second;
    EXPECT_EQ(start.size(), 259u);
    EXPECT_EQ(std::string(start.begin(), std::find(start.begin(), start.end(), 0)), target + "\\ZRXStart.zrx");
    EXPECT_EQ(config[1], std::make_pair(std::string("SCTI"), testkit::CountField(20)));
    return config;
}

void ComponentInstall::ExpectDirectXWarning(const testkit::RunResult& run, const char* component,
                                            const char* success) const {
    ASSERT_EQ(testkit::Boxes(run),
              (std::vector<std::string>{"DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or "
                                        "higher needs to be installed before the " + std::string(component) +
                                            " will work. / " + projectName,
                                        success}));
    ASSERT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_EQ(run.boxes[0].buttons[0].id, IDOK);
    EXPECT_TRUE(run.boxes[0].hasIcon);
}

}  // namespace e2e
