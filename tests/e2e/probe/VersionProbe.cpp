// A stand-in for the system's version.dll that leaves "<its own path>.loaded" behind when a
// process loads it: planted where no library may be taken from, it proves a load by its mark.
// It exports what the system's libraries import from version.dll, so a process that takes it
// still starts and the mark is written.
#include <windows.h>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8] = {};
    const DWORD n = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    ::lstrcpynA(path + n, ".loaded", 8);
    const HANDLE mark = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) ::CloseHandle(mark);
    return TRUE;
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
    if (handle != nullptr) *handle = 0;
    return 0;
}
BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) { return FALSE; }
BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return FALSE; }

}  // extern "C"
