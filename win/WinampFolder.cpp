#include "WinampFolder.h"

#include "Handle.h"

namespace {

// The default value of root\path as text; false when the key or a text value is missing.
bool ReadDefaultText(HKEY root, const char* path, char (&value)[kWinampFolderCapacity]) {
    value[0] = '\0';
    win::RegKey key;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD size = kWinampValueCapacity;
    if (::RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
        ERROR_SUCCESS) {
        value[0] = '\0';
        return false;
    }
    // Stored text need not end in a zero; a number or binary value is no path.
    value[size < kWinampValueCapacity ? size : kWinampValueCapacity] = '\0';
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        value[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

void FolderFromOpenCommand(const char* command, char (&folder)[kWinampFolderCapacity]) {
    size_t length = 0;
    if (command[0] != '\0') {
        const char* text = command + 1;
        while (text[length] != '\0' && text[length] != '"' && length < kWinampFolderCapacity - 1) {
            folder[length] = text[length];
            ++length;
        }
    }
    while (length > 0 && folder[length - 1] != '\\') --length;
    folder[length] = '\0';
}

bool WinampFolderFromRegistry(HKEY classesRoot, HKEY currentUser, char (&folder)[kWinampFolderCapacity]) {
    char value[kWinampFolderCapacity];
    if (ReadDefaultText(classesRoot, "Applications\\Winamp.exe\\shell\\open\\command", value)) {
        FolderFromOpenCommand(value, folder);
        return true;
    }
    if (ReadDefaultText(currentUser, "Software\\Winamp", folder)) return true;
    folder[0] = '\0';
    return false;
}
