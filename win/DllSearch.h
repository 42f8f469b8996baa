#pragma once
#include <windows.h>

namespace win {

// Takes the program's own folder and the current folder out of the library search for the
// rest of the process: a download folder or a shared current folder may hold anything.
// Call it first thing, before any other library is loaded. Afterwards libraries are found in
// the system folder and in folders added with AddDllDirectory only. Returns whether that safe
// search is in force; where the system lacks SetDefaultDllDirectories (an old Windows without
// the update) only the current folder is removed, and libraries must be loaded by full path
// with LOAD_WITH_ALTERED_SEARCH_PATH.
bool HardenDllSearch();

// Folders that libraries loaded by LoadLibraryFrom, and what they load by name, are searched
// in, for as long as the object lives. Where the system cannot add folders it adds nothing:
// the fallback load searches the library's own folder and PATH instead.
class DllFolders {
public:
    DllFolders() = default;
    ~DllFolders() { Clear(); }
    DllFolders(const DllFolders&) = delete;
    DllFolders& operator=(const DllFolders&) = delete;

    // folder must be a full path; false when it could not be added.
    bool Add(const char* folder);
    void Clear();

private:
    static constexpr int kCapacity = 4;
    void* cookies[kCapacity] = {};
    int count = 0;
};

// Loads a library by its full path. Its own imports, and the libraries it loads by name, are
// searched in its folder, the system folder and the added folders, never in the program's or
// the current folder. Where the system lacks that search the library's folder is searched
// first (LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE LoadLibraryFrom(const char* path);

// Makes the engine's folders (the install folder, its "channels" and "3rd") searchable through
// folders, then loads the engine core library "enginecore.dll" from the install folder. The
// folders must stay added while the engine is loaded: it loads its libraries by name.
HMODULE LoadEngineLibrary(const char* installFolder, DllFolders& folders);

}  // namespace win
