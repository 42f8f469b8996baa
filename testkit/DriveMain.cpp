// orvan_drive: runs a program like a user at the keyboard would, pressing OK on every
// message box, and reports what it showed and how it ended. For scripts and the demo.
//
//   orvan_drive [--temp FOLDER] PROGRAM [ARGUMENTS...]
//
// --temp points the program's temporary folder at FOLDER and reports the run folders that
// appeared there, and whether they are gone at the end. A viewer window seen meanwhile is
// reported with its title and its process's exit code.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "testkit/UiDriver.h"

namespace {

struct Watch {
    std::string temp;
    std::vector<std::string> runFolders;
    std::string viewerTitle;
    HANDLE viewer = nullptr;
    std::atomic<bool> stop{false};

    void Poll() {
        while (!stop) {
            if (viewer == nullptr) {
                if (HWND window = ::FindWindowA("OrvanViewer Window", nullptr)) {
                    DWORD id = 0;
                    ::GetWindowThreadProcessId(window, &id);
                    viewer = ::OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id);
                    viewerTitle = testkit::WindowText(window);
                }
            }
            if (!temp.empty()) {
                WIN32_FIND_DATAA found;
                HANDLE find = ::FindFirstFileA((temp + "\\Orvan3D*").c_str(), &found);
                if (find != INVALID_HANDLE_VALUE) {
                    do {
                        const std::string path = temp + "\\" + found.cFileName;
                        bool known = false;
                        for (const auto& seen : runFolders) known = known || seen == path;
                        if (!known) runFolders.push_back(path);
                    } while (::FindNextFileA(find, &found));
                    ::FindClose(find);
                }
            }
            ::Sleep(10);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    Watch watch;
    if (argc > 3 && std::string(argv[1]) == "--temp") {
        watch.temp = argv[2];
        ::CreateDirectoryA(watch.temp.c_str(), nullptr);
        ::SetEnvironmentVariableA("TMP", (watch.temp + "\\").c_str());
        ::SetEnvironmentVariableA("TEMP", (watch.temp + "\\").c_str());
        first = 3;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: orvan_drive [--temp FOLDER] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const std::string exe = argv[first];
    std::string commandLine = "\"" + exe + "\"";
    for (int i = first + 1; i < argc; ++i) commandLine += std::string(" ") + argv[i];

    std::thread poller([&watch] { watch.Poll(); });
    const auto run = testkit::RunAndDrive(exe, commandLine, 120000);
    watch.stop = true;
    poller.join();
    if (!run.started) {
        std::printf("could not start %s\n", exe.c_str());
        return 1;
    }
    for (const auto& box : run.boxes) {
        std::printf("message box: caption \"%s\", text \"%s\"\n", box.caption.c_str(), box.text.c_str());
    }
    std::printf("message boxes: %u\n", static_cast<unsigned>(run.boxes.size()));
    std::printf("host window: %s\n", !run.hostWindowSeen         ? "not seen"
                                     : run.hostWindowEverVisible ? "seen, visible"
                                                                 : "seen, never visible");
    for (const auto& folder : watch.runFolders) {
        const bool gone = ::GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
        std::printf("run folder: %s (%s)\n", folder.c_str(), gone ? "gone afterwards" : "still there");
    }
    if (watch.viewer != nullptr) {
        ::WaitForSingleObject(watch.viewer, 10000);
        DWORD code = 0;
        ::GetExitCodeProcess(watch.viewer, &code);
        ::CloseHandle(watch.viewer);
        std::printf("viewer: \"%s\", exit code %lu\n", watch.viewerTitle.c_str(), static_cast<unsigned long>(code));
    } else {
        std::printf("viewer: not seen\n");
    }
    if (run.timedOut) {
        std::printf("timed out: the program was stopped\n");
        return 1;
    }
    std::printf("exit code: %lu\n", static_cast<unsigned long>(run.exitCode));
    return 0;
}
