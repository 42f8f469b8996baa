#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "testkit/Files.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/Handle.h"
#include "win/WinampFolder.h"

namespace {

std::string FromCommand(const std::string& command) {
    char folder[kWinampFolderCapacity];
    std::memset(folder, 'x', sizeof(folder));
    FolderFromOpenCommand(command.c_str(), folder);
    return folder;
}

TEST(WinampFolder, TheAssociationCommandIsCutToItsProgramsFolder) {
    struct Case {
        const char* command;
        const char* folder;
        const char* what;
    } cases[] = {
        {"\"C:\\Program Files\\Winamp\\winamp.exe\" \"%1\"", "C:\\Program Files\\Winamp\\", "usual form"},
        {"\"C:\\Winamp\\winamp.exe\"", "C:\\Winamp\\", "no argument"},
        {"\"C:\\Winamp\\winamp.exe", "C:\\Winamp\\", "no closing quote: the scan stops at the end"},
        {"\"\"C:\\Winamp\\winamp.exe\"", "", "second character a quote: empty"},
        {"\"winamp.exe\" \"%1\"", "", "no backslash: empty"},
        {"\"C:\\\" \"%1\"", "C:\\", "the root"},
        {"XC:\\Winamp\\winamp.exe \"%1\"", "C:\\Winamp\\", "the first character is skipped unseen"},
        {"", "", "empty command"},
        {"\"", "", "a lone quote"},
    };
    for (const Case& c : cases) EXPECT_EQ(FromCommand(c.command), c.folder) << c.what;
}

TEST(WinampFolder, ALongCommandStaysInsideTheBuffer) {
    const std::string longPath = "\"C:\\" + std::string(600, 'a') + "\\winamp.exe\"";
    const std::string folder = FromCommand(longPath);
    EXPECT_LT(folder.size(), kWinampFolderCapacity);
    EXPECT_EQ(folder, "C:\\");
}

// Two scratch roots below HKEY_CURRENT_USER stand for the classes root and the user's root.
class WinampRegistry : public ::testing::Test {
protected:
    static constexpr const char* kScratch = "Software\\Orvan3D Test\\WinampRoots";
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        own = scratch + "\\Media\\Winamp";
        associated = scratch + "\\Associated";
        for (const std::string& made : {scratch + "\\Media", own, associated}) ::CreateDirectoryA(made.c_str(), nullptr);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\classes").c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, classes.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\user").c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, user.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        classes.reset();
        user.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kScratch);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Orvan3D Test");
        testkit::RemoveTree(scratch);
    }
    static void SetDefault(HKEY root, const char* path, DWORD type, const void* data, DWORD size) {
        win::RegKey key;
        ASSERT_EQ(::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), nullptr, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    static void SetText(HKEY root, const char* path, const std::string& text) {
        SetDefault(root, path, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    bool Find(std::string& folder) {
        char buffer[kWinampFolderCapacity];
        std::memset(buffer, 'x', sizeof(buffer));
        const bool found = WinampFolderFromRegistry(classes.get(), user.get(), buffer);
        folder = buffer;
        return found;
    }

    win::RegKey classes;
    win::RegKey user;
    std::string scratch;
    std::string own;         // an existing folder, as Winamp's own key names it
    std::string associated;  // the folder of the program the association starts
};

constexpr char kCommand[] = "Applications\\Winamp.exe\\shell\\open\\command";
constexpr char kOwn[] = "Software\\Winamp";

TEST_F(WinampRegistry, TheAssociationComesFirstThenWinampsOwnKeyUnchanged) {
    std::string folder;
    EXPECT_FALSE(Find(folder));
    EXPECT_EQ(folder, "");

    SetText(user.get(), kOwn, own);
    ASSERT_TRUE(Find(folder));
    EXPECT_EQ(folder, own) << "taken unchanged, without a backslash added";

    SetText(classes.get(), kCommand, "\"" + associated + "\\winamp.exe\" \"%1\"");
    ASSERT_TRUE(Find(folder));
    EXPECT_EQ(folder, associated + "\\");
}

// A value that names no folder to copy a plug-in into counts as no Winamp: the next place is
// asked, and in the end the user.
TEST_F(WinampRegistry, AValueThatNamesNoExistingFolderCountsAsNone) {
    ASSERT_TRUE(testkit::WriteFileBytes(scratch + "\\a file", testkit::Bytes(3, 'f')));
    struct Case {
        const char* what;
        std::string command;  // empty: no association
        std::string own;      // empty: no key of Winamp's own
        std::string found;    // empty: none
    } cases[] = {
        {"an unquoted command", associated + "\\winamp.exe \"%1\"", "", ""},
        {"an unquoted command, then Winamp's own key", associated + "\\winamp.exe \"%1\"", own, own},
        {"the program's folder is gone", "\"" + scratch + "\\gone\\winamp.exe\"", own, own},
        {"no backslash in the command", "\"winamp.exe\" \"%1\"", own, own},
        {"Winamp's own key names a folder that is gone", "", scratch + "\\gone", ""},
        {"Winamp's own key names a file", "", scratch + "\\a file", ""},
        {"Winamp's own key is relative", "", "Winamp", ""},
    };
    ::CreateDirectoryA((scratch + "\\Winamp").c_str(), nullptr);
    for (const Case& c : cases) {
        ::RegDeleteTreeA(classes.get(), nullptr);
        ::RegDeleteTreeA(user.get(), nullptr);
        if (!c.command.empty()) SetText(classes.get(), kCommand, c.command);
        if (!c.own.empty()) SetText(user.get(), kOwn, c.own);
        // A relative name would be found in the current folder.
        ::SetCurrentDirectoryA(scratch.c_str());
        std::string folder;
        EXPECT_EQ(Find(folder), !c.found.empty()) << c.what;
        EXPECT_EQ(folder, c.found) << c.what;
    }
}

TEST_F(WinampRegistry, ValuesThatAreNoTextAreNoFolder) {
    const DWORD number = 42;
    SetDefault(classes.get(), kCommand, REG_DWORD, &number, sizeof(number));
    SetDefault(user.get(), kOwn, REG_BINARY, own.c_str(), static_cast<DWORD>(own.size() + 1));
    std::string folder;
    EXPECT_FALSE(Find(folder));
    EXPECT_EQ(folder, "");
}

TEST_F(WinampRegistry, TextStoredWithoutItsZeroStillEndsWhereItEnds) {
    SetDefault(user.get(), kOwn, REG_SZ, own.data(), static_cast<DWORD>(own.size()));
    std::string folder;
    ASSERT_TRUE(Find(folder));
    EXPECT_EQ(folder, own);
    SetText(user.get(), kOwn, own + std::string(kWinampValueCapacity + 10, '\\'));
    EXPECT_FALSE(Find(folder)) << "a value that does not fit the buffer is not read";
    EXPECT_EQ(folder, "");
}

// Winamp in a folder named outside the ANSI code page: found under a narrow name that names it
// (its short name), never as "?"; a value naming such a folder that does not exist is no folder.
TEST_F(WinampRegistry, AFolderNamedOutsideTheAnsiCodePageIsNamedExactly) {
    const std::string scratch = testkit::MakeScratchFolder("winamp-code-page");
    const std::string winamp = scratch + u8"\\Łódź Winamp";
    ASSERT_TRUE(testkit::MakeFoldersWide(winamp));
    const auto setWide = [](HKEY root, const char* path, const std::string& text) {
        win::RegKey key;
        ASSERT_EQ(::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const std::wstring wide = testkit::Widen(text);
        ASSERT_EQ(::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    };
    const auto longName = [](const std::string& folder) {
        wchar_t named[MAX_PATH] = {};
        return ::GetLongPathNameW(testkit::Widen(folder).c_str(), named, MAX_PATH) != 0 ? testkit::Utf8(named)
                                                                                         : "<none>";
    };
    std::string folder;
    setWide(classes.get(), kCommand, "\"" + winamp + "\\winamp.exe\" \"%1\"");
    ASSERT_TRUE(Find(folder));
    EXPECT_EQ(longName(folder), winamp + "\\") << folder;

    setWide(classes.get(), kCommand, "\"" + scratch + u8"\\Nowa Łódź\\winamp.exe\" \"%1\"");
    EXPECT_FALSE(Find(folder));
    EXPECT_EQ(folder, "");
    setWide(user.get(), kOwn, winamp);
    ASSERT_TRUE(Find(folder)) << "Winamp's own key is asked when the association cannot be named";
    EXPECT_EQ(longName(folder), winamp) << folder;
    testkit::RemoveTreeWide(scratch);
}

}  // namespace
