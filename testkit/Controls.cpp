#include "testkit/Controls.h"

#include <commctrl.h>
#include <shlobj.h>

#include "win/Handle.h"

#include "testkit/UiDriver.h"
#include "testkit/WideText.h"

namespace testkit {

namespace {

bool SendTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs, DWORD_PTR& result) {
    return ::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

}  // namespace

HWND FindControl(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

bool ReadControl(HWND control, ControlInfo& info) {
    if (!::IsWindow(control)) return false;
    info = ControlInfo{};
    info.window = control;
    info.id = static_cast<int>(static_cast<short>(::GetDlgCtrlID(control)));
    char name[256] = {};
    ::GetClassNameA(control, name, sizeof(name));
    info.className = name;
    info.text = WindowText(control);
    info.style = static_cast<DWORD>(::GetWindowLongA(control, GWL_STYLE));
    info.exStyle = static_cast<DWORD>(::GetWindowLongA(control, GWL_EXSTYLE));
    return true;
}

bool ReadProgressBar(HWND bar, ProgressInfo& info) {
    DWORD_PTR position = 0;
    DWORD_PTR minimum = 0;
    DWORD_PTR maximum = 0;
    // Without a PBRANGE pointer the bar answers the range with plain values, which need no
    // marshalling between processes.
    if (!SendTimed(bar, PBM_GETPOS, 0, 0, 2000, position) || !SendTimed(bar, PBM_GETRANGE, TRUE, 0, 2000, minimum) ||
        !SendTimed(bar, PBM_GETRANGE, FALSE, 0, 2000, maximum)) {
        return false;
    }
    info.position = static_cast<int>(position);
    info.minimum = static_cast<int>(minimum);
    info.maximum = static_cast<int>(maximum);
    return true;
}

bool SetEditText(HWND edit, const std::string& text) {
    DWORD_PTR result = 0;
    // WM_SETTEXT is marshalled across processes, and the edit box notifies EN_CHANGE as for typing.
    // Wide, from UTF-8, as a user types any letter.
    const std::wstring wide = Widen(text);
    return ::SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG,
                                 kReplyTimeoutMs, &result) != 0 &&
           result != 0;
}

bool SelectBrowserFolder(HWND browser, const std::string& folder) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(browser, &processId);
    win::Handle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
                                      processId));
    if (!process) return false;
    void* remote = ::VirtualAllocEx(process.get(), nullptr, folder.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    if (remote == nullptr) return false;
    SIZE_T written = 0;
    // The browser's answer carries no meaning; only the delivery can be known.
    DWORD_PTR result = 0;
    const bool sent = ::WriteProcessMemory(process.get(), remote, folder.c_str(), folder.size() + 1, &written) &&
                      SendTimed(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote), kReplyTimeoutMs, result);
    ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return sent;
}

bool SendCommand(HWND dialog, int id, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendTimed(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(FindControl(dialog, id)),
                     timeoutMs, result);
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(FindControl(dialog, id)));
}

void PostKey(HWND window, WPARAM virtualKey) {
    const UINT scan = ::MapVirtualKeyA(static_cast<UINT>(virtualKey), 0) & 0xFF;
    // Repeat count 1 and the scan code; a release also carries the previous-state and transition bits.
    const UINT down = 1u | scan << 16;
    ::PostMessageA(window, WM_KEYDOWN, virtualKey, static_cast<LPARAM>(down));
    ::PostMessageA(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(down | 0xC0000000u));
}

bool Synchronise(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendTimed(window, WM_NULL, 0, 0, timeoutMs, result);
}

HWND WaitForWindow(DWORD processId, const std::string& className, DWORD timeoutMs, HWND except) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        for (const WindowInfo& window : TopLevelWindows(processId)) {
            if (window.visible && window.window != except && window.className == className) return window.window;
        }
        if (::GetTickCount() - start > timeoutMs) return nullptr;
        ::Sleep(20);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window)) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(20);
    }
    return true;
}

}  // namespace testkit
