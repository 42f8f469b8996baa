#pragma once
#include <cstdint>
#include <memory>

// Random-access read of the file that holds the package. The program implements it over
// a Windows file handle, the tools and tests over a Linux file or a memory buffer.
class PackageFile {
public:
    virtual ~PackageFile() = default;
    // The file's length in bytes; 0 when it cannot be told.
    virtual uint64_t Length() = 0;
    // Reads up to length bytes at offset. got holds the count read (0 on failure);
    // false only when the read itself failed, a short count at the end of the file is true.
    virtual bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) = 0;

    // Reads exactly length bytes or fails.
    bool ReadExact(uint64_t offset, void* buffer, uint32_t length) {
        uint32_t got = 0;
        return ReadUpTo(offset, buffer, length, got) && got == length;
    }
};

class BlockSource;
struct BlockLocation;

// What the package reader needs from the system it runs on.
class PackageHost {
public:
    virtual ~PackageHost() = default;
    // The file that carries the package, for one reader; null when it cannot be opened. The
    // program's host opens its file once and gives every reader that same file, so that all
    // readers of a run read the same bytes.
    virtual std::unique_ptr<PackageFile> OpenOwnFile() = 0;
    // Shows a message with an OK button and no owner window.
    virtual void ShowMessage(const char* text, const char* caption) = 0;
    // The decoder of the package's LZMA blocks (count of them at blocks, read from file; both
    // outlive it); null when it cannot be made. DecodeInPlace (package/BlockSource.h) decodes on
    // the reader's thread.
    virtual std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks,
                                                      uint32_t count) = 0;
};
