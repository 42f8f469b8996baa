#pragma once
#include <windows.h>

#include <string>

#include "win/Handle.h"

namespace win {

// Calls visit(entry) for each entry that pattern (a folder followed by "\*" or a narrower mask)
// matches, "." and ".." left out; visit returns false to stop. False when nothing could be
// listed (no such folder, or no match).
template <typename Visit>
bool ForEachEntry(const std::string& pattern, Visit visit) {
    WIN32_FIND_DATAA entry;
    FindHandle find(::FindFirstFileA(pattern.c_str(), &entry));
    if (!find) return false;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (!visit(static_cast<const WIN32_FIND_DATAA&>(entry))) break;
    } while (::FindNextFileA(find.get(), &entry));
    return true;
}

}  // namespace win
