#include "app/Launcher.h"

#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "package/PackageReader.h"

void Launcher::SetInstanceAndWindow(HINSTANCE newInstance, HWND newHostWindow) {
    instance = newInstance;
    hostWindow = newHostWindow;
}

bool Launcher::GetPackageValue(const char* key, void* buffer, int32_t capacity) {
    PackageReader reader(host);
    return reader.ReadEntry(key, buffer, capacity, "APPDATA");
}

void Launcher::Run() {
    unsigned char raw[4] = {};
    if (!GetPackageValue("ProjectType", raw, sizeof(raw))) {
        host.ShowMessage("Can't find project type", "Error");
        return;
    }
    switch (static_cast<int32_t>(LoadU32(raw))) {
        case 1: RunInPlaceMode(); break;
        case 2: ProjectInstallMode(); break;
        case 5: ScreensaverInstallMode(); break;
        case 6: WinampPluginInstallMode(); break;
        default: break;
    }
}

bool Launcher::RunInPlaceMode() {
    Installer installer(host, messages);
    installer.Init(instance, hostWindow);
    return installer.RunInPlace();
}

bool Launcher::ProjectInstallMode() {
    Installer installer(host, messages);
    installer.Init(instance, hostWindow);
    return installer.InstallProject();
}

bool Launcher::ScreensaverInstallMode() {
    Installer installer(host, messages);
    installer.Init(instance, hostWindow);
    return installer.InstallScreensaver();
}

bool Launcher::WinampPluginInstallMode() {
    Installer installer(host, messages);
    installer.Init(instance, hostWindow);
    return installer.InstallWinampPlugin();
}
