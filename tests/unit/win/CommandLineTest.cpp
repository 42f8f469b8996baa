#include <gtest/gtest.h>

#include <string>

#include "CommandLine.h"

TEST(CommandLine, SilentSwitchAndTrailingFolder) {
    struct Case {
        const char* arguments;
        bool silent;
        std::string folder;
        bool tooLong;
    } cases[] = {
        {nullptr, false, "", false},
        {"", false, "", false},
        {"/S", true, "", false},
        {"  /S  ", true, "", false},
        {"\t/S", true, "", false},
        {"/s", false, "", false},
        {"/SS", false, "", false},
        {"-S", false, "", false},
        {"x/S", false, "", false},
        {"/S /D=C:\\Program Files\\Demo", true, "C:\\Program Files\\Demo", false},
        {"/S /D=C:\\Demo   ", true, "C:\\Demo", false},
        {"/S /D=\"C:\\Quoted Folder\"", true, "C:\\Quoted Folder", false},
        {"/S /D=", true, "", false},
        // Everything after /D= is the folder, a later /S included.
        {"/D=C:\\Demo /S", false, "C:\\Demo /S", false},
        {"/S /D=C:\\a /D=C:\\b", true, "C:\\a /D=C:\\b", false},
        {"/S/D=C:\\Demo", false, "", false},
        {"/S x/D=C:\\Demo", true, "", false},
        {"/foo /S /bar", true, "", false},
        {"/d=C:\\Demo /S", true, "", false},
    };
    for (const Case& c : cases) {
        const CommandLineOptions options = ParseCommandLine(c.arguments);
        const std::string what = c.arguments != nullptr ? c.arguments : "(null)";
        EXPECT_EQ(options.silent, c.silent) << what;
        EXPECT_EQ(std::string(options.folder), c.folder) << what;
        EXPECT_EQ(options.folderTooLong, c.tooLong) << what;
    }
}

TEST(CommandLine, FolderLengthIsBoundedByTheInstallFolder) {
    for (size_t length : {399u, 400u, 5000u}) {
        const std::string folder = "C:\\" + std::string(length - 3, 'f');
        const CommandLineOptions options = ParseCommandLine(("/S /D=" + folder).c_str());
        EXPECT_TRUE(options.silent);
        EXPECT_EQ(options.folderTooLong, length > 399) << length;
        EXPECT_EQ(std::string(options.folder), length > 399 ? "" : folder) << length;
    }
}
