#include <windows.h>

#include "HostWindow.h"
#include "Launcher.h"
#include "UserMessages.h"
#include "WinPackageFile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    win::SystemPackageHost host;
    SystemMessages messages;
    Launcher launcher(host, messages);
    RegisterHostWindowClass(instance);
    // A null window is passed on as it is: nothing here can do better without one.
    HWND hostWindow = CreateHostWindow(instance);
    launcher.SetInstanceAndWindow(instance, hostWindow);
    launcher.Run();
    return 0;
}
