// The "/LOG=" file: written where its name says, never through a link or another name.
#include <gtest/gtest.h>

#include <string>

#include "testkit/Files.h"
#include "testkit/WideText.h"
#include "win/LogFile.h"

using testkit::Bytes;

namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        elsewhere = scratch + "\\elsewhere";
        ASSERT_TRUE(::CreateDirectoryA(elsewhere.c_str(), nullptr));
        ASSERT_TRUE(testkit::WriteFileBytes(elsewhere + "\\precious.txt", Bytes(8, 'p')));
    }
    void TearDown() override { testkit::RemoveTree(scratch); }
    bool Open(win::LogFile& log, const std::string& path, bool append) {
        return log.Open(testkit::WidenAnsi(path).c_str(), append);
    }
    Bytes Read(const std::string& path) {
        Bytes bytes;
        return testkit::ReadFileBytes(path, bytes) ? bytes : Bytes();
    }

    std::string scratch;
    std::string elsewhere;
};

}  // namespace

TEST_F(LogFileTest, ANewLogIsWrittenAnewOrAddedTo) {
    const std::string path = scratch + "\\setup.log";
    for (bool append : {false, true, false}) {
        win::LogFile log;
        ASSERT_TRUE(Open(log, path, append));
        log.Line("line");
    }
    EXPECT_EQ(Read(path), Bytes({'l', 'i', 'n', 'e', '\r', '\n'}));
    win::LogFile log;
    ASSERT_TRUE(Open(log, path, true));
    log.Line("more");
    log.Close();
    EXPECT_EQ(Read(path).size(), 12u);
}

TEST_F(LogFileTest, ALinkOrASecondNameLeadsTheLogNowhere) {
    if (!testkit::MakeHostLink(scratch + "\\probe", elsewhere)) GTEST_SKIP() << "no host links here";
    testkit::RemoveHostLink(scratch + "\\probe");
    ASSERT_TRUE(testkit::MakeHostLink(scratch + "\\file.log", elsewhere + "\\precious.txt"));
    ASSERT_TRUE(testkit::MakeHostLink(scratch + "\\folder", elsewhere));
    ASSERT_TRUE(::CreateHardLinkA((scratch + "\\hard.log").c_str(), (elsewhere + "\\precious.txt").c_str(), nullptr));
    for (const char* name : {"file.log", "folder\\precious.txt", "folder\\new.log", "hard.log"}) {
        for (bool append : {false, true}) {
            win::LogFile log;
            EXPECT_FALSE(Open(log, scratch + "\\" + name, append)) << name << append;
            log.Line("planted");
        }
        EXPECT_EQ(Read(elsewhere + "\\precious.txt"), Bytes(8, 'p')) << name;
        EXPECT_FALSE(testkit::Exists(elsewhere + "\\new.log")) << name;
    }
    testkit::RemoveHostLink(scratch + "\\file.log");
    testkit::RemoveHostLink(scratch + "\\folder");
}
