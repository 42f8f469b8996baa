#pragma once
#include <cstddef>
#include <memory>

#include "package/PackageFile.h"
#include "win/Handle.h"
#include "win/LogFile.h"

namespace win {

// PackageFile over a Windows file handle that its owner keeps open for this object's life.
// Every read names its offset, so any number of these may share one handle.
class WinPackageFile : public PackageFile {
public:
    explicit WinPackageFile(HANDLE file) : file(file) {}

    uint64_t Length() override;
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override;

private:
    HANDLE file;
};

// The program's own file, found through the running module's path and opened once, at
// construction, for the host's life: every reader reads that one file, and no other process
// can write, rename or replace it between the readers or while a mode runs. A file under
// that path that is not the one the image was mapped from is not read. Message boxes
// without an owner window.
class SystemPackageHost : public PackageHost {
public:
    // path names another file instead: for tests, which must not lock the running program,
    // and for tools that read a packed file.
    explicit SystemPackageHost(const char* path = nullptr);
    std::unique_ptr<PackageFile> OpenOwnFile() override;
    void ShowMessage(const char* text, const char* caption) override;
    // The install log its boxes are noted in first; none: not noted.
    void SetLog(const LogFile* file) { log = file; }
    // LZMA blocks decode on a thread of their own, ahead of the writes (DecodeAheadSource).
    std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks, uint32_t count) override;

private:
    FileHandle own;
    const LogFile* log = nullptr;
};

// Room for the longest path Windows accepts.
constexpr size_t kMaxLongPath = 32768;

// Whether file is the one the program's image was mapped from (the same volume and file index
// as the file the mapping names now). False when that file cannot be opened; true where the
// system cannot tell (Vista).
bool IsMappedImage(HANDLE file);

}  // namespace win
