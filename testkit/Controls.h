#pragma once
#include <windows.h>

#include <string>

// Reads and works the controls of another process's dialogs, the way a user would.
namespace testkit {

struct ControlInfo {
    HWND window = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct ProgressInfo {
    int position = 0;
    int minimum = 0;
    int maximum = 0;
};

// The direct child of dialog with the given id; null when there is none.
HWND FindControl(HWND dialog, int id);
// False when control is not a window.
bool ReadControl(HWND control, ControlInfo& info);
// Position and range of a progress bar; false when it does not answer.
bool ReadProgressBar(HWND bar, ProgressInfo& info);
// How long another process's window may take to answer a message. A loaded machine, or Wine
// run through an emulator, takes seconds; the limit only matters when something hangs.
constexpr DWORD kReplyTimeoutMs = 30000;
// Replaces the text of an edit box as typing would, change notification included.
bool SetEditText(HWND edit, const std::string& text);
// Selects folder in the shell's folder browser of another process, as clicking through its
// tree would: the path is placed in that process, since the browser's own messages carry
// pointers that are not carried across. False when the message could not be delivered.
bool SelectBrowserFolder(HWND browser, const std::string& folder);
// Sends dialog the command of button id and waits until it is handled; false when the
// dialog did not answer within timeoutMs (a command that opens a modal window never returns
// in time: use PostCommand for those).
bool SendCommand(HWND dialog, int id, DWORD timeoutMs = kReplyTimeoutMs);
// Posts the command of button id to dialog without waiting.
void PostCommand(HWND dialog, int id);
// Posts a key press (down and up) to a window, as the keyboard would deliver it.
void PostKey(HWND window, WPARAM virtualKey);
// True once window's thread has handled every message sent to it before this call.
bool Synchronise(HWND window, DWORD timeoutMs = kReplyTimeoutMs);
// The first visible top-level window of processId with the class, other than except, that
// appears within timeoutMs; null when none does.
HWND WaitForWindow(DWORD processId, const std::string& className, DWORD timeoutMs, HWND except = nullptr);
// Waits until window is gone; false when it still exists after timeoutMs.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

}  // namespace testkit
