#include <windows.h>

#include "app/CommandLine.h"
#include "app/HostWindow.h"
#include "app/Launcher.h"
#include "app/SilentInstall.h"
#include "installer/UserMessages.h"
#include "win/CommandLineText.h"
#include "win/DllSearch.h"
#include "win/WinPackageFile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else is loaded: libraries come from the system folder and the folders
    // the program adds, never from its own folder (a download folder may hold anything) nor
    // the current one.
    win::HardenDllSearch();
    win::SystemPackageHost host;
    SystemMessages messages;
    Launcher launcher(host, messages);
    RegisterHostWindowClass(instance);
    // A null window is passed on as it is: nothing here can do better without one.
    HWND hostWindow = CreateHostWindow(instance);
    // Read wide: a "/D=" folder outside the ANSI code page comes as "?" in the narrow line.
    const CommandLineOptions options = ParseCommandLine(win::SkipProgramName(::GetCommandLineW()));
    if (options.silent) {
        // A deployment tool reads the outcome from the exit code; it is 0 everywhere else.
        switch (RunSilentInstall(host, instance, hostWindow, options)) {
            case SilentOutcome::kInstalled: return 0;
            case SilentOutcome::kFailed: return 1;
            case SilentOutcome::kOtherMode: break;
        }
    }
    launcher.SetInstanceAndWindow(instance, hostWindow);
    launcher.Run();
    return 0;
}
