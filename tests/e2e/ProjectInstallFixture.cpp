#include "tests/e2e/ProjectInstallFixture.h"

#include <shlobj.h>

#include "testkit/Files.h"

namespace e2e {

void ProjectInstall::SetUp() {
    programs = testkit::KnownFolder(CSIDL_COMMON_PROGRAMS);
    ASSERT_FALSE(programs.empty());
    startMenuFolder = programs + "\\Orvan3D Test";
    InstallFixture::SetUp();
}

void ProjectInstall::RemoveTraces() {
    testkit::RemoveTree(startMenuFolder);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, testkit::kTestUninstallKey);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, testkit::kTestUninstallKey);
}

testkit::InstallOptions ProjectInstall::Options() const {
    testkit::InstallOptions options;
    options.installPath = scratch + "\\Proposed Folder";
    options.note = scratch + "\\viewer-note.txt";
    return options;
}

std::string ProjectInstall::Pack(const testkit::PackageFixture& fixture, const std::string& name) {
    return Pack(fixture.Image(stub), name);
}

}  // namespace e2e
