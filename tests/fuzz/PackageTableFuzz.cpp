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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzHost host(data, size);
    PackageReader reader(host);
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry* entry = reader.EntryAt(i);
        unsigned char small[8];
        reader.ReadEntry(entry->name, small, sizeof(small), entry->section);
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
