#pragma once
#include <gtest/gtest.h>

#include <string>

#include "InstallPackage.h"
#include "PackageFixture.h"

// What the project installation tests share: a scratch folder with the target, the stub to
// pack, and the test project's Start-menu folder and uninstall entry, removed before and after.
namespace e2e {

class ProjectInstall : public ::testing::Test {
protected:
    explicit ProjectInstall(const std::string& targetName) : targetName(targetName) {}
    void SetUp() override;
    void TearDown() override;
    void RemoveTraces();

    // The test project proposing scratch\Proposed Folder, its viewer reporting to
    // scratch\viewer-note.txt.
    testkit::InstallOptions Options() const;
    // The program written into the scratch folder under name.
    std::string Pack(const testkit::Bytes& image, const std::string& name = "Setup.exe");
    std::string Pack(const testkit::PackageFixture& fixture, const std::string& name = "Setup.exe");

    const std::string targetName;
    std::string scratch;
    std::string target;
    std::string programs;
    std::string startMenuFolder;
    testkit::Bytes stub;
};

}  // namespace e2e
