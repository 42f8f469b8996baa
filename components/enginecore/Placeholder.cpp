#include <windows.h>

// Stands for a library of the engine's file list that our engine has no work for: it only
// has to be there and load. It is its own entry point, without the C run-time's start-up.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
