#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
    HANDLE process = nullptr;
    DWORD processId = 0;
};

struct RunResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxInfo> boxes;  // in the order they appeared
    bool hostWindowSeen = false;
    bool hostWindowEverVisible = false;
};

// Chooses the button to press on a message box; the default presses OK (or the only button).
using BoxHandler = std::function<int(const MessageBoxInfo&)>;
int PressOk(const MessageBoxInfo& box);

// Runs a program, answering each message box through the handler, until it ends or the
// time is up (then it is killed). Also watches for the program's invisible host window.
RunResult RunAndDrive(const std::string& exe, const std::string& commandLine, DWORD timeoutMs,
                      const BoxHandler& handler = PressOk, const std::string& folder = "");

// Folder helpers for tests: a fresh scratch folder under the temporary path, removed with
// everything below it. A link (reparse point) below it is removed as a link, never entered.
std::string MakeScratchFolder(const std::string& name);
// Never descends into a link to a folder: what it leads to is not the test's.
void RemoveTree(const std::string& folder);
// A symbolic link made by the host system under Wine; one to a folder shows to Windows calls as
// a folder with FILE_ATTRIBUTE_REPARSE_POINT (Wine itself cannot make junctions). False where
// there is no such host (on Windows), and the test should skip.
bool MakeHostLink(const std::string& link, const std::string& target);
bool RemoveHostLink(const std::string& link);
// The folder holding the running test program (the build's bin folder).
std::string OwnFolder();

// What another process manages to do to a file: rename it (it is renamed back at once), and
// open it for writing with every sharing allowed.
struct Tampering {
    bool renamed = false;
    bool openedForWriting = false;
};
Tampering TryToTamper(const std::string& path);

}  // namespace testkit
