// Any byte string as the program file: the reader must never read out of bounds, leak or
// hand out an entry that does not verify. The same bytes behind a PE header whose security
// directory makes a signed-looking file of them: the reader must never read from the
// certificate table or beyond it, and from nothing behind the headers when the directory
// does not describe a table that ends the file (an empty one leaves the file unsigned).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/BlockSource.h"
#include "package/PackageReader.h"
#include "package/PeCertificates.h"
#include "package/StdioPackageFile.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PeImageFixture.h"

namespace {
class FuzzHost : public PackageHost {
public:
    FuzzHost(const uint8_t* data, size_t size) : data(data), size(size) {}
    std::unique_ptr<PackageFile> OpenOwnFile() override { return std::make_unique<MemoryPackageFile>(data, size); }
    void ShowMessage(const char*, const char*) override {}
    std::unique_ptr<BlockSource> DecodeBlocks(PackageFile& file, const BlockLocation* blocks, uint32_t count) override {
        return DecodeInPlace(file, blocks, count);
    }

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

void ReadEverything(PackageReader& reader) {
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
}

// A PE header, then the input without its first 5 bytes, which choose the security directory:
// the first 4 where the table starts within the rest, the fifth how the directory is damaged.
testkit::Bytes SignedLooking(const uint8_t* data, size_t size) {
    constexpr size_t kChoice = 5;
    testkit::Bytes image = testkit::MinimalPeImage(0);
    const size_t headers = image.size();
    if (size < kChoice) return image;
    image.insert(image.end(), data + kChoice, data + size);
    const size_t rest = size - kChoice;
    auto offset = static_cast<uint32_t>(headers + LoadU32(data) % (rest + 1));
    auto tableSize = static_cast<uint32_t>(image.size() - offset);
    switch (data[4] % 6) {
        case 0: break;                                    // the table ends the file
        case 1: tableSize += 1 + data[4] / 6; break;      // runs past the end
        case 2: tableSize = tableSize / 2; break;         // does not end the file
        case 3: offset = 0x40; break;                     // into the headers
        case 4: tableSize = 0xFFFFFFFFu; break;           // overflows
        default: offset = static_cast<uint32_t>(image.size() + 8); break;  // outside the file
    }
    StoreU32(&image[testkit::kMinimalPeSecurityEntry], offset);
    StoreU32(&image[testkit::kMinimalPeSecurityEntry + 4], tableSize);
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        FuzzHost host(data, size);
        PackageReader reader(host);
        ReadEverything(reader);
    }
    testkit::MemoryPackageHost host(SignedLooking(data, size));
    MemoryPackageFile file(host.image.data(), host.image.size());
    CertificateTable table;
    const CertificateState state = LocateCertificateTable(file, host.image.size(), table);
    uint64_t limit = testkit::kMinimalPeSecurityEntry + 8;
    if (state == CertificateState::kNone) limit = host.image.size();
    if (state == CertificateState::kTable && table.offset + table.size == host.image.size()) limit = table.offset;
    {
        PackageReader reader(host);
        ReadEverything(reader);
    }
    if (host.furthestRead > limit) std::abort();
    return 0;
}
