#include "win/DllSearch.h"

#include "win/FormatText.h"

namespace win {

namespace {

// Looked up at run time: older systems lack these, and a static import would stop the
// program from starting there at all.
FARPROC Kernel32Function(const char* name) {
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? ::GetProcAddress(kernel, name) : nullptr;
}

template <typename Function>
Function Kernel32(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(Kernel32Function(name)));
}

using AddDllDirectoryFn = void*(WINAPI*)(const wchar_t*);
using RemoveDllDirectoryFn = BOOL(WINAPI*)(void*);

constexpr int kFolderCapacity = 600;

}  // namespace

bool HardenDllSearch() {
    // Removes the current folder even where nothing else below is available.
    ::SetDllDirectoryA("");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = Kernel32<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    return setDefault != nullptr &&
           setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS) != FALSE;
}

bool DllFolders::Add(const char* folder) {
    const auto add = Kernel32<AddDllDirectoryFn>("AddDllDirectory");
    if (add == nullptr || count == kCapacity) return false;
    wchar_t wide[kFolderCapacity];
    if (::MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, kFolderCapacity) == 0) return false;
    void* cookie = add(wide);
    if (cookie == nullptr) return false;
    cookies[count++] = cookie;
    return true;
}

void DllFolders::Clear() {
    const auto remove = Kernel32<RemoveDllDirectoryFn>("RemoveDllDirectory");
    while (count > 0) {
        --count;
        if (remove != nullptr) remove(cookies[count]);
        cookies[count] = nullptr;
    }
}

HMODULE LoadLibraryFrom(const char* path) {
    // Looked up like the others although every system has it: one import fewer keeps the stub
    // within its size.
    using LoadLibraryExFn = HMODULE(WINAPI*)(const char*, HANDLE, DWORD);
    const auto load = Kernel32<LoadLibraryExFn>("LoadLibraryExA");
    if (load == nullptr) return nullptr;
    // The search flags exist exactly where AddDllDirectory does; elsewhere they make the load fail.
    if (Kernel32Function("AddDllDirectory") != nullptr) {
        return load(path, nullptr,
                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    }
    return load(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadEngineLibrary(const char* installFolder, DllFolders& folders) {
    folders.Clear();
    char path[kFolderCapacity];
    // The engine and its run-time find each other by name in these folders, and only there.
    static const char* const kSubfolders[] = {"", "\\channels", "\\3rd"};
    for (const char* subfolder : kSubfolders) {
        if (FormatText(path, sizeof(path), "%s%s", installFolder, subfolder)) folders.Add(path);
    }
    if (!FormatText(path, sizeof(path), "%s\\enginecore.dll", installFolder)) return nullptr;
    return LoadLibraryFrom(path);
}

}  // namespace win
