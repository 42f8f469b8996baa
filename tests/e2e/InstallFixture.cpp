#include "InstallFixture.h"

#include "Files.h"

namespace e2e {

void InstallFixture::SetUp() {
    scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    target = scratch + "\\" + targetName;
    RemoveTraces();
    ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
}

void InstallFixture::TearDown() {
    RemoveTraces();
    testkit::RemoveTree(scratch);
}

std::string InstallFixture::Pack(const testkit::Bytes& image, const std::string& name) {
    const std::string path = scratch + "\\" + name;
    EXPECT_TRUE(testkit::WriteFileBytes(path, image));
    return path;
}

}  // namespace e2e
