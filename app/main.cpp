#include <windows.h>

#include "app/CommandLine.h"
#include "app/HostWindow.h"
#include "app/Launcher.h"
#include "app/SilentInstall.h"
#include "installer/UserMessages.h"
#include "win/CommandLineText.h"
#include "win/DllSearch.h"
#include "win/LogFile.h"
#include "win/WinPackageFile.h"

namespace {

// The exit code of a run that reports its outcome, noted at the end of its log.
int Report(const win::LogFile& log, SetupExit exit) {
    log.Line("outcome: %s, exit code %d", exit == SetupExit::kInstalled ? "done" : "failed", static_cast<int>(exit));
    return static_cast<int>(exit);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else is loaded: libraries come from the system folder and the folders
    // the program adds, never from its own folder (a download folder may hold anything) nor
    // the current one.
    win::HardenDllSearch();
    win::SystemPackageHost host;
    // Read wide: a "/D=" folder outside the ANSI code page comes as "?" in the narrow line.
    const CommandLineOptions options = ParseCommandLine(win::SkipProgramName(::GetCommandLineW()));
    // A log that was asked for and cannot be had stops the run before anything is written.
    win::LogFile log;
    if (options.logGiven && (options.log[0] == L'\0' || !log.Open(options.log, false))) {
        if (!options.silent) {
            ::MessageBoxW(nullptr, L"The log file cannot be created.", options.log[0] != L'\0' ? options.log : L"/LOG=",
                          MB_OK | MB_ICONERROR);
        }
        return static_cast<int>(SetupExit::kBadCommandLine);
    }
    SystemMessages messages;
    messages.SetLog(&log);
    host.SetLog(&log);
    Launcher launcher(host, messages);
    launcher.SetLog(&log);
    RegisterHostWindowClass(instance);
    // A null window is passed on as it is: nothing here can do better without one.
    HWND hostWindow = CreateHostWindow(instance);
    if (options.silent) {
        // A deployment tool reads the outcome from the exit code; it is 0 everywhere else.
        SetupExit exit = SetupExit::kInstalled;
        if (RunSilentInstall(host, instance, hostWindow, options, log, exit) == SilentOutcome::kReported) {
            return Report(log, exit);
        }
    }
    launcher.SetInstanceAndWindow(instance, hostWindow);
    launcher.Run();
    // Interactive runs end with 0, unless the caller asked for a log and so for the outcome.
    return options.logGiven ? Report(log, launcher.Outcome()) : 0;
}
