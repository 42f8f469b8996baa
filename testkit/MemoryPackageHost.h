#pragma once
#include <memory>
#include <string>
#include <vector>

#include "PackageFile.h"
#include "PackageFixture.h"
#include "StdioPackageFile.h"

namespace testkit {

// The reader's view of the system in tests: a package image in memory, and every message
// recorded as "text / caption" instead of shown.
class MemoryPackageHost : public PackageHost {
public:
    explicit MemoryPackageHost(Bytes image) : image(std::move(image)) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override {
        ++opens;
        if (openFails) return nullptr;
        return std::make_unique<MemoryPackageFile>(image.data(), image.size());
    }
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(text) + " / " + caption);
    }

    Bytes image;
    bool openFails = false;
    int opens = 0;
    std::vector<std::string> messages;
};

}  // namespace testkit
