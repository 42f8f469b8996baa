#pragma once
#include <cstddef>

// What the program takes from its command line: the silent install of deployment tools and
// the install log.
struct CommandLineOptions {
    static constexpr size_t kFolderCapacity = 400;
    // "/S" stood among the arguments before any "/D=".
    bool silent = false;
    // "/LOG=<file>" before any "/D=": the file, up to a closing quote when it begins with one,
    // else up to the next blank followed by "/" (the next switch) or the end, trailing blanks
    // removed. logGiven with an empty log: no file was named, or it did not fit.
    bool logGiven = false;
    wchar_t log[kFolderCapacity] = {};
    // Everything after a "/D=" that starts an argument, to the end of the line, spaces
    // included, surrounding quotes and trailing blanks removed; empty when none was given.
    // Wide: a folder named outside the ANSI code page is taken in its exact form later.
    wchar_t folder[kFolderCapacity] = {};
    // The "/D=" folder did not fit folder (it is then left empty).
    bool folderTooLong = false;
};

// Parses the arguments (the command line without the program's own name; null is empty).
// "/S" is matched exactly, as deployment tools write it; anything else is ignored.
CommandLineOptions ParseCommandLine(const wchar_t* arguments);

