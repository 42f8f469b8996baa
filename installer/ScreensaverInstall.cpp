// Installing a project as a Windows screen saver.
#include "FormatText.h"
#include "Installer.h"
#include "OptionsDialog.h"

namespace {

constexpr int32_t kTextCapacity = 259;

}  // namespace

void Installer::SetSystemFolder(const char* folder) {
    win::FormatText(systemFolder, sizeof(systemFolder), "%s", folder);
}

bool Installer::InstallScreensaver() {
    OptionsDialog dialog;
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry("CheckDx8", &checkDx8, 1)) return false;
    // Required although this mode never uses its value.
    unsigned char runAfterInstall = 0;
    if (!GetRequiredEntry("RunAfterInstall", &runAfterInstall, 1)) return false;
    char installPath[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("InstallPath", installPath, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("ProjectName", projectName, kTextCapacity)) return false;
    // It names the file written into the system folder.
    if (!StaysInPlace(projectName, false)) return false;
    if (checkDx8 != 0 && !IsDirectXReady()) {
        messages.Show("DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or higher needs to be "
                      "installed before the screen saver will work.",
                      projectName, MB_ICONWARNING | MB_OK);
    }

    if (!StartComponentInstall(dialog, projectName, installPath)) return false;
    ExtractFile("ZRXUnInst.exe", true);
    CopyScreensaverToSystem();
    progress->SetProgress(0.1f);
    return FinishComponentInstall("screensaver.cfg", projectName, &Installer::WriteScreensaverOptions);
}

void Installer::CopyScreensaverToSystem() {
    ExtractFile("ZRXSvr.scr", true);
    char source[kFolderCapacity + 16];
    win::FormatText(source, sizeof(source), "%s\\ZRXSvr.scr", installFolder);
    char system[MAX_PATH] = {};
    if (systemFolder[0] != '\0') {
        win::FormatText(system, sizeof(system), "%s", systemFolder);
    } else {
        ::GetSystemDirectoryA(system, kTextCapacity);
    }
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("ProjectName", projectName, kTextCapacity)) return;
    char target[MAX_PATH + kTextCapacity + 8];
    win::FormatText(target, sizeof(target), "%s\\%s.scr", system, projectName);
    if (!::CopyFileA(source, target, FALSE)) {
        char error[16];
        win::FormatText(error, sizeof(error), "%lu", ::GetLastError());
        messages.Show(error, target, MB_OK);
        messages.Show("Unable to copy screensaver to system directory", target, MB_OK);
    }
    // Recorded either way, so that the uninstaller looks for it all the same.
    Record(createdFiles, target);
}

bool Installer::WriteScreensaverOptions(FileSaverChannel* saver) {
    unsigned char doQuitCgr = 0;
    if (!GetRequiredEntry("DoQuitCgr", &doQuitCgr, 1)) return false;
    WriteChunk(saver, "SCQC", &doQuitCgr, 1);
    unsigned char doSmallPreview = 0;
    if (!GetRequiredEntry("DoSmallPreview", &doSmallPreview, 1)) return false;
    WriteChunk(saver, "SCSP", &doSmallPreview, 1);
    return true;
}
