#include <gtest/gtest.h>

#include <string>

#include "app/CommandLine.h"
#include "win/CommandLineText.h"

TEST(CommandLine, SilentSwitchAndTrailingFolder) {
    struct Case {
        const wchar_t* arguments;
        bool silent;
        std::wstring folder;
        bool tooLong;
    } cases[] = {
        {nullptr, false, L"", false},
        {L"", false, L"", false},
        {L"/S", true, L"", false},
        {L"  /S  ", true, L"", false},
        {L"\t/S", true, L"", false},
        {L"/s", false, L"", false},
        {L"/SS", false, L"", false},
        {L"-S", false, L"", false},
        {L"x/S", false, L"", false},
        {L"/S /D=C:\\Program Files\\Demo", true, L"C:\\Program Files\\Demo", false},
        {L"/S /D=C:\\Demo   ", true, L"C:\\Demo", false},
        {L"/S /D=\"C:\\Quoted Folder\"", true, L"C:\\Quoted Folder", false},
        {L"/S /D=", true, L"", false},
        // Everything after /D= is the folder, a later /S included.
        {L"/D=C:\\Demo /S", false, L"C:\\Demo /S", false},
        {L"/S /D=C:\\a /D=C:\\b", true, L"C:\\a /D=C:\\b", false},
        {L"/S/D=C:\\Demo", false, L"", false},
        {L"/S x/D=C:\\Demo", true, L"", false},
        {L"/foo /S /bar", true, L"", false},
        {L"/d=C:\\Demo /S", true, L"", false},
        // Not silent: the program runs its options dialog as without them.
        {L"/D=C:\\Demo", false, L"C:\\Demo", false},
        {L"/silent -S S", false, L"", false},
    };
    for (const Case& c : cases) {
        const CommandLineOptions options = ParseCommandLine(c.arguments);
        const std::wstring what = c.arguments != nullptr ? c.arguments : L"(null)";
        EXPECT_EQ(options.silent, c.silent) << what;
        EXPECT_EQ(std::wstring(options.folder), c.folder) << what;
        EXPECT_EQ(options.folderTooLong, c.tooLong) << what;
    }
}

TEST(CommandLine, FolderLengthIsBoundedByTheInstallFolder) {
    for (size_t length : {399u, 400u, 5000u}) {
        const std::wstring folder = L"C:\\" + std::wstring(length - 3, L'f');
        const CommandLineOptions options = ParseCommandLine((L"/S /D=" + folder).c_str());
        EXPECT_TRUE(options.silent);
        EXPECT_EQ(options.folderTooLong, length > 399) << length;
        EXPECT_EQ(std::wstring(options.folder), length > 399 ? L"" : folder) << length;
    }
}

TEST(CommandLine, TheArgumentsFollowTheProgramsName) {
    const struct {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"\"C:\\Program Files\\Setup.exe\" /S /D=C:\\Zo\u00eb", L"/S /D=C:\\Zo\u00eb"},
        {L"Setup.exe   /S", L"/S"},
        {L"\"C:\\\u0141ukasz\\Setup.exe\"/S", L"/S"},
        {L"\"Setup.exe", L""},
        {L"Setup.exe", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(std::wstring(win::SkipProgramName(c.line)), c.arguments) << c.line;
    // The viewer and the screen saver read their narrow command lines the same way.
    EXPECT_STREQ(win::SkipProgramName("\"C:\\My Demo\\OrvanViewer.exe\"  ZRXStart.zrx"), "ZRXStart.zrx");
    EXPECT_STREQ(win::SkipProgramName("ZRXSvr.scr /p 1234"), "/p 1234");
}

// "/LOG=" as deployment tools write it: a file with blanks runs to the next switch, a quoted one
// to its closing quote; a later "/D=" is still the folder.
TEST(CommandLine, LogFileBeforeTheFolder) {
    struct Case {
        const wchar_t* arguments;
        bool logGiven;
        std::wstring log;
        bool silent;
        std::wstring folder;
    } cases[] = {
        {L"/S /LOG=C:\\Logs\\setup.log", true, L"C:\\Logs\\setup.log", true, L""},
        {L"/LOG=C:\\Users\\Jo Smith\\setup log.txt /S /D=C:\\Demo", true, L"C:\\Users\\Jo Smith\\setup log.txt", true,
         L"C:\\Demo"},
        {L"/LOG=\"C:\\a /b\\x.log\" /S", true, L"C:\\a /b\\x.log", true, L""},
        {L"/LOG=C:\\x.log   ", true, L"C:\\x.log", false, L""},
        {L"/S /LOG=", true, L"", true, L""},
        {L"/LOG= /S", true, L"", true, L""},
        {L"/LOG=\"unclosed", true, L"unclosed", false, L""},
        {L"/S /D=C:\\Demo /LOG=C:\\x.log", false, L"", true, L"C:\\Demo /LOG=C:\\x.log"},
        {L"/log=C:\\x.log", false, L"", false, L""},
    };
    for (const Case& c : cases) {
        const CommandLineOptions options = ParseCommandLine(c.arguments);
        EXPECT_EQ(options.logGiven, c.logGiven) << c.arguments;
        EXPECT_EQ(std::wstring(options.log), c.log) << c.arguments;
        EXPECT_EQ(options.silent, c.silent) << c.arguments;
        EXPECT_EQ(std::wstring(options.folder), c.folder) << c.arguments;
    }
    const std::wstring tooLong = L"/LOG=C:\\" + std::wstring(450, L'l');
    EXPECT_TRUE(ParseCommandLine(tooLong.c_str()).logGiven);
    EXPECT_EQ(std::wstring(ParseCommandLine(tooLong.c_str()).log), L"") << "refused as no file";
}
