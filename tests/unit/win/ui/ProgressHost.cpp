// Shows a ProgressWindow the way the installing modes do and walks a script of steps given on
// the command line, so that a test can watch the window from outside:
//   progress_host <event prefix> step...
// Steps: text=<caption>, create, p=<fraction>, close, renew (a fresh object), wait (signal
// "<prefix>-ready", then block until "<prefix>-next"), drained (exit with 5 if posted or input
// messages for the window are still queued), queued (exit with 6 if none are). Exit code 0
// once every step ran.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ui/ProgressWindow.h"
#include "win/Handle.h"

namespace {

// Like the program's host window: invisible, and the owner of the progress window.
HWND CreateOwner(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "ProgressHostOwner";
    ::RegisterClassA(&windowClass);
    return ::CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 25, 25, nullptr, nullptr,
                             instance, nullptr);
}

// Blocks as the program does while a mode works: only messages sent by other threads (the
// test reading the window) are handled, nothing posted is taken off the queue.
void WaitHandlingSentMessages(HANDLE event) {
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjects(1, &event, FALSE, 30000, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) return;
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string prefix = argv[1];
    win::Handle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (prefix + "-ready").c_str()));
    win::Handle next(::OpenEventA(SYNCHRONIZE, FALSE, (prefix + "-next").c_str()));
    if (!ready || !next) return 3;
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HWND owner = CreateOwner(instance);

    auto progress = std::make_unique<ProgressWindow>();
    for (int i = 2; i < argc; ++i) {
        const char* step = argv[i];
        if (StartsWith(step, "text=")) {
            progress->SetText(step + 5);
        } else if (std::strcmp(step, "create") == 0) {
            progress->Create(instance, owner);
        } else if (StartsWith(step, "p=")) {
            progress->SetProgress(std::strtof(step + 2, nullptr));
        } else if (std::strcmp(step, "close") == 0) {
            progress->Close();
        } else if (std::strcmp(step, "renew") == 0) {
            progress = std::make_unique<ProgressWindow>();
        } else if (std::strcmp(step, "drained") == 0 || std::strcmp(step, "queued") == 0) {
            MSG message;
            const bool queued = ::PeekMessageA(&message, progress->window, 0, 0,
                                               PM_NOREMOVE | PM_QS_POSTMESSAGE | PM_QS_INPUT) != FALSE;
            if (queued && step[0] == 'd') return 5;
            if (!queued && step[0] == 'q') return 6;
        } else if (std::strcmp(step, "wait") == 0) {
            ::SetEvent(ready.get());
            WaitHandlingSentMessages(next.get());
        } else {
            return 4;
        }
    }
    progress.reset();
    ::DestroyWindow(owner);
    return 0;
}
