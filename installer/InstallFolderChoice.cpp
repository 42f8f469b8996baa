// The folder an installation is made in, as the user or the package chose it: never the root of
// a drive or of a network share.
#include <cwchar>

#include "installer/Installer.h"
#include "ui/OptionsDialog.h"

namespace {

// True when folder, made a full path as the system makes it (".." steps, trailing dots and
// doubled separators taken away), is the root of a drive or of a network share.
bool IsDriveRoot(const char* folder) {
    wchar_t full[Installer::kFolderCapacity];
    if (Installer::FullFolderPath(folder, full) == 0) return false;
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

bool Installer::RefuseDriveRoot(const char* folder, const char* projectName) {
    // What an installation writes into a root cannot be told from the rest of the drive: the
    // uninstaller would rightly remove nothing.
    if (!IsDriveRoot(folder)) return false;
    messages.Show("Please choose a folder, not the root of a drive.", projectName, MB_OK | MB_ICONWARNING);
    return true;
}

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
