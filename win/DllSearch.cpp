#include "DllSearch.h"

#include <windows.h>

namespace win {

bool HardenDllSearch() {
    // Removes the current folder even where nothing else below is available.
    ::SetDllDirectoryA("");
    // Looked up at run time: older systems lack it, and a static import would stop the
    // program from starting there at all.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return false;
    const auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefault != nullptr &&
           setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS) != FALSE;
}

}  // namespace win
