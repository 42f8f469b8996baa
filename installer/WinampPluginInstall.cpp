// Installing a project as a Winamp visualisation plug-in.
#include <shlobj.h>

#include "engine/ChunkSchema.h"
#include "installer/ComponentSteps.h"
#include "installer/ProgressPoints.h"
#include "package/PackageSchema.h"
#include "ui/OptionsDialog.h"
#include "win/ComScope.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"
#include "win/WinampFolder.h"

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

// The plug-in's own steps.
class Installer::WinampSteps {
public:
    static bool Run(Installer& in);
    // The Winamp folder: the registry first, then the user's choice. False when the user
    // declines or cancels; folder is then empty.
    static bool FindFolder(Installer& in, const char* projectName, char (&folder)[kWinampFolderCapacity]);
};

bool Installer::WinampSteps::FindFolder(Installer& in, const char* projectName, char (&folder)[kWinampFolderCapacity]) {
    if (WinampFolderFromRegistry(in.places.winampClassesRoot, in.places.winampUserRoot, folder)) return true;
    if (in.messages.Show("WinAmp 2.x or 5.x installation folder could not be detected by the installer. This program "
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

// Installs the project as a Winamp visualisation plug-in (ProjectType 6): as the screen
// saver, but the plug-in library is copied to <Winamp folder>\Plugins\vis_<ProjectName>.dll
// and the configuration is "winamp.cfg". The Winamp folder comes from the registry, else
// from the user through the folder browser; declining either question or cancelling the
// browser ends the installation with false, taken back like every failure.
bool Installer::InstallWinampPlugin() { return Concluded(WinampSteps::Run(*this)); }

bool Installer::WinampSteps::Run(Installer& in) {
    unsigned char checkDx8 = 0;
    if (!in.GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    char startupDirectory[kTextCapacity + 1] = {};
    if (!in.GetRequiredEntry(kStartupDirectoryKey, startupDirectory, kTextCapacity)) return false;
    char projectName[kTextCapacity + 1] = {};
    if (!in.GetRequiredEntry(kProjectNameKey, projectName, kTextCapacity)) return false;
    // The name makes the plug-in's file in Winamp's Plugins folder. The proposed folder is
    // only a proposal: the folder the user confirms is checked.
    if (!in.StaysInPlace(projectName, false)) return false;
    // Required although this mode never uses its value.
    unsigned char winampVersion = 0;
    if (!in.GetPackageEntry(kWinampVersionKey, &winampVersion, 1, nullptr)) {
        in.messages.Show("Can't find winamp version", "Error", MB_OK);
        return false;
    }
    if (checkDx8 != 0 && !in.IsDirectXReady()) {
        in.messages.Show(
            "DirectX 9.0C or higher was not detected on this system\n\rDirectX 9.0C or higher needs to be "
            "installed before the winamp plugin will work.",
            projectName, MB_ICONWARNING | MB_OK);
    }

    if (!ComponentSteps::Start(in, projectName, startupDirectory, true)) return false;
    if (!in.ExtractRequired(kUninstallerFile) || !in.ExtractRequired(kWinampPluginFile)) return false;

    char winampFolder[kWinampFolderCapacity] = {};
    if (!FindFolder(in, projectName, winampFolder)) return false;
    // A folder from the association command ends in a backslash already; the doubled one
    // that follows is harmless and is recorded as used.
    // The plug-in is also the file the uninstall entry shows as its icon. Cannot be cut: a
    // 513-character folder and a 259-character name fit in its 1,024 bytes.
    char* pluginPath = in.iconFile;
    (void)win::FormatText(pluginPath, sizeof(in.iconFile), "%s\\Plugins\\vis_%s.dll", winampFolder, projectName);
    // From the package's bytes, as a file of the run (see CopyScreensaverToSystem). The plug-in
    // is the one file this mode exists for.
    uint32_t size = 0;
    const bool copied = in.WriteDecodedTo(kWinampPluginFile, pluginPath, size);
    if (!copied) {
        in.ShowCopyError();
        return false;
    }
    in.SetProgress(progress_point::kComponentCopied);
    return ComponentSteps::Finish(in, kWinampConfigName, projectName, nullptr);
}
