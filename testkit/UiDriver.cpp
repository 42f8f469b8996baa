#include "UiDriver.h"

#include <algorithm>
#include <vector>

#include "WideText.h"

namespace testkit {

namespace {

std::string ClassOf(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

struct EnumContext {
    DWORD processId;
    std::vector<WindowInfo>* out;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<EnumContext*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == context->processId) {
        WindowInfo info;
        info.window = window;
        info.className = ClassOf(window);
        info.title = WindowText(window);
        info.visible = ::IsWindowVisible(window) != FALSE;
        context->out->push_back(info);
    }
    return TRUE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM param) {
    auto* box = reinterpret_cast<MessageBoxInfo*>(param);
    const std::string name = ClassOf(child);
    if (_stricmp(name.c_str(), "Button") == 0) {
        box->buttons.push_back({::GetDlgCtrlID(child), WindowText(child)});
    } else if (_stricmp(name.c_str(), "Static") == 0) {
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child)) {
            box->hasIcon = true;
        }
    }
    return TRUE;
}

}  // namespace

std::vector<WindowInfo> TopLevelWindows(DWORD processId) {
    std::vector<WindowInfo> out;
    EnumContext context{processId, &out};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&context));
    return out;
}

std::string WindowText(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    // WM_GETTEXT is marshalled across processes; GetWindowText would not ask the control.
    // Read wide, as UTF-8: a folder named outside the ANSI code page reads as it shows.
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                               &copied)) {
        return std::string();
    }
    return Utf8(std::wstring(text, std::min<size_t>(copied, 4095)));
}

bool ReadMessageBox(HWND window, MessageBoxInfo& box) {
    if (ClassOf(window) != "#32770") return false;
    // The message text lives in the static control with id 0xFFFF.
    HWND textControl = ::GetDlgItem(window, 0xFFFF);
    if (textControl == nullptr) return false;
    // A dialog with an edit box (the options dialog's label has the same id) is no message box.
    if (::FindWindowExA(window, nullptr, "Edit", nullptr) != nullptr) return false;
    box = MessageBoxInfo{};
    box.window = window;
    box.caption = WindowText(window);
    box.text = WindowText(textControl);
    // Under load a box can be visible a moment before its texts are set; no box of the
    // program has neither, so it is read on a later look.
    if (box.text.empty() && box.caption.empty()) return false;
    ::EnumChildWindows(window, CollectButtons, reinterpret_cast<LPARAM>(&box));
    return true;
}

void ClickButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

ChildProcess::~ChildProcess() {
    Kill();
    if (process != nullptr) ::CloseHandle(process);
}

bool ChildProcess::Start(const std::string& exe, const std::string& commandLine, const std::string& folder) {
    // Wide, from UTF-8: a program may lie in a folder outside the ANSI code page.
    std::wstring line = Widen(commandLine);
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(Widen(exe).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : Widen(folder).c_str(), &startup, &info)) {
        return false;
    }
    ::CloseHandle(info.hThread);
    process = info.hProcess;
    processId = info.dwProcessId;
    return true;
}

bool ChildProcess::Wait(DWORD timeoutMs) {
    return process != nullptr && ::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = 0xFFFFFFFF;
    if (process != nullptr) ::GetExitCodeProcess(process, &code);
    return code;
}

void ChildProcess::Kill() {
    if (process != nullptr && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process, 0xDEAD);
        ::WaitForSingleObject(process, 5000);
    }
}

int PressOk(const MessageBoxInfo& box) {
    for (const ButtonInfo& button : box.buttons) {
        if (button.id == IDOK) return IDOK;
    }
    return box.buttons.empty() ? IDOK : box.buttons.front().id;
}

RunResult RunAndDrive(const std::string& exe, const std::string& commandLine, DWORD timeoutMs,
                      const BoxHandler& handler, const std::string& folder) {
    RunResult result;
    ChildProcess child;
    if (!child.Start(exe, commandLine, folder)) return result;
    result.started = true;
    std::vector<HWND> answered;
    const DWORD start = ::GetTickCount();
    while (!child.Wait(20)) {
        if (::GetTickCount() - start > timeoutMs) {
            result.timedOut = true;
            child.Kill();
            break;
        }
        std::vector<HWND> present;
        for (const WindowInfo& window : TopLevelWindows(child.Id())) {
            present.push_back(window.window);
            if (window.className == "Orvan3DExe Window") {
                result.hostWindowSeen = true;
                result.hostWindowEverVisible = result.hostWindowEverVisible || window.visible;
            }
            if (std::find(answered.begin(), answered.end(), window.window) != answered.end()) continue;
            MessageBoxInfo box;
            if (!window.visible || !ReadMessageBox(window.window, box)) continue;
            result.boxes.push_back(box);
            answered.push_back(window.window);
            ClickButton(window.window, handler(box));
        }
        // A window handle can be reused once its box is gone.
        answered.erase(std::remove_if(answered.begin(), answered.end(),
                                      [&](HWND w) {
                                          return std::find(present.begin(), present.end(), w) == present.end();
                                      }),
                       answered.end());
    }
    result.exitCode = child.ExitCode();
    return result;
}

std::string MakeScratchFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    std::string folder = std::string(temp) + "orvan-test-" + name + "-" + std::to_string(::GetCurrentProcessId());
    RemoveTree(folder);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // Removed as a link; Wine's RemoveDirectory would also remove an empty target.
                RemoveHostLink(path);
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

namespace {

// The host's name of a Windows path; empty where Wine's kernel32 lacks the conversion.
std::string HostPath(const std::string& path) {
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t wide[MAX_PATH] = {};
    if (toUnix == nullptr || ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) return "";
    char* unixPath = toUnix(wide);
    if (unixPath == nullptr) return "";
    std::string out = unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return out;
}

// Runs a host program through Wine's start.exe and waits for it.
bool RunHost(const std::string& arguments) {
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, sizeof(system));
    const std::string start = std::string(system) + "\\start.exe";
    ChildProcess child;
    return child.Start(start, "\"" + start + "\" /wait /unix " + arguments) && child.Wait(20000) &&
           child.ExitCode() == 0;
}

bool WaitForPath(const std::string& path, bool present) {
    for (int i = 0; i < 200; ++i) {
        if ((::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
        ::Sleep(50);
    }
    return false;
}

}  // namespace

bool MakeHostLink(const std::string& link, const std::string& target) {
    const std::string hostLink = HostPath(link);
    const std::string hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) return false;
    return RunHost("/bin/ln -s \"" + hostTarget + "\" \"" + hostLink + "\"") && WaitForPath(link, true);
}

bool RemoveHostLink(const std::string& link) {
    const std::string hostLink = HostPath(link);
    // Plain rm: it removes the link and never what it leads to.
    return !hostLink.empty() && RunHost("/bin/rm -f \"" + hostLink + "\"") && WaitForPath(link, false);
}

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string text = path;
    return text.substr(0, text.find_last_of("\\/"));
}

Tampering TryToTamper(const std::string& path) {
    Tampering result;
    const std::string moved = path + ".moved";
    result.renamed = ::MoveFileA(path.c_str(), moved.c_str()) != 0;
    if (result.renamed) ::MoveFileA(moved.c_str(), path.c_str());
    const HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    result.openedForWriting = writer != INVALID_HANDLE_VALUE;
    if (result.openedForWriting) ::CloseHandle(writer);
    return result;
}

}  // namespace testkit
