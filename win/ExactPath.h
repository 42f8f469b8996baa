#pragma once
#include <windows.h>

#include <cstddef>

namespace win {

// The program names files with narrow text. A path the system gives as wide text is taken in a
// narrow form naming the same file: its ANSI form when that converts back without loss, else the
// short (8.3) form of its longest existing part followed by the rest, if that rest converts
// without loss. A name outside the ANSI code page would otherwise turn into "?" and name nothing.

// WideCharToMultiByte's signature: the conversion ToExactNarrow makes, replaced by tests.
using WideToNarrowCall = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
// The first `length` characters of `wide` in codePage, into `path`, when they turn back into the
// same characters; best-fit replacements ("Ł" as "L") name another file and count as loss.
bool ToExactNarrow(const wchar_t* wide, int length, char* path, size_t capacity, UINT codePage,
                   WideToNarrowCall convert);

// Writes the exact narrow form of `wide` into `path`; false when there is none (short names
// disabled on that volume, or the part that does not exist yet is outside the code page) or it
// does not fit `capacity`.
bool ToExactPath(const wchar_t* wide, char* path, size_t capacity);

// A module's own path (null: the program's), exactly.
bool ExactModulePath(HMODULE module, char* path, size_t capacity);
// The system folder, exactly (no trailing backslash).
bool ExactSystemFolder(char* path, size_t capacity);

// The text of a box for a folder the program cannot name; the box's caption is the folder.
constexpr const char kNoExactPathText[] =
    "This folder's name has letters outside the system's code page and no short name, so the "
    "program cannot use it.";

// Shows kNoExactPathText with the folder, wide, as the caption, so the user sees the real name.
void ShowNoExactPath(HWND owner, const wchar_t* folder);

}  // namespace win
