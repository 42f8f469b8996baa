// orvan_benchdrive: times a Windows program from inside Wine, where its windows can be seen.
//
//   orvan_benchdrive firstbox PROGRAM          start -> first message box on screen
//   orvan_benchdrive install PROGRAM FOLDER    Install click in the options dialog -> the
//                                              success box, installing into FOLDER
//
// Prints one line of key=value pairs (milliseconds from a high-resolution clock; peak_kib is
// the program's peak working set when the last box was seen), presses OK on every box and
// waits for the program to end. Exit code 0 when the program did what was expected.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "testkit/Controls.h"
#include "testkit/UiDriver.h"
#include "ui/ResourceIds.h"
#include "win/Handle.h"

namespace {

constexpr int kInstall = IDC_INSTALL;
constexpr int kFolderEdit = IDC_FOLDER_EDIT;
constexpr DWORD kLimitMs = 300000;
constexpr DWORD kInstallPollMs = 10;
constexpr char kSuccess[] = "Installation successfully completed!";

double Milliseconds() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

unsigned long PeakKib(DWORD processId) {
    win::Handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!process || !::GetProcessMemoryInfo(process.get(), &counters, sizeof(counters))) return 0;
    return static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024);
}

struct Visible {
    DWORD processId;
    HWND skip;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<Visible*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof(name));
    if (owner != context->processId || window == context->skip || !::IsWindowVisible(window) ||
        std::strcmp(name, "#32770") != 0) {
        return TRUE;
    }
    // The progress window is no box: reading its texts would send it messages that the
    // installing thread answers only between files, and the look would cost the install time.
    if (::FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr) != nullptr) return TRUE;
    context->found = window;
    return FALSE;
}

// A visible dialog of the process other than skip and the progress window, or null.
HWND VisibleDialog(DWORD processId, HWND skip) {
    Visible context{processId, skip, nullptr};
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

int FirstBox(const std::string& program) {
    testkit::ChildProcess child;
    const double start = Milliseconds();
    if (!child.Start(program, "\"" + program + "\"")) return 1;
    testkit::MessageBoxInfo box;
    double seen = -1;
    unsigned long peak = 0;
    while (!child.Wait(1)) {
        if (Milliseconds() - start > kLimitMs) return 1;
        HWND dialog = VisibleDialog(child.Id(), nullptr);
        if (dialog == nullptr || !testkit::ReadMessageBox(dialog, box)) continue;
        seen = Milliseconds() - start;
        peak = PeakKib(child.Id());
        testkit::ClickButton(dialog, testkit::PressOk(box));
        break;
    }
    const bool ended = child.Wait(kLimitMs);
    std::printf("box_ms=%.1f total_ms=%.1f peak_kib=%lu text=\"%s\"\n", seen, Milliseconds() - start, peak,
                box.text.c_str());
    return seen >= 0 && ended ? 0 : 1;
}

int Install(const std::string& program, const std::string& folder) {
    testkit::ChildProcess child;
    const double start = Milliseconds();
    if (!child.Start(program, "\"" + program + "\"")) return 1;
    double dialogSeen = -1, clicked = -1, success = -1;
    unsigned long peak = 0;
    HWND options = nullptr;
    std::string boxes;
    // Each look costs the emulated machine time the install shares: every 10 ms, not every
    // millisecond.
    while (!child.Wait(kInstallPollMs)) {
        if (Milliseconds() - start > kLimitMs) return 1;
        HWND dialog = VisibleDialog(child.Id(), options);
        if (dialog == nullptr) continue;
        if (options == nullptr && testkit::FindControl(dialog, kFolderEdit) != nullptr) {
            options = dialog;
            dialogSeen = Milliseconds() - start;
            if (!testkit::SetEditText(testkit::FindControl(dialog, kFolderEdit), folder)) return 1;
            clicked = Milliseconds();
            testkit::PostCommand(dialog, kInstall);
            continue;
        }
        testkit::MessageBoxInfo box;
        if (!testkit::ReadMessageBox(dialog, box)) continue;
        if (success < 0 && box.text.compare(0, std::strlen(kSuccess), kSuccess) == 0 && clicked >= 0) {
            success = Milliseconds() - clicked;
            peak = PeakKib(child.Id());
        }
        boxes += box.text.substr(0, 40) + ";";
        testkit::ClickButton(dialog, testkit::PressOk(box));
        while (::IsWindow(dialog) && !child.Wait(1)) {
        }
    }
    std::printf("install_ms=%.1f dialog_ms=%.1f total_ms=%.1f peak_kib=%lu boxes=\"%s\"\n", success, dialogSeen,
                Milliseconds() - start, peak, boxes.c_str());
    return success >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "firstbox") == 0) return FirstBox(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "install") == 0) return Install(argv[2], argv[3]);
    std::fprintf(stderr, "usage: orvan_benchdrive firstbox PROGRAM | install PROGRAM FOLDER\n");
    return 2;
}
