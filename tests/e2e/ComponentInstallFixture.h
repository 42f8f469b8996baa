#pragma once
#include <string>
#include <utility>
#include <vector>

#include "testkit/InstallPackage.h"
#include "testkit/UiDriver.h"
#include "tests/e2e/InstallFixture.h"

// What the screen-saver and plug-in installation tests share: the viewer and uninstall entries
// each test removes again.
namespace e2e {

class ComponentInstall : public InstallFixture {
protected:
    ComponentInstall(int32_t projectType, const std::string& projectName, const std::string& targetName);
    // The entries, and the viewer entries' parent keys as far as they are empty (an installed
    // viewer keeps them).
    void RemoveTraces() override;

    testkit::ComponentInstallOptions Options() const;
    using InstallFixture::Pack;
    std::string Pack(const testkit::ComponentInstallOptions& options);
    // Packs and runs the program; the options dialog installs into target.
    testkit::RunResult Install(const testkit::ComponentInstallOptions& options, testkit::DriveOptions drive = {});
    std::vector<std::pair<std::string, std::string>> ViewerEntry() const;
    std::vector<std::pair<std::string, std::string>> UninstallEntry() const;
    void ExpectNoRecordNorEntries(const std::string& what) const;
    // The configuration file's chunks, once its first two are checked: the start file's path in
    // a 259-byte field (SCFP) and the engine's tick (SCTI = 20).
    std::vector<std::pair<std::string, testkit::Bytes>> ConfigChunks(const std::string& configName) const;
    // The DirectX warning naming the component, with only OK and its icon, then success.
    void ExpectDirectXWarning(const testkit::RunResult& run, const char* component, const char* success) const;

    const int32_t projectType;
    const std::string projectName;
    testkit::InstallPackage package;
};

}  // namespace e2e
