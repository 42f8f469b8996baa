#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "package/PackageFile.h"

// PackageFile over a C stdio stream, for the tools and native tests.
class StdioPackageFile : public PackageFile {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<StdioPackageFile> Open(const std::string& path);
    ~StdioPackageFile() override;

    uint64_t Length() override;
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override;

private:
    explicit StdioPackageFile(std::FILE* stream) : stream(stream) {}
    std::FILE* stream;
};

// PackageFile over bytes held in memory, for tests and fuzzing.
class MemoryPackageFile : public PackageFile {
public:
    MemoryPackageFile(const void* data, size_t size) : bytes(static_cast<const unsigned char*>(data)), size(size) {}
    uint64_t Length() override { return size; }
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override;

private:
    const unsigned char* bytes;
    size_t size;
};
