#pragma once
#include <cstddef>
#include <memory>

#include "Handle.h"
#include "PackageFile.h"

namespace win {

// PackageFile over a Windows file opened for reading, others may read too.
class WinPackageFile : public PackageFile {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<WinPackageFile> Open(const char* path);

    uint64_t Length() override;
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override;

private:
    explicit WinPackageFile(FileHandle file) : file(std::move(file)) {}
    FileHandle file;
};

// The program's own file, found through the running module's path; message boxes without
// an owner window.
class SystemPackageHost : public PackageHost {
public:
    std::unique_ptr<PackageFile> OpenOwnFile() override;
    void ShowMessage(const char* text, const char* caption) override;
};

// The running module's full path into path (capacity bytes); false when it does not fit,
// as a cut path could name another file.
bool GetOwnModulePath(char* path, size_t capacity);
// Room for the longest path Windows accepts.
constexpr size_t kMaxLongPath = 32768;

}  // namespace win
