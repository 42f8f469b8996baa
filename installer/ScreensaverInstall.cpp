// Installing a project as a Windows screen saver.
#include "engine/ChunkSchema.h"
#include "installer/ComponentSteps.h"
#include "installer/ProgressPoints.h"
#include "package/AsciiText.h"
#include "package/PackageSchema.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"

// The screen saver's own steps.
class Installer::ScreensaverSteps {
public:
    static bool Run(Installer& in);
    // DoQuitCgr and DoSmallPreview as the configuration's chunks; false when one is missing.
    static bool WriteOptions(Installer& in, FileSaverChannel* saver);
};

// Installs the project as a screen saver (ProjectType 5): options dialog, engine, the
// uninstaller, the screen saver copied into the system directory as <ProjectName>.scr,
// engine channels and project files, "screensaver.cfg", uninstall record (with marker),
// viewer and uninstall entries, then "Installation successfully completed!". False on a
// missing key ("Can't find project type <key>" / "Error"), a cancelled dialog, or a failed
// step (with its own box); everything the run changed is then taken back, the copy in the
// system directory included (an earlier one comes back).
bool Installer::InstallScreensaver() { return Concluded(ScreensaverSteps::Run(*this)); }

bool Installer::ScreensaverSteps::Run(Installer& in) {
    unsigned char checkDx8 = 0;
    if (!in.GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    // Required although this mode never uses its value.
    unsigned char runAfterInstall = 0;
    if (!in.GetRequiredEntry(kRunAfterInstallKey, &runAfterInstall, 1)) return false;
    char installPath[kTextCapacity + 1] = {};
    if (!in.GetRequiredEntry(kInstallPathKey, installPath, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!in.GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    // It names the file written into the system folder.
    if (!in.StaysInPlace(projectName, false)) return false;
    if (checkDx8 != 0 && !in.IsDirectXReady()) {
        in.messages.Show(
            "DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or higher needs to "
            "be installed before the screen saver will work.",
            projectName, MB_ICONWARNING | MB_OK);
    }

    if (!ComponentSteps::Start(in, projectName, installPath, false)) return false;
    if (!in.ExtractRequired(kUninstallerFile) || !in.CopyScreensaverToSystem()) return false;
    in.SetProgress(progress_point::kComponentCopied);
    return ComponentSteps::Finish(in, kScreensaverConfigName, projectName, &ScreensaverSteps::WriteOptions);
}

// Extracts "ZRXSvr.scr" and writes it from the package's bytes over <system
// directory>\<ProjectName>.scr, replacing it on commit like every file. A failed copy shows
// the error number, then "Unable to copy screensaver to system directory", both captioned
// with the target, and returns false.
bool Installer::CopyScreensaverToSystem() {
    if (!ExtractRequired(kScreensaverFile)) return false;
    char system[MAX_PATH] = {};
    if (places.systemFolder != nullptr && places.systemFolder[0] != '\0') {
        // A test's folder; one the system could not use (MAX_PATH or longer) is cut.
        CopyText(system, sizeof(system), places.systemFolder);
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

bool Installer::ScreensaverSteps::WriteOptions(Installer& in, FileSaverChannel* saver) {
    unsigned char doQuitCgr = 0;
    if (!in.GetRequiredEntry(kDoQuitCgrKey, &doQuitCgr, 1)) return false;
    WriteChunk(saver, kConfigQuitOnMouseTag, &doQuitCgr, 1);
    unsigned char doSmallPreview = 0;
    if (!in.GetRequiredEntry(kDoSmallPreviewKey, &doSmallPreview, 1)) return false;
    WriteChunk(saver, kConfigSmallPreviewTag, &doSmallPreview, 1);
    return true;
}
