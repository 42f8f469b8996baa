#pragma once
#include <windows.h>

#include "installer/UserMessages.h"
#include "package/BlockSource.h"
#include "package/DeploymentValues.h"
#include "package/PackageFile.h"

struct CommandLineOptions;

// Stands in for the boxes of the program and its package reader during a silent install:
// nothing is shown (each is noted in the log), every box counts as a failure. Opening the program
// file and decoding its blocks go to host.
class QuietMessages : public UserMessages, public PackageHost {
public:
    explicit QuietMessages(PackageHost& host) : host(host) {}
    int Show(const char* text, const char* caption, UINT style) override {
        Note(text, caption);
        failed = true;
        return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    std::unique_ptr<PackageFile> OpenOwnFile() override { return host.OpenOwnFile(); }
    void ShowMessage(const char* text, const char* caption) override {
        Note(text, caption);
        failed = true;
    }
    std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks, uint32_t count) override {
        return host.DecodeBlocks(file, blocks, count);
    }
    // Set once any box would have been shown.
    const bool& Failed() const { return failed; }

private:
    PackageHost& host;
    bool failed = false;
};

enum class SilentOutcome {
    kReported,   // the install ran or was refused: the exit code tells
    kOtherMode,  // not a project install: the program runs as without /S
};

// The silent install of deployment tools ("/S", optionally "/D=<folder>" last). Reads
// ProjectType without showing anything; for 2 installs the project into options.folder (empty:
// the package's InstallPath) with no dialog, no box and no viewer started. exit is kInstalled
// only when the install succeeded and nothing on the way would have shown a box; else why it
// failed. Every box it would have shown, and what it wrote, is noted in log.
SilentOutcome RunSilentInstall(PackageHost& host, HINSTANCE instance, HWND hostWindow,
                               const CommandLineOptions& options, const win::LogFile& log, SetupExit& exit);
