#pragma once
#include <memory>
#include <string>
#include <vector>

#include "package/BlockSource.h"
#include "package/PackageFile.h"
#include "package/StdioPackageFile.h"
#include "testkit/PackageFixture.h"

namespace testkit {

// A file in memory that notes in furthest the end of the furthest byte any read asked for,
// so that a test can tell which bytes a reader never touched.
class WatchedMemoryFile : public MemoryPackageFile {
public:
    WatchedMemoryFile(const Bytes& image, uint64_t& furthest)
        : MemoryPackageFile(image.data(), image.size()), furthest(furthest) {}
    bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override {
        if (length > 0 && offset + length > furthest) furthest = offset + length;
        return MemoryPackageFile::ReadUpTo(offset, buffer, length, got);
    }

private:
    uint64_t& furthest;
};

// The reader's view of the system in tests: a package image in memory, and every message
// recorded as "text / caption" instead of shown.
class MemoryPackageHost : public PackageHost {
public:
    explicit MemoryPackageHost(Bytes image) : image(std::move(image)) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override {
        ++opens;
        if (openFails) return nullptr;
        return std::make_unique<WatchedMemoryFile>(image, furthestRead);
    }
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(text) + " / " + caption);
    }
    std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks, uint32_t count) override {
        return DecodeInPlace(file, blocks, count);
    }

    Bytes image;
    bool openFails = false;
    int opens = 0;
    // The end of the furthest byte any read through an opened file asked for.
    uint64_t furthestRead = 0;
    std::vector<std::string> messages;
};

}  // namespace testkit
