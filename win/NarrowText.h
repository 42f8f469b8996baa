#pragma once
#include <windows.h>

#include <cstddef>

namespace win {

// Narrow paths are walked by character, not by byte: in the double-byte code pages (932, 936,
// 949, 950) the second byte of a character may be 0x5C or 0x2F, which are then no separators.
// codePage is the ANSI code page the text is in; tests name others.

// Bytes of the character at text: 2 for a lead byte followed by a second byte, else 1; 0 at
// the end.
size_t CharLength(const char* text, UINT codePage = CP_ACP);
// The first '\' that is a character of its own, or null.
const char* FindBackslash(const char* text, UINT codePage = CP_ACP);
// Bytes of path up to and including its last separator ('\' or '/'); 0 when it has none.
size_t FolderLength(const char* path, UINT codePage = CP_ACP);

}  // namespace win
