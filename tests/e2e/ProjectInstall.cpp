#include "ProjectInstall.h"

#include <shlobj.h>

#include "Files.h"

namespace e2e {

void ProjectInstall::SetUp() {
    scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    target = scratch + "\\" + targetName;
    programs = testkit::KnownFolder(CSIDL_PROGRAMS);
    ASSERT_FALSE(programs.empty());
    startMenuFolder = programs + "\\Orvan3D Test";
    RemoveTraces();
    ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
}

void ProjectInstall::TearDown() {
    RemoveTraces();
    testkit::RemoveTree(scratch);
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

std::string ProjectInstall::Pack(const testkit::Bytes& image, const std::string& name) {
    const std::string path = scratch + "\\" + name;
    EXPECT_TRUE(testkit::WriteFileBytes(path, image));
    return path;
}

std::string ProjectInstall::Pack(const testkit::PackageFixture& fixture, const std::string& name) {
    return Pack(fixture.Image(stub), name);
}

}  // namespace e2e
