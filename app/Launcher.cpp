#include "app/Launcher.h"

#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageSchema.h"

void Launcher::SetInstanceAndWindow(HINSTANCE newInstance, HWND newHostWindow) {
    instance = newInstance;
    hostWindow = newHostWindow;
}

bool Launcher::GetPackageValue(const char* key, void* buffer, int32_t capacity) {
    PackageReader reader(host);
    return reader.ReadEntry(key, buffer, capacity, package_format::kDefaultSection);
}

void Launcher::Run() {
    unsigned char raw[4] = {};
    if (!GetPackageValue(kProjectTypeKey, raw, sizeof(raw))) {
        outcome = SetupExit::kDamagedPackage;
        host.ShowMessage("Can't find project type", "Error");
        return;
    }
    switch (static_cast<ProjectType>(LoadU32(raw))) {
        case ProjectType::kRun: RunInPlaceMode(); break;
        case ProjectType::kInstall: ProjectInstallMode(); break;
        case ProjectType::kScreensaver: ScreensaverInstallMode(); break;
        case ProjectType::kWinamp: WinampPluginInstallMode(); break;
        default: break;
    }
}

// Every mode runs on an Installer of its own, made ready for this program's window.
bool Launcher::RunMode(bool (Installer::*mode)()) {
    Installer installer(host, messages);
    installer.Init(instance, hostWindow);
    installer.SetLog(log);
    const bool done = (installer.*mode)();
    outcome = done ? SetupExit::kInstalled : installer.FailureCause();
    return done;
}

bool Launcher::RunInPlaceMode() { return RunMode(&Installer::RunInPlace); }

bool Launcher::ProjectInstallMode() { return RunMode(&Installer::InstallProject); }

bool Launcher::ScreensaverInstallMode() { return RunMode(&Installer::InstallScreensaver); }

bool Launcher::WinampPluginInstallMode() { return RunMode(&Installer::InstallWinampPlugin); }
