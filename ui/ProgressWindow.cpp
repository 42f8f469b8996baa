#include "ui/ProgressWindow.h"

#include <commctrl.h>

#include "package/AsciiText.h"
#include "ui/ResourceIds.h"

namespace {

constexpr int kBarMaximum = 500;
// Enough to empty the queue after any burst of input without letting a window that keeps
// posting to itself hold the extraction up.
constexpr int kMaxDrainedMessages = 64;

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return 0;
    auto* self = reinterpret_cast<ProgressWindow*>(lParam);
    if (self != nullptr) self->OnInitDialog(dialog);
    return 1;
}

// Only this window's queue is drained, not the thread's: the thread's other windows (the host
// window) get no loop of their own by design, and handling their messages here could end the
// process mid-extraction. Taking any message off the queue is what tells the system the
// window is still responding; dispatching paints and default handling changes nothing shown,
// because the dialog procedure acts on none of them.
void DrainMessages(HWND window) {
    MSG message;
    for (int i = 0; i < kMaxDrainedMessages && ::PeekMessageA(&message, window, 0, 0, PM_REMOVE); ++i) {
        // A quit request is not ours to consume: put it back for whoever ends the thread.
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

}  // namespace

ProgressWindow::ProgressWindow() { CopyText(text, sizeof(text), "Installing...", sizeof(text) - 1); }

ProgressWindow::~ProgressWindow() {
    if (window != nullptr) ::DestroyWindow(window);
    window = nullptr;
}

void ProgressWindow::SetText(const char* newText) {
    if (window != nullptr) {
        ::SetWindowTextA(window, newText);
        return;
    }
    if (newText != nullptr) CopyText(text, sizeof(text), newText, sizeof(text) - 1);
}

void ProgressWindow::SetProgress(float fraction) {
    if (window == nullptr) return;
    // In double precision from the single-precision value, then truncated: 0.95f gives 474.
    const int position = static_cast<int>(static_cast<double>(fraction) * kBarMaximum);
    // Moving the bar repaints it at once and pumps; a call that leaves it where it stands (a
    // list of many small files asks for the same step again and again) costs nothing.
    if (position == shownPosition) return;
    shownPosition = position;
    HWND bar = ::GetDlgItem(window, IDC_PROGRESS_BAR);
    ::SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::UpdateWindow(bar);
    DrainMessages(window);
}

HWND ProgressWindow::Create(HINSTANCE instance, HWND parent) {
    // The template names the bar's class, which exists only once the common controls have
    // registered it in this process.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    ::InitCommonControlsEx(&controls);
    window = ::CreateDialogParamA(instance, kProgressTemplateName, parent, ProgressDialogProc,
                                  reinterpret_cast<LPARAM>(this));
    return window;
}

void ProgressWindow::OnInitDialog(HWND dialog) {
    window = dialog;
    shownPosition = -1;
    ::SendMessageA(::GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_SETRANGE, 0, MAKELPARAM(0, kBarMaximum));
    ::SetWindowTextA(dialog, text);
}

void ProgressWindow::Close() {
    if (window != nullptr) ::DestroyWindow(window);
    window = nullptr;
}
