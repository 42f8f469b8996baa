#pragma once
#include <cstdint>
#include <string>

// The uninstaller's command line. Started by the user, the system or a link it takes only
// "/S" (remove without asking and without the final box). Its copy in a fresh temporary folder
// is started with "/D <install folder>", "/W <handle>", the inherited handle of the process
// that started it, which it waits for before deleting that program's file, and "/P <handle>",
// the inherited pipe through which it reports its outcome to that process.
namespace uninstall {

struct Arguments {
    bool silent = false;
    // "/LOG=<file>" (quoted as a whole when the file has blanks): the log to write; logGiven
    // with an empty logPath names none.
    bool logGiven = false;
    std::string logPath;
    bool isCopy = false;         // "/D" given: this is the copy that does the removal
    std::string installFolder;   // with isCopy: the folder holding the record
    uint32_t waitHandle = 0;     // with isCopy: 0 when none was given
    uint32_t outcomeHandle = 0;  // with isCopy: 0 when none was given
};

// Reads everything after the program's own name; switches are case-insensitive, a folder
// may be quoted. Unknown words are ignored, as other uninstallers' switches would be.
Arguments ParseArguments(const char* commandLine);

// The command line for the copy, with its own path first; a log path (full) is handed on.
std::string CopyCommandLine(const std::string& copyPath, const std::string& installFolder, uint32_t waitHandle,
                            uint32_t outcomeHandle, bool silent, const std::string& logPath = "");

}  // namespace uninstall
