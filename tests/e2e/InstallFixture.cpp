#include "tests/e2e/InstallFixture.h"

#include <algorithm>

#include "testkit/Files.h"

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

void InstallFixture::ExpectPackageFiles(const testkit::InstallPackage& package, std::vector<std::string> extra) const {
    for (const auto& file : package.files) {
        testkit::Bytes onDisk;
        EXPECT_TRUE(testkit::ReadFileBytes(target + "\\" + file.first, onDisk)) << file.first;
        EXPECT_TRUE(onDisk == file.second) << file.first << " differs";
        extra.push_back(file.first[0] == '\\' ? file.first.substr(1) : file.first);
    }
    std::sort(extra.begin(), extra.end());
    EXPECT_EQ(testkit::Tree(target), extra);
}

}  // namespace e2e
