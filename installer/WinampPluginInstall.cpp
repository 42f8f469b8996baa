// Installing a project as a Winamp visualisation plug-in.
#include <shlobj.h>

#include "engine/ChunkSchema.h"
#include "installer/Installer.h"
#include "installer/ProgressPoints.h"
#include "package/PackageSchema.h"
#include "ui/OptionsDialog.h"
#include "win/ComScope.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"

namespace {

// The folder the user picks in the shell's folder browser; false when the browser is
// cancelled or the choice is no file-system folder.
bool BrowseForFolder(wchar_t (&path)[MAX_PATH]) {
    const win::ComScope com;
    BROWSEINFOW browse = {};
    browse.lpszTitle = L"Select Main WinAmp Install Folder";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
    const win::CoTaskMemory<ITEMIDLIST> chosen(::SHBrowseForFolderW(&browse));
    path[0] = L'\0';
    return chosen && ::SHGetPathFromIDListW(chosen.get(), path);
}

}  // namespace

bool Installer::FindWinampFolder(const char* projectName, char (&folder)[kWinampFolderCapacity]) {
    if (WinampFolderFromRegistry(winampClassesRoot, winampUserRoot, folder)) return true;
    if (messages.Show("WinAmp 2.x or 5.x installation folder could not be detected by the installer. This program "
                      "needs WinAmp 2.x or 5.x (not 3.x) to run.\nWould you like to continue and manually select "
                      "your WinAmp folder?",
                      projectName, MB_YESNO | MB_ICONWARNING) != IDYES) {
        return false;
    }
    // A cancelled browser leaves no folder to install into: the installation ends here. A
    // typed folder that is not a full path is refused as in the options dialog.
    wchar_t chosen[MAX_PATH];
    while (BrowseForFolder(chosen)) {
        // A folder whose name has no exact narrow form would be another folder: said, and asked again.
        if (!win::ToExactPath(chosen, folder, sizeof(folder))) {
            win::ShowNoExactPath(nullptr, chosen);
            continue;
        }
        if (OptionsDialog::IsFullPath(folder)) return true;
        OptionsDialog::RefuseFolder(projectName);
    }
    folder[0] = '\0';
    return false;
}

bool Installer::InstallWinampPlugin() { return Concluded(InstallWinampPluginSteps()); }

bool Installer::InstallWinampPluginSteps() {
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    char startupDirectory[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kStartupDirectoryKey, startupDirectory, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    // The name makes the plug-in's file in Winamp's Plugins folder. The proposed folder is
    // only a proposal: the folder the user confirms is checked.
    if (!StaysInPlace(projectName, false)) return false;
    // Required although this mode never uses its value.
    unsigned char winampVersion = 0;
    if (!GetPackageEntry(kWinampVersionKey, &winampVersion, 1, nullptr)) {
        messages.Show("Can't find winamp version", "Error", MB_OK);
        return false;
    }
    if (checkDx8 != 0 && !IsDirectXReady()) {
        messages.Show("DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or higher needs to be "
                      "installed before the winamp plugin will work.",
                      projectName, MB_ICONWARNING | MB_OK);
    }

    if (!StartComponentInstall(projectName, startupDirectory, true)) return false;
    if (!ExtractRequired(kUninstallerFile) || !ExtractRequired(kWinampPluginFile)) return false;

    char winampFolder[kWinampFolderCapacity] = {};
    if (!FindWinampFolder(projectName, winampFolder)) return false;
    // A folder from the association command ends in a backslash already; the doubled one
    // that follows is harmless and is recorded as used.
    // The plug-in is also the file the uninstall entry shows as its icon. Cannot be cut: a
    // 513-character folder and a 259-character name fit in its 1,024 bytes.
    char* pluginPath = iconFile;
    (void)win::FormatText(pluginPath, sizeof(iconFile), "%s\\Plugins\\vis_%s.dll", winampFolder, projectName);
    // From the package's bytes, as a file of the run (see CopyScreensaverToSystem). The plug-in
    // is the one file this mode exists for.
    uint32_t size = 0;
    const bool copied = WriteDecodedTo(kWinampPluginFile, pluginPath, size);
    if (!copied) {
        ShowCopyError();
        return false;
    }
    SetProgress(progress_point::kComponentCopied);
    return FinishComponentInstall(kWinampConfigName, projectName, &Installer::WriteNoOptions);
}
