// Shows an OptionsDialog the way the installing modes do and writes what it returned, so that a
// test can drive the dialog from outside:
//   options_host <report file> [name=<text>] [longname=<count>] [folder=<text>]
//                [longfolder=<count>] [shows=<count>]
// Without name or folder the dialog gets null for them. Each Show adds the line
// "<accepted 0|1> <folder>" to the report.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/OptionsDialog.h"

namespace {

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string name, folder;
    bool hasName = false, hasFolder = false;
    int shows = 1;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (StartsWith(arg, "name=")) {
            name = arg + 5;
            hasName = true;
        } else if (StartsWith(arg, "longname=")) {
            name.assign(static_cast<size_t>(std::atoi(arg + 9)), 'N');
            hasName = true;
        } else if (StartsWith(arg, "folder=")) {
            folder = arg + 7;
            hasFolder = true;
        } else if (StartsWith(arg, "longfolder=")) {
            folder = "C:\\" + std::string(static_cast<size_t>(std::atoi(arg + 11)) - 3, 'f');
            hasFolder = true;
        } else if (StartsWith(arg, "shows=")) {
            shows = std::atoi(arg + 6);
        } else {
            return 4;
        }
    }
    // The modes pass their host window; the dialog must not become its child or owned window.
    HWND parent = ::CreateWindowExA(0, "Static", "", WS_OVERLAPPEDWINDOW, 0, 0, 25, 25, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    OptionsDialog dialog;
    if (hasName) dialog.SetProjectName(name.c_str());
    std::string report;
    for (int i = 0; i < shows; ++i) {
        const bool accepted =
            dialog.Show(::GetModuleHandleA(nullptr), parent, hasFolder ? folder.c_str() : nullptr);
        report += std::string(accepted ? "1 " : "0 ") + dialog.GetFolder() + "\n";
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 5;
    std::fwrite(report.data(), 1, report.size(), out);
    std::fclose(out);
    ::DestroyWindow(parent);
    return 0;
}
