#include "ComponentInstallDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "Controls.h"

namespace e2e {

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr int kProgressBar = 1003;

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<std::pair<DWORD, std::vector<HWND>*>*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof(name));
    if (owner == context->first && ::IsWindowVisible(window) && std::strcmp(name, "#32770") == 0) {
        context->second->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> VisibleDialogs(DWORD processId) {
    std::vector<HWND> out;
    std::pair<DWORD, std::vector<HWND>*> context{processId, &out};
    ::EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&context));
    return out;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM param) {
    auto* texts = reinterpret_cast<std::vector<std::string>*>(param);
    const std::string text = testkit::WindowText(child);
    if (!text.empty()) texts->push_back(text);
    return TRUE;
}

bool IsBrowser(HWND dialog) { return ::FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr) != nullptr; }

}  // namespace

InstallRun Drive(const std::string& exe, const Handlers& handlers) {
    InstallRun run;
    testkit::ChildProcess child;
    if (!child.Start(exe, "\"" + exe + "\"")) return run;
    std::vector<HWND> handled;
    const DWORD start = ::GetTickCount();
    while (!child.Wait(5)) {
        if (::GetTickCount() - start > kRunLimitMs) {
            run.timedOut = true;
            child.Kill();
            break;
        }
        for (HWND dialog : VisibleDialogs(child.Id())) {
            if (std::find(handled.begin(), handled.end(), dialog) != handled.end()) continue;
            HWND bar = testkit::FindControl(dialog, kProgressBar);
            if (bar != nullptr) {
                DWORD_PTR position = 0;
                if (::SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 2000, &position) &&
                    (run.progress.empty() || run.progress.back() != static_cast<int>(position))) {
                    run.progress.push_back(static_cast<int>(position));
                }
                continue;
            }
            if (IsBrowser(dialog)) {
                handled.push_back(dialog);
                run.browserSeen = true;
                ::EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&run.browserTexts));
                if (handlers.onBrowser) handlers.onBrowser(dialog);
                continue;
            }
            // Before the box check: the dialog's label has the id of a message box's text.
            if (testkit::FindControl(dialog, kFolderEdit) != nullptr) {
                handled.push_back(dialog);
                if (run.dialogSeen) continue;
                run.dialogSeen = true;
                run.dialogTitle = testkit::WindowText(dialog);
                run.dialogFolder = testkit::WindowText(testkit::FindControl(dialog, kFolderEdit));
                if (handlers.onOptions) handlers.onOptions(dialog);
                continue;
            }
            testkit::MessageBoxInfo box;
            if (testkit::ReadMessageBox(dialog, box)) {
                handled.push_back(dialog);
                run.boxes.push_back(box);
                testkit::ClickButton(dialog, handlers.answer(box));
            }
        }
        // A handle can come back for the next window once its window is gone.
        handled.erase(std::remove_if(handled.begin(), handled.end(), [](HWND w) { return !::IsWindow(w); }),
                      handled.end());
    }
    run.exitCode = child.ExitCode();
    return run;
}

std::vector<std::string> Boxes(const InstallRun& run) {
    std::vector<std::string> out;
    for (const auto& box : run.boxes) out.push_back(box.text + " / " + box.caption);
    return out;
}

std::function<void(HWND)> InstallInto(const std::string& folder) {
    return [folder](HWND dialog) {
        testkit::SetEditText(testkit::FindControl(dialog, kFolderEdit), folder);
        testkit::PostCommand(dialog, kInstallButton);
    };
}

void Cancel(HWND dialog) { testkit::PostCommand(dialog, kCancelButton); }

std::function<void(HWND)> BrowseTo(const std::string& folder) {
    return [folder](HWND browser) {
        testkit::SelectBrowserFolder(browser, folder);
        testkit::SetEditText(::FindWindowExA(browser, nullptr, "Edit", nullptr), folder);
        testkit::PostCommand(browser, IDOK);
    };
}

void CancelBrowser(HWND browser) { testkit::PostCommand(browser, IDCANCEL); }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::pair<std::string, std::string>> TextValues(const std::string& keyPath) {
    std::vector<std::pair<std::string, std::string>> out;
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof(name);
        char data[2048] = {};
        DWORD dataSize = sizeof(data) - 1;
        DWORD type = 0;
        if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &dataSize) != ERROR_SUCCESS) {
            break;
        }
        out.emplace_back(name, type == REG_SZ ? std::string(data) : std::string("?"));
    }
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveEmptyViewerKeys() {
    for (const char* key : {"SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000", "SOFTWARE\\Velbor\\Orvan3D Viewers",
                            "SOFTWARE\\Velbor"}) {
        win::RegKey open;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, open.put()) != ERROR_SUCCESS) continue;
        DWORD subKeys = 0;
        DWORD values = 0;
        if (::RegQueryInfoKeyA(open.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0) {
            return;
        }
        open.reset();
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    }
}

std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> out;
    std::vector<std::string> pending = {""};
    while (!pending.empty()) {
        const std::string prefix = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAA found;
        win::FindHandle find(::FindFirstFileA((folder + "\\" + prefix + "*").c_str(), &found));
        if (!find) continue;
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                pending.push_back(prefix + name + "\\");
            } else {
                out.push_back(prefix + name);
            }
        } while (::FindNextFileA(find.get(), &found));
    }
    std::sort(out.begin(), out.end());
    return out;
}

RegistryDefault::RegistryDefault(HKEY root, const std::string& path) : root(root), path(path) {
    win::RegKey key;
    existed = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    if (existed) {
        DWORD size = 0;
        hadValue = ::RegQueryValueExA(key.get(), nullptr, nullptr, &savedType, nullptr, &size) == ERROR_SUCCESS;
        saved.resize(size);
        if (hadValue && size > 0) {
            ::RegQueryValueExA(key.get(), nullptr, nullptr, &savedType, saved.data(), &size);
        }
        return;
    }
    // The first missing step of the path: removing it removes all the guard made.
    for (size_t at = path.find('\\'); ; at = path.find('\\', at + 1)) {
        const std::string prefix = path.substr(0, at);
        win::RegKey step;
        if (::RegOpenKeyExA(root, prefix.c_str(), 0, KEY_READ, step.put()) != ERROR_SUCCESS) {
            firstCreated = prefix;
            break;
        }
        if (at == std::string::npos) break;
    }
}

RegistryDefault::~RegistryDefault() {
    if (!existed) {
        if (!firstCreated.empty()) ::RegDeleteTreeA(root, firstCreated.c_str());
        if (!firstCreated.empty()) ::RegDeleteKeyA(root, firstCreated.c_str());
        return;
    }
    win::RegKey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    if (hadValue) {
        ::RegSetValueExA(key.get(), nullptr, 0, savedType, saved.data(), static_cast<DWORD>(saved.size()));
    } else {
        ::RegDeleteValueA(key.get(), nullptr);
    }
}

bool RegistryDefault::Set(const std::string& value) {
    win::RegKey key;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

DirectXVersion::DirectXVersion(const char* version) {
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\DirectX", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key.put(), nullptr);
    savedSize = sizeof(saved);
    hadValue = ::RegQueryValueExA(key.get(), "Version", nullptr, &savedType, saved, &savedSize) == ERROR_SUCCESS;
    ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                     static_cast<DWORD>(std::strlen(version) + 1));
}

DirectXVersion::~DirectXVersion() {
    if (hadValue) {
        ::RegSetValueExA(key.get(), "Version", 0, savedType, saved, savedSize);
    } else {
        ::RegDeleteValueA(key.get(), "Version");
    }
}

}  // namespace e2e
