#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/InstallPackage.h"
#include "testkit/PackageFixture.h"

// What every installation test starts from: a scratch folder holding the target and the
// packed program, the stub to pack, and the traces of an installation removed before and after.
namespace e2e {

class InstallFixture : public ::testing::Test {
protected:
    explicit InstallFixture(const std::string& targetName) : targetName(targetName) {}
    void SetUp() override;
    void TearDown() override;
    // What an installation leaves outside the scratch folder.
    virtual void RemoveTraces() = 0;
    // The program written into the scratch folder under name.
    std::string Pack(const testkit::Bytes& image, const std::string& name = "Setup.exe");
    // Every file of the package below target, byte-exact, and nothing else there but extra.
    void ExpectPackageFiles(const testkit::InstallPackage& package, std::vector<std::string> extra) const;

    const std::string targetName;
    std::string scratch;
    std::string target;
    testkit::Bytes stub;
};

}  // namespace e2e
