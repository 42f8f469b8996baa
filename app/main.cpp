#include <windows.h>

#include "HostWindow.h"
#include "Launcher.h"
#include "WinPackageFile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    win::SystemPackageHost host;
    Launcher launcher(host);
    RegisterHostWindowClass(instance);
    // A null window is passed on as it is: nothing here can do better without one.
    HWND hostWindow = CreateHostWindow(instance);
    launcher.SetInstanceAndWindow(instance, hostWindow);
    launcher.Run();
    return 0;
}
