// Installing a project as a Windows screen saver.
#include "engine/ChunkSchema.h"
#include "installer/Installer.h"
#include "installer/ProgressPoints.h"
#include "package/AsciiText.h"
#include "package/PackageSchema.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"

void Installer::SetSystemFolder(const char* folder) {
    // A test's folder; one the system could not use (MAX_PATH or longer) is cut.
    CopyText(systemFolder, sizeof(systemFolder), folder);
}

bool Installer::InstallScreensaver() { return Concluded(InstallScreensaverSteps()); }

bool Installer::InstallScreensaverSteps() {
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    // Required although this mode never uses its value.
    unsigned char runAfterInstall = 0;
    if (!GetRequiredEntry(kRunAfterInstallKey, &runAfterInstall, 1)) return false;
    char installPath[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kInstallPathKey, installPath, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    // It names the file written into the system folder.
    if (!StaysInPlace(projectName, false)) return false;
    if (checkDx8 != 0 && !IsDirectXReady()) {
        messages.Show("DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or higher needs to be "
                      "installed before the screen saver will work.",
                      projectName, MB_ICONWARNING | MB_OK);
    }

    if (!StartComponentInstall(projectName, installPath, false)) return false;
    if (!ExtractRequired(kUninstallerFile) || !CopyScreensaverToSystem()) return false;
    SetProgress(progress_point::kComponentCopied);
    return FinishComponentInstall(kScreensaverConfigName, projectName, &Installer::WriteScreensaverOptions);
}

bool Installer::CopyScreensaverToSystem() {
    if (!ExtractRequired(kScreensaverFile)) return false;
    char system[MAX_PATH] = {};
    if (systemFolder[0] != '\0') {
        CopyText(system, sizeof(system), systemFolder);  // the same size
    } else if (!win::ExactSystemFolder(system, sizeof(system))) {
        ShowCopyError();
        return false;
    }
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    // The copy is also the file the uninstall entry shows as its icon.
    // Cannot be cut: a system folder and a project name of at most 259 characters each.
    char* target = iconFile;
    (void)win::FormatText(target, sizeof(iconFile), "%s\\%s.scr", system, projectName);
    // From the package's bytes, as a file of the run like every other: the copy in installFolder
    // may have been changed since it was written, and an earlier copy comes back when the
    // install fails.
    uint32_t size = 0;
    const bool copied = WriteDecodedTo(kScreensaverFile, target, size);
    if (!copied) {
        char error[16];  // any 32-bit number
        (void)win::FormatText(error, sizeof(error), "%lu", ::GetLastError());
        messages.Show(error, target, MB_OK);
        messages.Show("Unable to copy screensaver to system directory", target, MB_OK);
    }
    // The install stops without the saver it exists for.
    return copied;
}

bool Installer::WriteScreensaverOptions(FileSaverChannel* saver) {
    unsigned char doQuitCgr = 0;
    if (!GetRequiredEntry(kDoQuitCgrKey, &doQuitCgr, 1)) return false;
    WriteChunk(saver, kConfigQuitOnMouseTag, &doQuitCgr, 1);
    unsigned char doSmallPreview = 0;
    if (!GetRequiredEntry(kDoSmallPreviewKey, &doSmallPreview, 1)) return false;
    WriteChunk(saver, kConfigSmallPreviewTag, &doSmallPreview, 1);
    return true;
}
