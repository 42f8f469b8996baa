#pragma once
#include <windows.h>

#include <cstdint>

#include "package/DeploymentValues.h"
#include "win/LogFile.h"

class Installer;
class PackageHost;
class UserMessages;

// Reads ProjectType from the package and runs exactly one delivery mode.
class Launcher {
public:
    Launcher(PackageHost& host, UserMessages& messages) : host(host), messages(messages) {}
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    virtual ~Launcher() = default;

    // Reads ProjectType and calls its mode: 1 run in place, 2 project install, 5 screen saver,
    // 6 plug-in; any other value does nothing. A missing or damaged value shows
    // "Can't find project type" / "Error".
    virtual void Run();
    virtual void SetInstanceAndWindow(HINSTANCE instance, HWND hostWindow);
    // Reads one APPDATA value into buffer through a reader of its own, opened and closed here.
    // False when the value is missing or damaged (the reader has shown any CRC error).
    virtual bool GetPackageValue(const char* key, void* buffer, int32_t capacity);
    // Each mode runs to its end; false when it failed or is not available.
    virtual bool RunInPlaceMode();
    virtual bool ProjectInstallMode();
    virtual bool ScreensaverInstallMode();
    virtual bool WinampPluginInstallMode();

    // The log every mode notes what it writes in; none: nothing is noted.
    void SetLog(const win::LogFile* file) { log = file; }
    // How the last Run ended, as the exit code of a run asked to report it: kInstalled when the
    // mode succeeded or none ran, else why it failed.
    SetupExit Outcome() const { return outcome; }

protected:
    bool RunMode(bool (Installer::*mode)());

    PackageHost& host;
    UserMessages& messages;
    HINSTANCE instance = nullptr;
    HWND hostWindow = nullptr;
    const win::LogFile* log = nullptr;
    SetupExit outcome = SetupExit::kInstalled;
};
