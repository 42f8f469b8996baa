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

// What InstallProjectSilently asks of the one install it runs.
struct SilentRun {
    const char* folder;           // "" for InstallPath
    const bool* failureReported;  // the caller's note that a failure box was shown
};

// Zeroed by its user (ProjectTexts texts{}): member initialisers would make the compiler copy
// a zero template kept in the program's data.
struct ProjectTexts {
    char installPath[Installer::kTextCapacity + 1];
    char shortCutName[Installer::kTextCapacity + 1];
    char projectName[Installer::kTextCapacity + 1];
};

// Only folders whose backslash falls within this many characters of a link path are made.
constexpr size_t kLinkFolderScan = 260;

}  // namespace

// The project install's own steps, each failing with its box.
class Installer::ProjectSteps {
public:
    explicit ProjectSteps(Installer& installer) : in(installer) {}
    // InstallProject, for the user when silent is null, else as InstallProjectSilently.
    bool Run(const SilentRun* silent);

private:
    // InstallPath, ShortCutName and ProjectName, with their boxes when missing or when a name
    // would climb out of its place.
    bool ReadTexts(ProjectTexts& texts);
    // The project's name and version and the package's size, in the log.
    void LogPackage(const char* projectName);
    // folder (empty: InstallPath) as installFolder and current folder; false after "The
    // installation folder must be a full path" when it is none or does not fit, or after the
    // box of RefuseDriveRoot, AcceptFolder or ClaimInstallFolder (then kFolderRefused).
    bool SetSilentFolder(const char* folder, const ProjectTexts& texts);
    // The viewer, the engine files and the two Start-menu links, moving the bar to 0.3.
    bool ExtractProgramAndLinks(const char* shortCutName);
    // The Start-menu link <programs><shortCutName><suffix> to installFolder\program, with
    // makeFolders first the folders it needs, each recorded; an earlier link of that name is
    // set aside until the commit. program is one of our own file names (see InFolder). False
    // when it could not be made (a path too long is not made, and not recorded, but no failure).
    bool AddLink(const char* program, const char* programs, const char* shortCutName, const char* suffix,
                 const char* description, const char* arguments, bool makeFolders);
    // The uninstall record through a new file saver, then the engine released; false after
    // the copy error when no record was written.
    bool RecordInstall(const char* projectName);
    // The installed viewer started after an install: in an elevated install with the rights of
    // the desktop's user where the system allows, else (and in a per-user install) StartViewer.
    void StartViewerAsUser();

    Installer& in;
};

// Installs the project into a folder the user confirms (ProjectType 2): options dialog,
// viewer and engine, Start-menu links, engine channels and project files, uninstall record,
// uninstall entry, then the viewer started or "Installation successfully completed!...".
// False on a missing key ("Can't find project type <key>" / "Error"), on "No" to the
// DirectX question, on a cancelled dialog, on a refusal of CheckBeforeWriting, or when a
// required extraction, a link, the engine, the record or the uninstall entry fails (with
// their own boxes); everything the run changed is then taken back (Rollback). Into a
// folder of a previous installation of the project it is an upgrade (see
// WriteUninstallRecord).
bool Installer::InstallProject() { return Concluded(ProjectSteps(*this).Run(nullptr)); }

// InstallProject for deployment tools: into folder (empty: InstallPath), which must be a
// full path, with no options dialog, no progress window, no DirectX question, no success
// box and no viewer started. Boxes of failures still go through messages (and the reader's
// host); failureReported is the caller's note that one was shown: once it is set when the
// files are written, the install stops before the uninstall record, false, taken back.
bool Installer::InstallProjectSilently(const char* folder, const bool& failureReported) {
    const SilentRun silent{folder != nullptr ? folder : "", &failureReported};
    return Concluded(ProjectSteps(*this).Run(&silent));
}

bool Installer::ProjectSteps::AddLink(const char* program, const char* programs, const char* shortCutName,
                                      const char* suffix, const char* description, const char* arguments,
                                      bool makeFolders) {
    OwnPath target;
    in.OwnFileInFolder(target, program);
    char link[kLinkCapacity];  // see kLinkCapacity: cannot be cut
    (void)win::FormatText(link, sizeof(link), "%s%s%s", programs, shortCutName, suffix);
    // The shell writes the link over whatever has its name: an earlier one is set aside first.
    if ((makeFolders && !in.CreateFoldersOf(link, kLinkFolderScan)) ||
        in.transaction.SetAside(link) == InstallTransaction::Found::kFailed) {
        return false;
    }
    const HRESULT made = in.CreateShortcut(target, link, description, arguments);
    // A path that does not fit is never made, and not recorded: a record of it would name
    // another file.
    return made == kLinkPathTooLong || (SUCCEEDED(made) && in.transaction.NoteWritten(link));
}

bool Installer::ProjectSteps::ReadTexts(ProjectTexts& texts) {
    if (!in.GetRequiredEntry(kInstallPathKey, texts.installPath, kTextCapacity)) return false;
    // The per-user default names the folder of whoever runs the install.
    constexpr size_t kPrefix = sizeof(kLocalAppDataPrefix) - 1;
    char local[MAX_PATH];
    if (Matching(texts.installPath, kLocalAppDataPrefix) == kPrefix &&
        ShellFolder(in.hostWindow, CSIDL_LOCAL_APPDATA, local)) {
        // A folder that does not fit is cut, and then refused as too long or not found.
        char expanded[sizeof(texts.installPath)];
        (void)win::FormatText(expanded, sizeof(expanded), "%s%s", local, texts.installPath + kPrefix - 1);
        std::memcpy(texts.installPath, expanded, sizeof(expanded));
    }
    if (!in.GetRequiredEntry(kShortCutNameKey, texts.shortCutName, kTextCapacity)) return false;
    if (!in.GetRequiredEntry(kProjectNameKey, texts.projectName, kTextCapacity)) return false;
    // The links go below the Programs folder and may not climb out of it. The name is only a
    // caption, a record field and the last part of a registry key: a backslash would make it
    // a path of keys.
    return in.StaysInPlace(texts.shortCutName, false) &&
           (win::FindBackslash(texts.projectName) == nullptr ||
            in.RefuseItem(texts.projectName, "This item would be written outside the installation folder."));
}

bool Installer::ProjectSteps::SetSilentFolder(const char* folder, const ProjectTexts& texts) {
    // A relative folder would be made full by the normal form: asked of the folder as given.
    const char* chosen = folder[0] != '\0' ? folder : texts.installPath;
    if (OptionsDialog::IsFullPath(chosen) && in.SetInstallFolder(chosen)) {
        if (!in.RefuseDriveRoot(in.installFolder, texts.projectName) && in.AcceptFolder() && in.ClaimInstallFolder()) {
            ::SetCurrentDirectoryA(in.installFolder);
            return true;
        }
    } else {
        in.messages.Show("The installation folder must be a full path", texts.projectName, MB_OK);
    }
    in.NoteFailure(SetupExit::kFolderRefused);
    return false;
}

void Installer::ProjectSteps::LogPackage(const char* projectName) {
    if (in.log == nullptr) return;
    char version[kTextCapacity + 1] = {};
    in.GetPackageEntry(kProjectVersionKey, version, kTextCapacity, nullptr);
    in.Log("project: %s%s%s, a package of %lu bytes", projectName, version[0] != '\0' ? " " : "", version,
           static_cast<unsigned long>(in.reader->PackageSize()));
}

// installFolder is the user's to install into: false, after its box, when it lies in another
// user's profile (below the profiles folder, outside the user's own and the shared one).
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

bool Installer::ProjectSteps::ExtractProgramAndLinks(const char* shortCutName) {
    if (!in.ExtractRequired(kViewerFile, "OrvanViewer.exe not found")) return false;
    in.SetProgress(progress_point::kViewerWritten);
    if (!in.ExtractEngineFiles()) return false;
    in.SetProgress(progress_point::kEngineFilesWritten);
    // The links of an install for all users are for every user; a per-user install's are the
    // user's own. An administrator who elevates for another user must not get them instead.
    char programs[MAX_PATH] = {};
    if (ShellFolder(in.hostWindow, in.perUser ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS, programs) &&
        // Both links lie in one folder: the first link's pass has made it.
        (!AddLink(kViewerFile, programs, shortCutName, ".lnk", "Orvan3D Project Link", kStartFile, true) ||
         !AddLink(kUninstallerFile, programs, shortCutName, " Uninstall.lnk", "Orvan3D Uninstall Link", nullptr,
                  false))) {
        in.ShowCopyError();
        return false;
    }
    in.SetProgress(progress_point::kLinksMade);
    return true;
}

bool Installer::ProjectSteps::RecordInstall(const char* projectName) {
    // The uninstall entry is only made for a record that exists: without one the install
    // could never be removed.
    bool recorded = false;
    {
        // Destroyed before the engine that made it is released.
        EngineObject<FileSaverChannel> saver(CreateChannelAs<FileSaverChannel>(in.channelFactory, kFileSaverChannelId));
        if (saver) recorded = in.WriteUninstallRecord(saver.get(), projectName, false);
    }
    in.ReleaseEngine();
    if (!recorded) in.ShowCopyError();
    return recorded;
}

void Installer::ProjectSteps::StartViewerAsUser() {
    // The project runs as it will from its Start-menu link, not with the installer's rights.
    OwnPath viewer;
    in.InFolder(viewer, kViewerFile);
    if (!in.places.folders->Elevated() ||
        !win::StartAsDesktopUser(viewer, "OrvanViewer.exe ZRXStart.zrx", in.installFolder)) {
        in.StartViewer(false);
    }
}

bool Installer::ProjectSteps::Run(const SilentRun* silent) {
    unsigned char checkDx8 = 0;
    if (!in.GetRequiredEntry(kCheckDx8Key, &checkDx8, 1)) return false;
    unsigned char runAfterInstall = 0;
    if (!in.GetRequiredEntry(kRunAfterInstallKey, &runAfterInstall, 1)) return false;
    // Files install without DirectX; a silent install has nobody to ask.
    if (checkDx8 != 0 && silent == nullptr && !in.IsDirectXReady() &&
        in.messages.Show("DirectX 9.0C or higher was not detected on this system\r\nPlease install DirectX 9.0C or "
                         "higher before running the program that is installed.\r\nContinue installation?",
                         "DirectX version check", MB_YESNO | MB_ICONWARNING) != IDYES) {
        in.NoteFailure(SetupExit::kCancelled);
        return false;
    }
    unsigned char forUser = 0;
    in.GetPackageEntry(kPerUserInstallKey, &forUser, 1, nullptr);
    in.perUser = forUser != 0;
    ProjectTexts texts{};
    if (!ReadTexts(texts)) return false;
    LogPackage(texts.projectName);
    if (silent != nullptr ? !SetSilentFolder(silent->folder, texts)
                          : !in.ChooseFolderWithProgress(texts.projectName, texts.installPath, false)) {
        if (silent == nullptr) in.NoteFailure(SetupExit::kCancelled);
        return false;
    }
    in.Log("installation folder: %s", in.installFolder);
    if (!in.CheckBeforeWriting(texts.projectName) || !ExtractProgramAndLinks(texts.shortCutName)) return false;
    if (!in.LoadEngine()) return false;
    // A missing uninstaller does not stop the installation; its link then points at nothing.
    // One that is damaged or could not be written (disk full) does: the uninstall entry would
    // name it.
    if (!in.ExtractRequired(kUninstallerFile) || !in.CreateFileLoader()) return false;
    if (!in.ExtractChannels() || !in.ExtractProjectFiles()) return false;
    // Item failures do not stop an install, but a silent one must not record a damaged
    // install as complete.
    if (silent != nullptr && *silent->failureReported) {
        in.ReleaseEngine();
        return false;
    }
    if (!RecordInstall(texts.projectName)) return false;
    in.CloseProgress();
    if (!in.RegisterUninstall()) return false;
    in.Commit();
    if (silent != nullptr) return true;
    if (runAfterInstall != 0 && in.IsDirectXReady()) {
        ::SetCurrentDirectoryA(in.installFolder);
        StartViewerAsUser();
        return true;
    }
    in.messages.Show(
        "Installation successfully completed!\r\nYou are able to find the installed program in the "
        "Start menu.",
        texts.projectName, MB_ICONINFORMATION);
    return true;
}
