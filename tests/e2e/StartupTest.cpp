#include <gtest/gtest.h>

#include <string>

#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::PackageFixture;

namespace {

constexpr DWORD kRunLimitMs = 30000;

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
    }
    void TearDown() override { testkit::RemoveTree(folder); }

    std::string Pack(const Bytes& image, const std::string& name = "Packed.exe") {
        const std::string path = folder + "\\" + name;
        EXPECT_TRUE(testkit::WriteFileBytes(path, image));
        return path;
    }
    testkit::RunResult Run(const std::string& exe, const std::string& commandLine = "") {
        return testkit::RunAndDrive(exe, commandLine.empty() ? "\"" + exe + "\"" : commandLine, kRunLimitMs);
    }

    std::string folder;
    Bytes stub;
};

}  // namespace

TEST_F(Startup, StubNeverHoldsTheWholeMarkerAndStaysInSearchRange) {
    const std::string marker = "5E0B7A21-94C3-4F6D-A1B8-27D9C04E3B65";
    const std::string image(stub.begin(), stub.end());
    EXPECT_EQ(image.find(marker), std::string::npos);
    EXPECT_LT(stub.size(), 190000u);
}

TEST_F(Startup, MissingProjectTypeShowsOneBoxAndExitsWithZero) {
    const auto run = Run(Pack(PackageFixture().Text("ProjectName", "Demo").Image(stub)));
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), std::vector<std::string>{"Can't find project type / Error"});
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_TRUE(run.hostWindowSeen) << "the host window exists while the box is open";
    EXPECT_FALSE(run.hostWindowEverVisible);
}

TEST_F(Startup, ArgumentsAndOtherNamesStillFindThePackage) {
    // ProjectType 3 ends silently once the value has been read: no box means it was found.
    // (A damaged trailer, and which boxes a missing or damaged value shows, the in-process
    // Launcher tables tell.)
    const std::string plain = Pack(PackageFixture().Number("ProjectType", 3).Image(stub), "Plain.exe");
    struct Case {
        const char* what;
        std::string exe;
        std::string commandLine;
    } cases[] = {
        {"started with arguments", plain, "\"" + plain + "\" /x \"some arg\""},
        {"started without the extension", plain, folder + "\\Plain"},
    };
    for (const Case& c : cases) {
        const auto run = Run(c.exe, c.commandLine);
        EXPECT_TRUE(run.started) << c.what;
        EXPECT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_TRUE(run.boxes.empty()) << c.what << ": " << (run.boxes.empty() ? "" : run.boxes[0].text);
    }
}
