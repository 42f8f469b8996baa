// Installing a project as a program: options dialog, extraction, Start-menu links, record and
// uninstall entry.
#include <shlobj.h>

#include "ExactPath.h"
#include "FormatText.h"
#include "Installer.h"
#include "OptionsDialog.h"

namespace {

constexpr int32_t kTextCapacity = 259;
// The Programs folder and ShortCutName, each at most 259 characters, and the longest suffix.
constexpr size_t kLinkCapacity = 2 * 260 + 16;

// The Programs folder as a path; false when the shell cannot give it.
// A profile folder outside the ANSI code page is named by its short form; without one no
// link is made, as when the shell gives no folder.
bool ProgramsFolder(HWND owner, char (&path)[MAX_PATH]) {
    LPITEMIDLIST location = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(owner, CSIDL_PROGRAMS, &location))) return false;
    wchar_t wide[MAX_PATH] = {};
    const bool converted = ::SHGetPathFromIDListW(location, wide) != FALSE;
    ::CoTaskMemFree(location);
    return converted && win::ToExactPath(wide, path, sizeof(path));
}

}  // namespace

bool Installer::InstallProjectSilently(const char* folder, const bool& failureReported) {
    silent = true;
    silentFolder = folder != nullptr ? folder : "";
    silentFailure = &failureReported;
    const bool installed = InstallProject();
    silent = false;
    silentFolder = "";
    silentFailure = nullptr;
    return installed;
}

void Installer::AddLink(const char* program, const char* programs, const char* shortCutName, const char* suffix,
                        const char* description, const char* arguments) {
    char target[kFolderCapacity + 32];
    win::FormatText(target, sizeof(target), "%s\\%s", installFolder, program);
    char link[kLinkCapacity];
    win::FormatText(link, sizeof(link), "%s%s%s", programs, shortCutName, suffix);
    CreateLinkFolders(link);
    // Recorded whatever the result, so that the uninstaller looks for it all the same; only a
    // path that does not fit is never made, and a record of it would name another file.
    if (CreateShortcut(target, link, description, arguments) != kLinkPathTooLong) Record(createdFiles, link);
}

bool Installer::InstallProject() {
    OptionsDialog dialog;
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry("CheckDx8", &checkDx8, 1)) return false;
    unsigned char runAfterInstall = 0;
    if (!GetRequiredEntry("RunAfterInstall", &runAfterInstall, 1)) return false;
    // Files install without DirectX; a silent install has nobody to ask.
    if (checkDx8 != 0 && !silent && !IsDirectXReady() &&
        messages.Show("DirectX 9.0C or higher was not detected on this system\r\nPlease install DirectX 9.0C or higher "
                      "before running the program that is installed.\r\nContinue installation?",
                      "DirectX version check", MB_YESNO | MB_ICONWARNING) != IDYES) {
        return false;
    }
    char installPath[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("InstallPath", installPath, kTextCapacity)) return false;
    char shortCutName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("ShortCutName", shortCutName, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry("ProjectName", projectName, kTextCapacity)) return false;
    // The links go below the Programs folder, and the name into the registry key: neither may
    // climb out of its place.
    if (!StaysInPlace(shortCutName, false) || !StaysInPlace(projectName, false)) return false;

    if (silent) {
        if (!SetInstallFolder(silentFolder[0] != '\0' ? silentFolder : installPath) ||
            !OptionsDialog::IsFullPath(installFolder)) {
            messages.Show("The installation folder must be a full path", projectName, MB_OK);
            return false;
        }
    } else {
        dialog.SetProjectName(projectName);
        if (!dialog.Show(instance, hostWindow, installPath)) return false;
        OpenProgress();
        SetInstallFolder(dialog.GetFolder());
    }
    // Fails while the folder does not exist yet; the viewer start sets it again.
    ::SetCurrentDirectoryA(installFolder);

    if (!ExtractRequired("OrvanViewer.exe", "OrvanViewer.exe not found")) return false;
    if (progress) progress->SetProgress(0.05f);
    if (!ExtractEngineFiles()) return false;
    if (progress) progress->SetProgress(0.25f);

    char programs[MAX_PATH] = {};
    if (ProgramsFolder(hostWindow, programs)) {
        AddLink("OrvanViewer.exe", programs, shortCutName, ".lnk", "Orvan3D Project Link", "ZRXStart.zrx");
        AddLink("ZRXUnInst.exe", programs, shortCutName, " Uninstall.lnk", "Orvan3D Uninstall Link", nullptr);
    }
    if (progress) progress->SetProgress(0.3f);

    if (!LoadEngine()) return false;
    // A missing uninstaller does not stop the installation; its link then points at nothing.
    // One that is damaged or could not be written (disk full) does: the uninstall entry would
    // name it.
    if (!ExtractRequired("ZRXUnInst.exe")) return false;
    if (!CreateFileLoader()) return false;
    if (!ExtractChannels() || !ExtractProjectFiles()) return false;
    // Item failures do not stop an install, but a silent one must not record a damaged
    // install as complete.
    if (silent && silentFailure != nullptr && *silentFailure) {
        ReleaseEngine();
        return false;
    }

    // The uninstall entry is only made for a record that exists: without one the install
    // could never be removed.
    auto* saver = static_cast<FileSaverChannel*>(channelFactory->CreateChannel(kFileSaverChannelId, 0, 0));
    bool recorded = false;
    if (saver != nullptr) {
        recorded = WriteUninstallRecord(saver, projectName, false);
        saver->Destroy(kEngineDeleteObject);
    }
    ReleaseEngine();
    if (!recorded) {
        ShowCopyError();
        return false;
    }
    if (progress) {
        progress->SetProgress(0.95f);
        progress->Close();
        progress.reset();
    }

    RegisterUninstall();
    if (silent) return true;
    if (runAfterInstall != 0 && IsDirectXReady()) {
        ::SetCurrentDirectoryA(installFolder);
        StartViewer(false);
    } else {
        messages.Show("Installation successfully completed!\r\nYou are able to find the installed program in the Start "
                      "menu.",
                      projectName, MB_ICONINFORMATION);
    }
    return true;
}
