#include "OptionsDialog.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "ComScope.h"
#include "ResourceIds.h"
#include "TextCopy.h"

namespace {

constexpr char kTitleSuffix[] = " Installation Options";
constexpr size_t kSuffixLength = sizeof(kTitleSuffix) - 1;
// What the edit box and the folder browser hand over: a path of at most 259 characters.
constexpr size_t kPathCapacity = 260;

OptionsDialog* DialogObject(HWND dialog) {
    return reinterpret_cast<OptionsDialog*>(::GetWindowLongA(dialog, GWL_USERDATA));
}

void DispatchCommand(int id, int code, HWND dialog, HWND control) {
    OptionsDialog* self = DialogObject(dialog);
    if (self == nullptr) return;
    switch (id) {
    case IDC_INSTALL:
        self->OnInstall();
        ::EndDialog(dialog, 0);
        break;
    case IDC_CANCEL_INSTALL:
        ::EndDialog(dialog, 0);
        break;
    case IDC_FOLDER_EDIT:
        if (code == EN_CHANGE) {
            char text[kPathCapacity];
            text[0] = '\0';
            ::GetWindowTextA(control, text, sizeof(text));
            self->OnFolderEdited(text);
        }
        break;
    case IDC_BROWSE:
        self->OnBrowse(dialog);
        break;
    default:
        // The standard cancel command (Escape) included: the dialog ends only through its buttons
        // and the close box.
        break;
    }
}

// Returns 0 for every message, WM_INITDIALOG included, so the platform sets no initial focus.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        ::SetWindowLongA(dialog, GWL_USERDATA, static_cast<LONG>(lParam));
        OptionsDialog* self = DialogObject(dialog);
        if (self != nullptr) self->OnInitDialog(dialog);
        break;
    }
    case WM_COMMAND:
        DispatchCommand(LOWORD(wParam), HIWORD(wParam), dialog, reinterpret_cast<HWND>(lParam));
        break;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) ::EndDialog(dialog, 0);
        break;
    case WM_DESTROY:
        ::EndDialog(dialog, 0);
        break;
    default:
        break;
    }
    return 0;
}

}  // namespace

OptionsDialog::OptionsDialog() {
    CopyText(title, sizeof(title), "Installation Options", sizeof(title) - 1);
    folder[0] = '\0';
}

bool OptionsDialog::Show(HINSTANCE instance, HWND, const char* defaultFolder) {
    if (defaultFolder != nullptr) CopyText(folder, sizeof(folder), defaultFolder, kPathCapacity - 1);
    for (;;) {
        ::DialogBoxParamA(instance, kOptionsTemplateName, nullptr, OptionsDialogProc, reinterpret_cast<LPARAM>(this));
        // An emptied or relative folder would install below the current drive's root, with
        // paths the uninstaller refuses: the install could never be removed. A dialog that
        // cannot be created leaves accepted false and ends the loop.
        if (!accepted || IsFullPath(folder)) return accepted;
        accepted = false;
        RefuseFolder(projectName);
    }
}

bool OptionsDialog::IsFullPath(const char* path) {
    if (path[0] == '\\') return path[1] == '\\' && path[2] != '\0' && path[2] != '\\';
    return static_cast<unsigned char>((path[0] | 0x20) - 'a') < 26 && path[1] == ':' && path[2] == '\\';
}

void OptionsDialog::RefuseFolder(const char* projectName) {
    static const char kExample[] = "Please enter a full folder path, for example C:\\Program Files\\";
    constexpr size_t kExampleLength = sizeof(kExample) - 1;
    char text[kExampleLength + 300 + 2];
    std::memcpy(text, kExample, kExampleLength);
    const size_t nameLength = CopyText(text + kExampleLength, 301, projectName, 299);
    text[kExampleLength + nameLength] = '.';
    text[kExampleLength + nameLength + 1] = '\0';
    ::MessageBoxA(nullptr, text, projectName, MB_OK | MB_ICONWARNING);
}

const char* OptionsDialog::GetFolder() { return folder; }

void OptionsDialog::OnInitDialog(HWND dialog) {
    ::SendMessageA(::GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder));
    ::SetWindowTextA(dialog, title);
}

void OptionsDialog::OnInstall() { accepted = true; }

void OptionsDialog::OnBrowse(HWND dialog) {
    char displayName[kPathCapacity];
    displayName[0] = '\0';
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = "Select Installation Directory";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
    const win::CoTaskMemory<ITEMIDLIST> item(::SHBrowseForFolderA(&browse));
    if (!item) return;
    ::SHGetPathFromIDListA(item.get(), folder);
    ::SendMessageA(::GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder));
}

void OptionsDialog::OnFolderEdited(const char* text) {
    // The dialog hands over at most 259 characters; the bound only guards direct callers.
    if (text != nullptr) CopyText(folder, sizeof(folder), text, sizeof(folder) - 1);
}

void OptionsDialog::SetProjectName(const char* name) {
    if (name == nullptr) return;
    CopyText(projectName, sizeof(projectName), name, sizeof(projectName) - 1);
    const size_t nameLength = CopyText(title, sizeof(title), name, sizeof(title) - 1 - kSuffixLength);
    std::memcpy(title + nameLength, kTitleSuffix, kSuffixLength + 1);
}
