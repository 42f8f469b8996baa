// orvan_extractsteps: the run-in-place road of a packed program, step by step, each step timed
// inside the process: where the extraction's time goes. The viewer is not started.
//
//   orvan_extractsteps PACKED.exe
//
// Prints one "step ms" line per step, then the project files' time split into item-name
// lookups and extraction (entry read, file written), and what walking every file's folders
// would cost once they exist (the walk the extraction skips for a folder just walked).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/HostWindow.h"
#include "installer/Installer.h"
#include "installer/UserMessages.h"
#include "package/PackageSchema.h"
#include "win/WinPackageFile.h"

namespace {

double Milliseconds() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The program's host over the packed file named on the command line, its boxes printed.
class FileHost : public win::SystemPackageHost {
public:
    using SystemPackageHost::SystemPackageHost;
    void ShowMessage(const char* text, const char* caption) override { std::printf("box: %s / %s\n", text, caption); }
};

class PrintedMessages : public UserMessages {
public:
    int Show(const char* text, const char* caption, UINT) override {
        std::printf("box: %s / %s\n", text, caption);
        return IDOK;
    }
};

// The Installer with its lookups and extractions of project files timed.
class TimedInstaller : public Installer {
public:
    using Installer::Installer;
    bool GetPackageEntry(const char* key, void* buffer, int32_t capacity, const char* section) override {
        const double start = Milliseconds();
        const bool found = Installer::GetPackageEntry(key, buffer, capacity, section);
        if (buffer != nullptr) lookupMs += Milliseconds() - start;
        return found;
    }
    ExtractResult ExtractFile(const char* name, bool decode) override {
        const double start = Milliseconds();
        const ExtractResult written = Installer::ExtractFile(name, decode);
        if (!decode) {
            extractMs += Milliseconds() - start;
            ++files;
        }
        return written;
    }
    double lookupMs = 0;
    double extractMs = 0;
    int files = 0;
};

// What ExtractFile's folder walk costs once the folders exist: CreateDirectory on every prefix.
double FolderWalkMs(const PointerList& created) {
    const double start = Milliseconds();
    for (int32_t i = 0; i < created.Count(); ++i) {
        char prefix[Installer::kFolderCapacity];
        const char* path = static_cast<const char*>(created.Get(i));
        for (size_t j = 0; path[j] != '\0' && j + 1 < sizeof(prefix); ++j) {
            prefix[j] = path[j] == '/' ? '\\' : path[j];
            if (prefix[j] != '\\') continue;
            prefix[j + 1] = '\0';
            ::CreateDirectoryA(prefix, nullptr);
        }
    }
    return Milliseconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvan_extractsteps PACKED.exe\n");
        return 2;
    }
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    RegisterHostWindowClass(instance);
    HWND window = CreateHostWindow(instance);
    FileHost host(argv[1]);
    PrintedMessages messages;
    double mark = Milliseconds();
    auto step = [&mark](const char* name, bool ok) {
        const double now = Milliseconds();
        std::printf("%-34s %9.1f%s\n", name, now - mark, ok ? "" : "  (failed)");
        mark = now;
        return ok;
    };
    TimedInstaller installer(host, messages);
    step("open and index the package", true);
    installer.Init(instance, window);
    if (!step("make the run folder", installer.MakeTempDirectory())) return 1;
    ::SetCurrentDirectoryA(installer.InstallFolder());
    step("viewer (zlib)", static_cast<bool>(installer.ExtractFile(kViewerFile, true)));
    step("engine files (zlib)", installer.ExtractEngineFiles());
    step("load the engine", installer.LoadEngine());
    step("file loader", installer.CreateFileLoader());
    step("channels", installer.ExtractChannels());
    installer.files = 0;
    installer.lookupMs = 0;
    installer.extractMs = 0;
    step("project files", installer.ExtractProjectFiles());
    installer.ReleaseEngine();
    step("release the engine", true);
    const double walk = FolderWalkMs(installer.CreatedFiles());
    mark = Milliseconds();
    const int32_t created = installer.CreatedFiles().Count();
    step("clean-up", installer.Cleanup());
    std::printf("project files: %d, item-name lookups %.1f ms, extraction %.1f ms; a folder walk for every file would"
                " add %.1f ms; %ld files removed\n",
                installer.files, installer.lookupMs, installer.extractMs, walk, static_cast<long>(created));
    return 0;
}
