#pragma once
#include <windows.h>

#include <string>
#include <type_traits>

#include "win/Handle.h"

namespace win {

namespace detail {
inline HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA* entry) { return ::FindFirstFileA(pattern, entry); }
inline HANDLE FindFirstEntry(const wchar_t* pattern, WIN32_FIND_DATAW* entry) { return ::FindFirstFileW(pattern, entry); }
inline BOOL FindNextEntry(HANDLE find, WIN32_FIND_DATAA* entry) { return ::FindNextFileA(find, entry); }
inline BOOL FindNextEntry(HANDLE find, WIN32_FIND_DATAW* entry) { return ::FindNextFileW(find, entry); }
}  // namespace detail

// Calls visit(entry) for each entry that pattern (a folder followed by "\*" or a narrower mask)
// matches, "." and ".." left out; visit returns false to stop. False when nothing could be
// listed (no such folder, or no match). Narrow or wide, by the pattern's characters.
template <typename Char, typename Visit>
bool ForEachEntry(const std::basic_string<Char>& pattern, Visit visit) {
    using Entry = std::conditional_t<sizeof(Char) == 1, WIN32_FIND_DATAA, WIN32_FIND_DATAW>;
    Entry entry;
    FindHandle find(detail::FindFirstEntry(pattern.c_str(), &entry));
    if (!find) return false;
    do {
        const Char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        if (!visit(static_cast<const Entry&>(entry))) break;
    } while (detail::FindNextEntry(find.get(), &entry));
    return true;
}

}  // namespace win
