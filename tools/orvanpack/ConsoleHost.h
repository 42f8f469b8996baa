#pragma once
#include <ostream>
#include <string>

#include "package/BlockSource.h"
#include "package/PackageFile.h"

// PackageHost for the command line: the package file is the one named by the user, and
// the reader's message boxes become "PATH: caption: text" lines on the error stream.
class ConsoleHost : public PackageHost {
public:
    ConsoleHost(std::string path, std::ostream& err) : path(std::move(path)), err(err) {}

    // Opens the path given at construction; on failure reports "PATH: cannot open: reason"
    // and counts a fault.
    std::unique_ptr<PackageFile> OpenOwnFile() override;
    // Prints the message and counts a fault: the reader only speaks when something is wrong.
    void ShowMessage(const char* text, const char* caption) override;
    // Blocks decode on the reader's thread.
    std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks, uint32_t count) override {
        return DecodeInPlace(file, blocks, count);
    }

    int Faults() const { return faults; }
    // Reports a fault found by the tool itself as "PATH: text".
    void Fault(const std::string& text);

private:
    std::string path;
    std::ostream& err;
    int faults = 0;
};
