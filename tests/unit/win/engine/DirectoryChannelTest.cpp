#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "testkit/UiDriver.h"
#include "tests/unit/win/engine/EngineTestHost.h"

using enginetest::BinFolder;
using enginetest::EngineHost;

namespace {

using Names = std::multiset<std::string>;

class DirectoryScan : public ::testing::Test {
protected:
    void SetUp() override {
        root = testkit::MakeScratchFolder("engine-scan");
        ASSERT_TRUE(host.Load(BinFolder(), BinFolder()));
    }
    void TearDown() override {
        host.Release();
        testkit::RemoveTree(root);
    }

    EngineObject<DirectoryChannel> Scanner() { return host.Create<DirectoryChannel>(kDirectoryChannelId); }

    void MakeTree(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) {
            const std::string full = root + "\\" + p;
            if (p.back() == '\\') {
                ASSERT_TRUE(::CreateDirectoryA(full.c_str(), nullptr)) << p;
            } else {
                ASSERT_TRUE(enginetest::WriteWholeFile(full, p.data(), p.size())) << p;
            }
        }
    }

    static Names Files(DirectoryChannel& scan) {
        Names names;
        for (int i = 0; i < scan.FileCount(); ++i) names.insert(scan.FileName(i));
        return names;
    }
    static Names Folders(DirectoryChannel& scan) {
        Names names;
        for (int i = 0; i < scan.FolderCount(); ++i) {
            const char* name = scan.FolderName(i);
            names.insert(name != nullptr ? name : "(null)");
        }
        return names;
    }

    // Deletes like the program's cache clean-up: files first, then each folder after its content.
    void DeleteTree(const std::string& folder, int& channelsMade) {
        EngineObject<DirectoryChannel> scan = Scanner();
        ASSERT_TRUE(scan);
        ++channelsMade;
        scan->SetFilter("*.*");
        scan->Scan((folder + "\\*.*").c_str());
        for (int i = 0; i < scan->FileCount(); ++i) {
            EXPECT_TRUE(::DeleteFileA((folder + "\\" + scan->FileName(i)).c_str())) << scan->FileName(i);
        }
        for (int i = 0; i < scan->FolderCount(); ++i) {
            const char* name = scan->FolderName(i);
            if (name == nullptr || std::string(name) == "." || std::string(name) == "..") continue;
            DeleteTree(folder + "\\" + name, channelsMade);
            EXPECT_TRUE(::RemoveDirectoryA((folder + "\\" + name).c_str())) << name;
        }
    }

    std::string root;
    EngineHost host;
};

}  // namespace

TEST_F(DirectoryScan, ListsFilesAndFoldersOfOneLevel) {
    MakeTree({"a.txt", "b.dat", "noext", "sub\\", "sub\\inner.txt", "Cache\\"});
    EngineObject<DirectoryChannel> scan = Scanner();
    ASSERT_TRUE(scan);
    scan->SetFilter("*.*");
    ASSERT_TRUE(scan->Scan((root + "\\*.*").c_str()));
    EXPECT_EQ(Files(*scan), (Names{"a.txt", "b.dat", "noext"}));
    EXPECT_EQ(Folders(*scan), (Names{".", "..", "sub", "Cache"}));
    EXPECT_EQ(scan->FileName(scan->FileCount()), nullptr);
    EXPECT_EQ(scan->FolderName(-1), nullptr);
}

TEST_F(DirectoryScan, FilterSelectsFilesOnly) {
    MakeTree({"a.txt", "B.TXT", "b.dat", "noext", "x.txt.bak", "sub.txt\\"});
    struct Case {
        const char* filter;
        Names files;
    } cases[] = {
        {"*.*", {"a.txt", "B.TXT", "b.dat", "noext", "x.txt.bak"}},
        {nullptr, {"a.txt", "B.TXT", "b.dat", "noext", "x.txt.bak"}},
        {"*.txt", {"a.txt", "B.TXT"}},
        {"?.dat", {"b.dat"}},
        {"*.txt*", {"a.txt", "B.TXT", "x.txt.bak"}},
        {"none*", {}},
    };
    for (const Case& c : cases) {
        EngineObject<DirectoryChannel> scan = Scanner();
        ASSERT_TRUE(scan);
        scan->SetFilter(c.filter);
        ASSERT_TRUE(scan->Scan((root + "\\*.*").c_str()));
        EXPECT_EQ(Files(*scan), c.files) << (c.filter ? c.filter : "null");
        EXPECT_EQ(Folders(*scan).count("sub.txt"), 1u) << "folders are not filtered";
    }
}

TEST_F(DirectoryScan, CountsStayThoseOfTheScanWhileFilesAreDeleted) {
    MakeTree({"1.bin", "2.bin", "3.bin", "4.bin"});
    EngineObject<DirectoryChannel> scan = Scanner();
    ASSERT_TRUE(scan);
    scan->SetFilter("*.*");
    ASSERT_TRUE(scan->Scan((root + "\\*.*").c_str()));
    int deleted = 0;
    for (int i = 0; i < scan->FileCount(); ++i) {
        ASSERT_NE(scan->FileName(i), nullptr);
        if (::DeleteFileA((root + "\\" + scan->FileName(i)).c_str())) ++deleted;
        EXPECT_EQ(scan->FileCount(), 4);
    }
    EXPECT_EQ(deleted, 4);
    EngineObject<DirectoryChannel> again = Scanner();
    ASSERT_TRUE(again->Scan((root + "\\*.*").c_str()));
    EXPECT_EQ(again->FileCount(), 0);
}

TEST_F(DirectoryScan, WholeTreeCanBeDeletedThroughNestedChannels) {
    MakeTree({"cache\\", "cache\\a", "cache\\b\\", "cache\\b\\c", "cache\\b\\d\\", "cache\\b\\d\\e", "cache\\f\\"});
    int channelsMade = 0;
    DeleteTree(root + "\\cache\\", channelsMade);
    EXPECT_EQ(channelsMade, 4) << "one channel per folder";
    EXPECT_TRUE(::RemoveDirectoryA((root + "\\cache").c_str())) << "nothing left below the cache";
}

TEST_F(DirectoryScan, RescanReplacesTheLists) {
    MakeTree({"one\\", "one\\x", "two\\", "two\\y", "two\\z"});
    EngineObject<DirectoryChannel> scan = Scanner();
    ASSERT_TRUE(scan);
    ASSERT_TRUE(scan->Scan((root + "\\one\\*.*").c_str()));
    EXPECT_EQ(Files(*scan), (Names{"x"}));
    ASSERT_TRUE(scan->Scan((root + "\\two\\*.*").c_str()));
    EXPECT_EQ(Files(*scan), (Names{"y", "z"}));
    EXPECT_FALSE(scan->Scan((root + "\\three\\*.*").c_str()));
    EXPECT_EQ(scan->FileCount(), 0);
    EXPECT_EQ(scan->FolderCount(), 0);
    EXPECT_FALSE(scan->Scan(nullptr));
}
