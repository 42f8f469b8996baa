// orvan_hellobox: the smallest GUI program that shows a message box, the baseline for the
// program's start-up overhead (time from the start to its first box).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::MessageBoxA(nullptr, "Hello", "Hello", MB_OK);
    return 0;
}
