// Any byte string as the program file: the reader must never read out of bounds, leak or
// hand out an entry that does not verify.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "Crc32.h"
#include "PackageReader.h"
#include "StdioPackageFile.h"

namespace {
class FuzzHost : public PackageHost {
public:
    FuzzHost(const uint8_t* data, size_t size) : data(data), size(size) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override { return std::make_unique<MemoryPackageFile>(data, size); }
    void ShowMessage(const char*, const char*) override {}

private:
    const uint8_t* data;
    size_t size;
};

// A streamed entry as the installer would write it: committed only whole and verified.
class CheckingSink : public EntrySink {
public:
    explicit CheckingSink(const PackageEntry& entry) : entry(entry) {}
    bool Begin(uint32_t size) override { return size == entry.size; }
    bool Write(const void* bytes, uint32_t length) override {
        crc = Crc32::Update(crc, bytes, length);
        written += length;
        return written <= entry.size;
    }
    bool Commit() override {
        if (written != entry.size || crc != entry.crc) std::abort();
        return true;
    }
    void Discard() override {}

private:
    const PackageEntry& entry;
    uint32_t crc = 0;
    uint64_t written = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzHost host(data, size);
    PackageReader reader(host);
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry* entry = reader.EntryAt(i);
        unsigned char small[8];
        reader.ReadEntry(entry->name, small, sizeof(small), entry->section);
        // A lookup finds the first of equal names: only that one is the entry streamed.
        bool first = true;
        for (int32_t j = 0; j < i && first; ++j) {
            first = !EqualsIgnoringCase(reader.EntryAt(j)->name, entry->name) ||
                    !EqualsIgnoringCase(reader.EntryAt(j)->section, entry->section);
        }
        if (first) {
            CheckingSink sink(*entry);
            reader.StreamEntry(entry->name, entry->section, sink);
        }
        if (reader.LoadEntryAt(i)) {
            // A loaded entry always matches its stored CRC and size.
            if (reader.Size() != entry->size || Crc32::Update(0, reader.Data(), reader.Size()) != entry->crc) {
                std::abort();
            }
        }
    }
    reader.ReadEntry("ProjectType", nullptr, 0, nullptr);
    return 0;
}
