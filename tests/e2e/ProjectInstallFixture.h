#pragma once
#include <string>

#include "testkit/InstallPackage.h"
#include "tests/e2e/InstallFixture.h"

// What the project installation tests share: the test project's Start-menu folder and
// uninstall entry, removed before and after.
namespace e2e {

class ProjectInstall : public InstallFixture {
protected:
    explicit ProjectInstall(const std::string& targetName) : InstallFixture(targetName) {}
    void SetUp() override;
    void RemoveTraces() override;

    // The test project proposing scratch\Proposed Folder, its viewer reporting to
    // scratch\viewer-note.txt.
    testkit::InstallOptions Options() const;
    using InstallFixture::Pack;
    std::string Pack(const testkit::PackageFixture& fixture, const std::string& name = "Setup.exe");

    std::string programs;
    std::string startMenuFolder;
};

}  // namespace e2e
