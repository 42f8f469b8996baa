#include "app/HostWindow.h"

namespace {
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

bool RegisterHostWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    // The colour index 4 plus one, as a brush handle value.
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(5));
    windowClass.lpszClassName = kHostWindowClass;
    return ::RegisterClassExA(&windowClass) != 0;
}

HWND CreateHostWindow(HINSTANCE instance) {
    return ::CreateWindowExA(0, kHostWindowClass, kHostWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 25, 25, nullptr,
                             nullptr, instance, nullptr);
}
