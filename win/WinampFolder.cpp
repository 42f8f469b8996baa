#include "win/WinampFolder.h"

#include "win/ExactPath.h"
#include "win/Handle.h"

namespace {

// Room for the value as wide text, one character more so that a value stored without its zero
// still ends.
constexpr DWORD kWideCapacity = kWinampValueCapacity + 1;

// The default value of root\path as text, read wide: Winamp's folder may be named outside the
// ANSI code page. False when the key or a text value is missing.
bool ReadDefaultText(HKEY root, const char* path, wchar_t (&value)[kWideCapacity]) {
    value[0] = L'\0';
    win::RegKey key;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD size = kWinampValueCapacity * sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        // A number or binary value is no path.
        value[0] = L'\0';
        return false;
    }
    // Stored text need not end in a zero.
    value[size / sizeof(wchar_t)] = L'\0';
    return true;
}

// The length of the folder FolderFromOpenCommand takes from command + 1.
template <typename Char>
size_t OpenCommandFolderLength(const Char* command) {
    size_t length = 0;
    if (command[0] != 0) {
        const Char* text = command + 1;
        while (text[length] != 0 && text[length] != '"' && length < kWinampFolderCapacity - 1) ++length;
    }
    while (length > 0 && command[length] != '\\') --length;
    return length;
}

// Where a plug-in can be copied to: an existing folder named by a full path. Anything else in
// the registry (a stale entry, a relative name) counts as no Winamp, so that the user is asked.
bool IsUsableFolder(const wchar_t* path) {
    const bool full = (path[0] == L'\\' && path[1] == L'\\') || (path[0] != 0 && path[1] == L':' && path[2] == L'\\');
    const DWORD attributes = full ? ::GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void FolderFromOpenCommand(const char* command, char (&folder)[kWinampFolderCapacity]) {
    const size_t length = OpenCommandFolderLength(command);
    for (size_t i = 0; i < length; ++i) folder[i] = command[i + 1];
    folder[length] = '\0';
}

bool WinampFolderFromRegistry(HKEY classesRoot, HKEY currentUser, char (&folder)[kWinampFolderCapacity]) {
    wchar_t value[kWideCapacity];
    // Only a command that starts with the quoted program path gives its folder: the cut below
    // would take an unquoted one from its second character.
    if (ReadDefaultText(classesRoot, "Applications\\Winamp.exe\\shell\\open\\command", value) && value[0] == L'"') {
        const size_t length = OpenCommandFolderLength(value);
        value[length + 1] = L'\0';
        // Without an exact narrow form the folder cannot be named; the user is asked for one.
        if (IsUsableFolder(value + 1) && win::ToExactPath(value + 1, folder, kWinampFolderCapacity)) return true;
    }
    if (ReadDefaultText(currentUser, "Software\\Winamp", value) && IsUsableFolder(value) &&
        win::ToExactPath(value, folder, kWinampFolderCapacity)) {
        return true;
    }
    folder[0] = '\0';
    return false;
}
