// Installing a project as a program: options dialog, extraction, Start-menu links, record and
// uninstall entry.
#include <shlobj.h>

#include <cstring>

#include "installer/Installer.h"
#include "installer/ProgressPoints.h"
#include "package/DeploymentValues.h"
#include "ui/OptionsDialog.h"
#include "win/ComScope.h"
#include "win/DesktopUser.h"
#include "win/ExactPath.h"
#include "win/FormatText.h"
#include "win/NarrowText.h"

namespace {

// The Programs folder and ShortCutName, each at most 259 characters, and the longest suffix.
constexpr size_t kLinkCapacity = 2 * 260 + 16;

// A shell folder (the Programs folder of the install's scope, the user's profile) as a path;
// false when the shell cannot give it. A profile folder outside the ANSI code page is named by
// its short form; without one no link is made, as when the shell gives no folder.
bool ShellFolder(HWND owner, int csidl, char (&path)[MAX_PATH]) {
    win::CoTaskMemory<ITEMIDLIST> location;
    if (FAILED(::SHGetSpecialFolderLocation(owner, csidl, location.put()))) return false;
    wchar_t wide[MAX_PATH] = {};
    return ::SHGetPathFromIDListW(location.get(), wide) != FALSE && win::ToExactPath(wide, path, sizeof(path));
}

// How much of path the text prefix matches, ASCII letter case aside; the length of prefix when
// path begins with it.
size_t Matching(const char* path, const char* prefix) {
    size_t i = 0;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    while (prefix[i] != '\0' && lower(path[i]) == lower(prefix[i])) ++i;
    return i;
}

// path is folder or lies below it.
bool IsInside(const char* path, const char* folder) {
    const size_t length = Matching(path, folder);
    return folder[length] == '\0' && (path[length] == '\\' || path[length] == '\0');
}

}  // namespace

// What InstallProjectSilently asks of the one install it runs.
struct Installer::SilentRun {
    const char* folder;           // "" for InstallPath
    const bool* failureReported;  // the caller's note that a failure box was shown
};

// Zeroed by its user (ProjectTexts texts{}): member initialisers would make the compiler copy
// a zero template kept in the program's data.
struct Installer::ProjectTexts {
    char installPath[kTextCapacity + 1];
    char shortCutName[kTextCapacity + 1];
    char projectName[kTextCapacity + 1];
};

bool Installer::InstallProject() { return Concluded(InstallProjectFor(nullptr)); }

bool Installer::InstallProjectSilently(const char* folder, const bool& failureReported) {
    const SilentRun silent{folder != nullptr ? folder : "", &failureReported};
    return Concluded(InstallProjectFor(&silent));
}

bool Installer::AddLink(const char* program, const char* programs, const char* shortCutName, const char* suffix,
                        const char* description, const char* arguments, bool makeFolders) {
    OwnPath target;
    OwnFileInFolder(target, program);
    char link[kLinkCapacity];  // see kLinkCapacity: cannot be cut
    (void)win::FormatText(link, sizeof(link), "%s%s%s", programs, shortCutName, suffix);
    // The shell writes the link over whatever has its name: an earlier one is set aside first.
    if ((makeFolders && !CreateLinkFolders(link)) || transaction.SetAside(link) == InstallTransaction::Found::kFailed) {
        return false;
    }
    const HRESULT made = CreateShortcut(target, link, description, arguments);
    // A path that does not fit is never made, and not recorded: a record of it would name
    // another file.
    return made == kLinkPathTooLong || (SUCCEEDED(made) && transaction.NoteWritten(link));
}

bool Installer::ReadProjectTexts(ProjectTexts& texts) {
    if (!GetRequiredEntry(kInstallPathKey, texts.installPath, kTextCapacity)) return false;
    // The per-user default names the folder of whoever runs the install.
    constexpr size_t kPrefix = sizeof(kLocalAppDataPrefix) - 1;
    char local[MAX_PATH];
    if (Matching(texts.installPath, kLocalAppDataPrefix) == kPrefix &&
        ShellFolder(hostWindow, CSIDL_LOCAL_APPDATA, local)) {
        // A folder that does not fit is cut, and then refused as too long or not found.
        char expanded[sizeof(texts.installPath)];
        (void)win::FormatText(expanded, sizeof(expanded), "%s%s", local, texts.installPath + kPrefix - 1);
        std::memcpy(texts.installPath, expanded, sizeof(expanded));
    }
    if (!GetRequiredEntry(kShortCutNameKey, texts.shortCutName, kTextCapacity)) return false;
    if (!GetRequiredEntry(kProjectNameKey, texts.projectName, kTextCapacity)) return false;
    // The links go below the Programs folder and may not climb out of it. The name is only a
    // caption, a record field and the last part of a registry key: a backslash would make it
    // a path of keys.
    return StaysInPlace(texts.shortCutName, false) &&
           (win::FindBackslash(texts.projectName) == nullptr ||
            RefuseItem(texts.projectName, "This item would be written outside the installation folder."));
}

bool Installer::SetSilentFolder(const char* folder, const ProjectTexts& texts) {
    // A relative folder would be made full by the normal form: asked of the folder as given.
    const char* chosen = folder[0] != '\0' ? folder : texts.installPath;
    if (OptionsDialog::IsFullPath(chosen) && SetInstallFolder(chosen)) {
        if (!RefuseDriveRoot(installFolder, texts.projectName) && AcceptFolder() && ClaimInstallFolder()) {
            ::SetCurrentDirectoryA(installFolder);
            return true;
        }
    } else {
        messages.Show("The installation folder must be a full path", texts.projectName, MB_OK);
    }
    NoteFailure(SetupExit::kFolderRefused);
    return false;
}

void Installer::LogPackage(const char* projectName) {
    if (log == nullptr) return;
    char version[kTextCapacity + 1] = {};
    GetPackageEntry(kProjectVersionKey, version, kTextCapacity, nullptr);
    Log("project: %s%s%s, a package of %lu bytes", projectName, version[0] != '\0' ? " " : "", version,
        static_cast<unsigned long>(reader->PackageSize()));
}

bool Installer::AcceptFolder() {
    // Below the profiles folder but outside the user's own profile and the shared one: another
    // user's files, which an install must neither run with its rights nor hand its own.
    char profile[MAX_PATH];
    if (!ShellFolder(hostWindow, CSIDL_PROFILE, profile) || IsInside(installFolder, profile)) return true;
    char* cut = nullptr;
    for (char* c = profile; *c != '\0'; ++c) {
        if (*c == '\\') cut = c;
    }
    if (cut == nullptr) return true;
    *cut = '\0';  // the profiles folder
    const char* inside = installFolder + (cut - profile);
    if (!IsInside(installFolder, profile) || *inside != '\\' || IsInside(inside + 1, "Public")) return true;
    return RefuseItem(installFolder, "This folder lies in another user's profile.");
}

bool Installer::ExtractProgramAndLinks(const char* shortCutName) {
    if (!ExtractRequired(kViewerFile, "OrvanViewer.exe not found")) return false;
    SetProgress(progress_point::kViewerWritten);
    if (!ExtractEngineFiles()) return false;
    SetProgress(progress_point::kEngineFilesWritten);
    // The links of an install for all users are for every user; a per-user install's are the
    // user's own. An administrator who elevates for another user must not get them instead.
    char programs[MAX_PATH] = {};
    if (ShellFolder(hostWindow, perUser ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS, programs) &&
        // Both links lie in one folder: the first link's pass has made it.
        (!AddLink(kViewerFile, programs, shortCutName, ".lnk", "Orvan3D Project Link", kStartFile, true) ||
         !AddLink(kUninstallerFile, programs, shortCutName, " Uninstall.lnk", "Orvan3D Uninstall Link", nullptr,
                  false))) {
        ShowCopyError();
        return false;
    }
    SetProgress(progress_point::kLinksMade);
    return true;
}

bool Installer::RecordProjectInstall(const char* projectName) {
    // The uninstall entry is only made for a record that exists: without one the install
    // could never be removed.
    bool recorded = false;
    {
        // Destroyed before the engine that made it is released.
        EngineObject<FileSaverChannel> saver(CreateChannelAs<FileSaverChannel>(channelFactory, kFileSaverChannelId));
        if (saver) recorded = WriteUninstallRecord(saver.get(), projectName, false);
    }
    ReleaseEngine();
    if (!recorded) ShowCopyError();
    return recorded;
}

void Installer::StartViewerAsUser() {
    // The project runs as it will from its Start-menu link, not with the installer's rights.
    OwnPath viewer;
    InFolder(viewer, kViewerFile);
    if (!folders->Elevated() || !win::StartAsDesktopUser(viewer, "OrvanViewer.exe ZRXStart.zrx", installFolder)) {
        StartViewer(false);
    }
}

bool Installer::InstallProjectFor(const SilentRun* silent) {
    unsigned char checkDx8 = 0;
    if (!GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    unsigned char runAfterInstall = 0;
    if (!GetRequiredEntry(kRunAfterInstallKey, &runAfterInstall, 1)) return false;
    // Files install without DirectX; a silent install has nobody to ask.
    if (checkDx8 != 0 && silent == nullptr && !IsDirectXReady() &&
        messages.Show("DirectX 9.0C or higher was not detected on this system\r\nPlease install DirectX 9.0C or higher "
                      "before running the program that is installed.\r\nContinue installation?",
                      "DirectX version check", MB_YESNO | MB_ICONWARNING) != IDYES) {
        NoteFailure(SetupExit::kCancelled);
        return false;
    }
    unsigned char forUser = 0;
    GetPackageEntry(kPerUserInstallKey, &forUser, 1, nullptr);
    perUser = forUser != 0;
    ProjectTexts texts{};
    if (!ReadProjectTexts(texts)) return false;
    LogPackage(texts.projectName);
    if (silent != nullptr ? !SetSilentFolder(silent->folder, texts)
                          : !ChooseFolderWithProgress(texts.projectName, texts.installPath, false)) {
        if (silent == nullptr) NoteFailure(SetupExit::kCancelled);
        return false;
    }
    Log("installation folder: %s", installFolder);
    if (!CheckBeforeWriting(texts.projectName) || !ExtractProgramAndLinks(texts.shortCutName)) return false;
    if (!LoadEngine()) return false;
    // A missing uninstaller does not stop the installation; its link then points at nothing.
    // One that is damaged or could not be written (disk full) does: the uninstall entry would
    // name it.
    if (!ExtractRequired(kUninstallerFile) || !CreateFileLoader()) return false;
    if (!ExtractChannels() || !ExtractProjectFiles()) return false;
    // Item failures do not stop an install, but a silent one must not record a damaged
    // install as complete.
    if (silent != nullptr && *silent->failureReported) {
        ReleaseEngine();
        return false;
    }
    if (!RecordProjectInstall(texts.projectName)) return false;
    CloseProgress();
    if (!RegisterUninstall()) return false;
    Commit();
    if (silent != nullptr) return true;
    if (runAfterInstall != 0 && IsDirectXReady()) {
        ::SetCurrentDirectoryA(installFolder);
        StartViewerAsUser();
        return true;
    }
    messages.Show("Installation successfully completed!\r\nYou are able to find the installed program in the Start "
                  "menu.",
                  texts.projectName, MB_ICONINFORMATION);
    return true;
}
