// The folder an installation is made in, as the user or the package chose it: never the root of
// a drive or of a network share.
#include <cwchar>

#include "installer/Installer.h"
#include "ui/OptionsDialog.h"
#include "win/ExactPath.h"

namespace {

// folder made a full path as the system makes it (GetFullPathNameW of its wide form: ".."
// steps, trailing dots and spaces, doubled and forward separators taken away) in full; its
// length, 0 when it has none or it does not fit.
DWORD FullFolderPath(const char* folder, wchar_t (&full)[Installer::kFolderCapacity]) {
    constexpr size_t kCapacity = Installer::kFolderCapacity;
    wchar_t wide[kCapacity];
    if (::MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, kCapacity) == 0) return 0;
    const DWORD length = ::GetFullPathNameW(wide, kCapacity, full, nullptr);
    return length < kCapacity ? length : 0;
}

// True when folder, made a full path as the system makes it (".." steps, trailing dots and
// doubled separators taken away), is the root of a drive or of a network share.
bool IsDriveRoot(const char* folder) {
    wchar_t full[Installer::kFolderCapacity];
    if (FullFolderPath(folder, full) == 0) return false;
    const wchar_t* rest = full + 2;  // after "X:"
    if (full[0] == L'\\' && full[1] == L'\\') {
        // After "\\server\share".
        rest = std::wcschr(rest, L'\\');
        rest = rest != nullptr ? std::wcschr(rest + 1, L'\\') : nullptr;
        if (rest == nullptr) return true;
    }
    return rest[std::wcsspn(rest, L"\\")] == L'\0';
}

}  // namespace

// Sets installFolder to folder's one full, normal form (GetFullPathNameW: no doubled or
// forward separators, no "." or ".." steps, no trailing dots, spaces or separator), so that
// the record, the uninstall entry and the uninstaller name it alike. At most 399
// characters; false when the folder does not fit or has no such form.
bool Installer::SetInstallFolder(const char* folder) {
    wchar_t full[kFolderCapacity];
    DWORD length = FullFolderPath(folder, full);
    if (length == 0) return false;
    // A drive's root keeps its separator.
    while (length > 3 && full[length - 1] == L'\\') full[--length] = L'\0';
    transaction.FolderChanged();
    if (win::ToExactPath(full, installFolder, sizeof(installFolder))) return true;
    installFolder[0] = '\0';
    return false;
}

// True, after "Please choose a folder, not the root of a drive." / projectName, when folder
// (a full path) is the root of a drive or of a network share once made a normal path.
bool Installer::RefuseDriveRoot(const char* folder, const char* projectName) {
    // What an installation writes into a root cannot be told from the rest of the drive: the
    // uninstaller would rightly remove nothing.
    if (!IsDriveRoot(folder)) return false;
    messages.Show("Please choose a folder, not the root of a drive.", projectName, MB_OK | MB_ICONWARNING);
    return true;
}

// Shows dialog proposing proposedFolder until it is left or a folder is chosen that is no
// drive root (RefuseDriveRoot), with noClimbing has no ".." step or stream colon
// (StaysInPlace's box), is no other user's (AcceptFolder) and is claimed
// (ClaimInstallFolder) as installFolder; false when it is left.
bool Installer::ShowOptionsDialog(OptionsDialog& dialog, const char* projectName, const char* proposedFolder,
                                  bool noClimbing) {
    if (!dialog.Show(instance, hostWindow, proposedFolder)) return false;
    // Asked again, with the root as the user gave it, as the dialog asks again for a folder
    // that is no full path.
    while (RefuseDriveRoot(dialog.GetFolder(), projectName) ||
           (noClimbing && !StaysInPlace(dialog.GetFolder(), true)) || !SetInstallFolder(dialog.GetFolder()) ||
           !AcceptFolder() || !ClaimInstallFolder()) {
        dialog.accepted = false;
        if (!dialog.Show(instance, hostWindow, nullptr)) return false;
    }
    return true;
}
