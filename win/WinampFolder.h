#pragma once
#include <windows.h>

#include <cstddef>

// Where Winamp is installed, as its registry entries tell: the plug-in install puts its copy
// there, and the uninstaller finds that place again the same way.

// The registry value buffer the location is read into.
constexpr DWORD kWinampValueCapacity = 513;
// One byte more than the value buffer, so that a value stored without its zero still ends.
constexpr size_t kWinampFolderCapacity = kWinampValueCapacity + 1;

// The folder of the program an association command starts, e.g. "\"C:\\Winamp\\winamp.exe\"
// \"%1\"" gives "C:\\Winamp\\": the text from the second character up to the next double quote
// (or the end), cut back to its last backslash, which stays. The first character is taken to
// be the opening quote without looking at it. No backslash, or an empty command, gives "".
void FolderFromOpenCommand(const char* command, char (&folder)[kWinampFolderCapacity]);

// The default value of classesRoot\Applications\Winamp.exe\shell\open\command, cut by
// FolderFromOpenCommand when it begins with a quote; else the default value of
// currentUser\Software\Winamp unchanged. Each counts only when it names an existing folder by
// a full path, and is read wide and taken in its exact narrow form (win/ExactPath.h). False,
// with folder empty, when neither key gives such a folder.
bool WinampFolderFromRegistry(HKEY classesRoot, HKEY currentUser, char (&folder)[kWinampFolderCapacity]);
