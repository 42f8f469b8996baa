#include "ui/OptionsDialog.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "package/AsciiText.h"
#include "ui/ResourceIds.h"
#include "win/ComScope.h"
#include "win/ExactPath.h"

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
            // Read wide: the narrow text of a name outside the ANSI code page holds "?" instead.
            wchar_t wide[kPathCapacity] = {};
            ::GetWindowTextW(control, wide, kPathCapacity);
            char text[kPathCapacity] = {};
            const bool exact = win::ToExactPath(wide, text, sizeof(text));
            if (!exact) ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text) - 1, nullptr, nullptr);
            if (exact) {
                self->unusableFolder[0] = L'\0';
            } else {
                std::memcpy(self->unusableFolder, wide, sizeof(wide));
            }
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
        if (!accepted) return false;
        if (!IsFullPath(folder)) {
            accepted = false;
            RefuseFolder(projectName);
        } else if (unusableFolder[0] != L'\0') {
            // Installing into a mangled name would make another folder than the one asked for.
            accepted = false;
            win::ShowNoExactPath(nullptr, unusableFolder);
        } else {
            return true;
        }
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
    // A folder refused for its name shows again as it was typed.
    if (unusableFolder[0] != L'\0') {
        wchar_t typed[kPathCapacity];
        std::memcpy(typed, unusableFolder, sizeof(typed));
        ::SendMessageW(::GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
    } else {
        ::SendMessageA(::GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder));
    }
    ::SetWindowTextA(dialog, title);
}

void OptionsDialog::OnInstall() { accepted = true; }

void OptionsDialog::OnBrowse(HWND dialog) {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse = {};
    browse.hwndOwner = dialog;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = L"Select Installation Directory";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
    const win::CoTaskMemory<ITEMIDLIST> item(::SHBrowseForFolderW(&browse));
    if (!item) return;
    // Wide into the edit box, whose change handler takes the exact narrow form.
    wchar_t chosen[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(item.get(), chosen)) {
        ::SendMessageW(::GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen));
    }
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
