// orvan_drive: runs a program like a user at the keyboard would, pressing OK on every
// message box, and reports what it showed and how it ended. For scripts and the demo.
#include <cstdio>
#include <string>

#include "UiDriver.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvan_drive PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const std::string exe = argv[1];
    std::string commandLine = "\"" + exe + "\"";
    for (int i = 2; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    const auto run = testkit::RunAndDrive(exe, commandLine, 120000);
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
    if (run.timedOut) {
        std::printf("timed out: the program was stopped\n");
        return 1;
    }
    std::printf("exit code: %lu\n", static_cast<unsigned long>(run.exitCode));
    return 0;
}
