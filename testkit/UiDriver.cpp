#include "testkit/UiDriver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/Controls.h"
#include "testkit/WideText.h"

namespace testkit {

namespace {

constexpr char kHostWindowClass[] = "Orvan3DExe Window";

std::string ClassOf(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

struct EnumContext {
    const std::set<DWORD>* processes;
    bool withTitles;
    std::vector<WindowInfo>* out;
};

// Titles are asked for only when wanted: a message sent to the program waits for its next look
// at its queue, and would cost the sampling of a progress step.
BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<EnumContext*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (context->processes->count(owner) != 0) {
        WindowInfo info;
        info.window = window;
        info.className = ClassOf(window);
        if (context->withTitles) info.title = WindowText(window);
        info.visible = ::IsWindowVisible(window) != FALSE;
        context->out->push_back(info);
    }
    return TRUE;
}

std::vector<WindowInfo> WindowsOf(const std::set<DWORD>& processes, bool withTitles) {
    std::vector<WindowInfo> out;
    EnumContext context{&processes, withTitles, &out};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&context));
    return out;
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

BOOL CALLBACK CollectTexts(HWND child, LPARAM param) {
    auto* texts = reinterpret_cast<std::vector<std::string>*>(param);
    const std::string text = WindowText(child);
    if (!text.empty()) texts->push_back(text);
    return TRUE;
}

// The system's own programs, which Wine starts on behalf of whichever process first needs them
// (the desktop for the first window, the COM services): they are not the run's, and the
// desktop lives on after it.
bool IsSystemProgram(const char* name) {
    for (const char* system : {"explorer.exe", "rpcss.exe", "services.exe", "svchost.exe", "conhost.exe",
                               "winedevice.exe", "plugplay.exe"}) {
        if (::lstrcmpiA(name, system) == 0) return true;
    }
    return false;
}

// The processes started by any of known, added to it; handles keep them to wait for.
void AddChildren(std::set<DWORD>& known, std::vector<win::Handle>& handles) {
    win::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32First(snapshot.get(), &entry); ok; ok = ::Process32Next(snapshot.get(), &entry)) {
        if (known.count(entry.th32ParentProcessID) == 0 || known.count(entry.th32ProcessID) != 0) continue;
        if (IsSystemProgram(entry.szExeFile)) continue;
        known.insert(entry.th32ProcessID);
        // Waiting needs no more; a process that lets us wait but not end it is still waited for.
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != nullptr) handles.emplace_back(process);
    }
}

bool AllEnded(const std::vector<win::Handle>& processes) {
    return std::all_of(processes.begin(), processes.end(),
                       [](const win::Handle& p) { return ::WaitForSingleObject(p.get(), 0) == WAIT_OBJECT_0; });
}

bool BarPosition(HWND bar, DWORD timeoutMs, int& position) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, timeoutMs, &result)) return false;
    position = static_cast<int>(result);
    return true;
}

void NoteProgress(RunResult& run, int position) {
    if (run.progress.empty() || run.progress.back() != position) run.progress.push_back(position);
}

// One run's state between two looks at its windows.
class Driver {
public:
    Driver(const DriveOptions& options, RunResult& run) : options(options), run(run) {}

    void Look() {
        const std::vector<WindowInfo> windows = WindowsOf(processes, false);
        for (const WindowInfo& window : windows) {
            if (window.className == kHostWindowClass) {
                run.hostWindowSeen = true;
                run.hostWindowEverVisible = run.hostWindowEverVisible || window.visible;
            }
            if (window.className != "#32770") continue;
            if (options.noteDialogs && noted.insert(window.window).second) {
                run.dialogs.push_back(WindowText(window.window));
            }
            if (!window.visible || std::find(handled.begin(), handled.end(), window.window) != handled.end()) continue;
            Answer(window.window);
        }
        // A handle can come back for the next window once its window is gone.
        handled.erase(std::remove_if(handled.begin(), handled.end(), [](HWND w) { return !::IsWindow(w); }),
                      handled.end());
    }

    std::set<DWORD> processes;

private:
    void Answer(HWND dialog) {
        if (HWND bar = FindControl(dialog, kProgressBar)) {
            SampleProgress(bar);
            return;
        }
        if (::FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr) != nullptr) {
            handled.push_back(dialog);
            run.browserSeen = true;
            ::EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&run.browserTexts));
            if (options.onBrowser) options.onBrowser(dialog);
            return;
        }
        // Before the box check: the dialog's label has the id of a message box's text.
        if (HWND edit = FindControl(dialog, kFolderEdit)) {
            // A program still busy setting the dialog up (a slow first start) counts as hung
            // and answers nothing yet; every options dialog has a title, so it is read on a
            // later look.
            const std::string title = WindowText(dialog);
            if (title.empty()) return;
            handled.push_back(dialog);
            if (!run.dialogSeen) {
                run.dialogSeen = true;
                run.dialogTitle = title;
                run.dialogFolder = WindowText(edit);
            }
            if (options.onOptions) options.onOptions(dialog);
            return;
        }
        MessageBoxInfo box;
        if (!ReadMessageBox(dialog, box)) return;
        handled.push_back(dialog);
        run.boxes.push_back(box);
        ClickButton(dialog, options.answer(box));
    }

    void SampleProgress(HWND bar) {
        int position = 0;
        if (!options.followProgress) {
            if (BarPosition(bar, 2000, position)) NoteProgress(run, position);
            return;
        }
        // Until the bar is gone, or a new window needs an answer.
        while (::IsWindow(bar) && BarPosition(bar, kReplyTimeoutMs, position)) {
            NoteProgress(run, position);
            for (const WindowInfo& window : WindowsOf(processes, false)) {
                if (window.visible && window.className == "#32770" && FindControl(window.window, kProgressBar) == nullptr &&
                    std::find(handled.begin(), handled.end(), window.window) == handled.end()) {
                    return;
                }
            }
        }
    }

    const DriveOptions& options;
    RunResult& run;
    std::vector<HWND> handled;
    std::set<HWND> noted;
};

}  // namespace

std::vector<WindowInfo> TopLevelWindows(DWORD processId) { return WindowsOf({processId}, true); }

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

ChildProcess::~ChildProcess() { Kill(); }

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
    process.reset(info.hProcess);
    processId = info.dwProcessId;
    return true;
}

bool ChildProcess::Wait(DWORD timeoutMs) {
    return process && ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = 0xFFFFFFFF;
    if (process) ::GetExitCodeProcess(process.get(), &code);
    return code;
}

void ChildProcess::Kill() {
    if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.get(), 0xDEAD);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

int PressOk(const MessageBoxInfo& box) {
    for (const ButtonInfo& button : box.buttons) {
        if (button.id == IDOK) return IDOK;
    }
    return box.buttons.empty() ? IDOK : box.buttons.front().id;
}

BoxHandler Answer(int button) {
    return [button](const MessageBoxInfo&) { return button; };
}

std::vector<std::string> Boxes(const RunResult& run) {
    std::vector<std::string> out;
    for (const auto& box : run.boxes) out.push_back(box.text + " / " + box.caption);
    return out;
}

RunResult Drive(const std::string& exe, const DriveOptions& options) {
    RunResult run;
    ChildProcess child;
    const std::string commandLine = options.commandLine.empty() ? "\"" + exe + "\"" : options.commandLine;
    if (!child.Start(exe, commandLine, options.folder)) return run;
    run.started = true;
    Driver driver(options, run);
    driver.processes.insert(child.Id());
    std::vector<win::Handle> descendants;
    const DWORD start = ::GetTickCount();
    bool programEnded = false;
    for (;;) {
        if (!programEnded && child.Wait(5)) {
            programEnded = true;
            if (options.onProgramEnd) options.onProgramEnd();
        }
        if (options.followChildren) AddChildren(driver.processes, descendants);
        if (programEnded && (!options.followChildren || AllEnded(descendants))) break;
        if (::GetTickCount() - start > options.timeoutMs) {
            run.timedOut = true;
            child.Kill();
            for (const auto& process : descendants) {
                win::Handle killer(::OpenProcess(PROCESS_TERMINATE, FALSE, ::GetProcessId(process.get())));
                if (killer) ::TerminateProcess(killer.get(), 1);
            }
            break;
        }
        driver.Look();
        if (programEnded) ::Sleep(5);
    }
    run.exitCode = child.ExitCode();
    run.processes = driver.processes;
    return run;
}

RunResult RunAndDrive(const std::string& exe, const std::string& commandLine, DWORD timeoutMs,
                      const BoxHandler& handler, const std::string& folder) {
    DriveOptions options;
    options.commandLine = commandLine;
    options.folder = folder;
    options.timeoutMs = timeoutMs;
    options.answer = handler;
    return Drive(exe, options);
}

std::function<void(HWND)> InstallInto(const std::string& folder) {
    return [folder](HWND dialog) {
        EXPECT_TRUE(SetEditText(FindControl(dialog, kFolderEdit), folder)) << "the folder could not be typed";
        PostCommand(dialog, kInstallButton);
    };
}

void CancelOptions(HWND dialog) { PostCommand(dialog, kCancelButton); }

std::function<void(HWND)> BrowseTo(const std::string& folder) {
    return [folder](HWND browser) {
        SelectBrowserFolder(browser, folder);
        SetEditText(::FindWindowExA(browser, nullptr, "Edit", nullptr), folder);
        PostCommand(browser, IDOK);
    };
}

void CancelBrowser(HWND browser) { PostCommand(browser, IDCANCEL); }

}  // namespace testkit
