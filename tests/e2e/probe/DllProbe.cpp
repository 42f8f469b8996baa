// A library that notes where it was loaded from: on load it appends its own full path to the
// file named by ORVAN_PROBE_LOG (when set), so that a test sees which of several copies of
// the same name the loader chose.
#include <windows.h>

extern "C" __declspec(dllexport) int OrvanProbeTouch() { return 1; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char log[MAX_PATH];
    const DWORD logLength = ::GetEnvironmentVariableA("ORVAN_PROBE_LOG", log, sizeof(log));
    if (logLength == 0 || logLength >= sizeof(log)) return TRUE;
    char line[MAX_PATH + 2];
    const DWORD length = ::GetModuleFileNameA(instance, line, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    line[length] = '\r';
    line[length + 1] = '\n';
    // Appended whole, so that the program and the viewer it starts can both write.
    const HANDLE file = ::CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    DWORD written = 0;
    ::WriteFile(file, line, length + 2, &written, nullptr);
    ::CloseHandle(file);
    return TRUE;
}
