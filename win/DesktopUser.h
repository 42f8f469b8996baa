#pragma once
#include <windows.h>

namespace win {

// Starts program (full path) with commandLine in folder with the rights of the user the
// desktop's shell runs for, not this process's: an elevated install starts what it installed
// as the user would start it. False, with nothing started, where that cannot be done (no shell
// window, as under Wine or without a desktop shell; no right to the shell's token); the caller then starts it itself.
bool StartAsDesktopUser(const char* program, const char* commandLine, const char* folder);

}  // namespace win
