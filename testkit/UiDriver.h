#pragma once
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "testkit/Files.h"
#include "ui/ResourceIds.h"
#include "win/Handle.h"

// Finds, reads and clicks the windows of another process, the way a user would see them.
namespace testkit {

struct WindowInfo {
    HWND window = nullptr;
    std::string className;
    std::string title;
    bool visible = false;
};

struct ButtonInfo {
    int id = 0;
    std::string text;
};

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<ButtonInfo> buttons;
    bool hasIcon = false;
};

// Top-level windows owned by the process, hidden ones included.
std::vector<WindowInfo> TopLevelWindows(DWORD processId);
// The text of any window, also of another process's controls.
std::string WindowText(HWND window);
// Reads a standard message box; false when window is not one.
bool ReadMessageBox(HWND window, MessageBoxInfo& box);
// Presses a dialog button by its command id, as a click would.
void ClickButton(HWND dialog, int id);

// A started process, killed on destruction if still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();
    // commandLine is given to the program as is; exe is its module path.
    bool Start(const std::string& exe, const std::string& commandLine, const std::string& folder = "");
    DWORD Id() const { return processId; }
    // True when the process ended within timeoutMs.
    bool Wait(DWORD timeoutMs);
    DWORD ExitCode() const;
    void Kill();

private:
    win::Handle process;
    DWORD processId = 0;
};

// The options dialog's controls, as a user finds them.
constexpr int kInstallButton = IDC_INSTALL;
constexpr int kFolderEdit = IDC_FOLDER_EDIT;
constexpr int kCancelButton = IDC_CANCEL_INSTALL;
constexpr int kProgressBar = IDC_PROGRESS_BAR;

// Chooses the button to press on a message box; the default presses OK (or the only button).
using BoxHandler = std::function<int(const MessageBoxInfo&)>;
int PressOk(const MessageBoxInfo& box);
// Always the same button.
BoxHandler Answer(int button);

// What a run is given: its command line and folder, a time limit, and the answers to each kind
// of window it may show.
struct DriveOptions {
    std::string commandLine;  // empty: the program's quoted path alone
    std::string folder;       // empty: this process's current folder
    DWORD timeoutMs = 60000;  // then everything still running is killed
    BoxHandler answer = PressOk;
    // The options dialog (each one seen) and the shell's folder browser; none: left open.
    std::function<void(HWND)> onOptions;
    std::function<void(HWND)> onBrowser;
    // Samples the progress bar on each of its steps while it lasts, instead of once a look: a
    // message sent to the program waits for its next look at its queue, which comes right after
    // each step of the bar.
    bool followProgress = false;
    // Notes the title of every dialog-class window, hidden ones included (each is asked once,
    // which a program busy creating its window may be slow to answer).
    bool noteDialogs = false;
    // Also drives the windows of every process the program starts, and waits for them all.
    bool followChildren = false;
    // Called once the started program has ended, before its children are waited for: the
    // machine as a caller that waits for the program would see it.
    std::function<void()> onProgramEnd;
};

// What a user saw of one run.
struct RunResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxInfo> boxes;  // in the order they appeared
    bool hostWindowSeen = false;
    bool hostWindowEverVisible = false;
    // With noteDialogs: titles of every dialog-class window, hidden ones included, as first seen.
    std::vector<std::string> dialogs;
    // The first options dialog: its title and the folder it proposed.
    bool dialogSeen = false;
    std::string dialogTitle;
    std::string dialogFolder;
    bool browserSeen = false;
    std::vector<std::string> browserTexts;  // every control text of the folder browser
    std::vector<int> progress;              // bar positions as sampled, each change once
    std::set<DWORD> processes;              // the program and, with followChildren, all it started
};

// The boxes as "text / caption".
std::vector<std::string> Boxes(const RunResult& run);

// Runs a program until it (and with followChildren everything it started) has ended or the
// time is up, answering its windows as options says.
RunResult Drive(const std::string& exe, const DriveOptions& options = DriveOptions());

// Runs a program, answering each message box through the handler, until it ends or the
// time is up (then it is killed). Also watches for the program's invisible host window.
RunResult RunAndDrive(const std::string& exe, const std::string& commandLine, DWORD timeoutMs,
                      const BoxHandler& handler = PressOk, const std::string& folder = "");

// Answers for the options dialog: install into folder, or cancel.
std::function<void(HWND)> InstallInto(const std::string& folder);
void CancelOptions(HWND dialog);
// Answers for the folder browser: select folder, type it into the edit box too and press OK,
// or cancel.
std::function<void(HWND)> BrowseTo(const std::string& folder);
void CancelBrowser(HWND browser);

}  // namespace testkit
