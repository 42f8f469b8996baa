// Any byte string as a package's LZMA blocks and item records, read through the reader's item
// road as the installer reads them: truncated blocks, wrong sizes, wrong CRCs, items claiming
// more than their blocks hold, blocks that decode to more than they declare. No item is ever
// committed unless its bytes are what its record promises, none gets more bytes than its record
// gives, and every failure discards what was written.
//
// Input: a control byte (bit 0: the table CRC of block 0 made stale, as by a damaged download;
// bit 1: read the items last to first), the number of records n (1 byte, at most 8), n records
// of 16 bytes, the size of block 0 (4 bytes LE), block 0, then block 1 (the rest).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

class Target : public EntrySink {
public:
    explicit Target(uint32_t promised) : promised(promised) {}
    bool Begin(uint32_t size) override {
        Check(size == promised);
        return true;
    }
    bool Write(const void* bytes, uint32_t length) override {
        Check(!committed && !discarded);
        Check(length <= DecodingBlockSource::kPieceSize);
        received += length;
        Check(received <= promised);
        crc = Crc32::Update(crc, bytes, length);
        return true;
    }
    bool Commit() override {
        committed = true;
        return true;
    }
    void Discard() override { discarded = true; }
    uint32_t promised;
    uint64_t received = 0;
    uint32_t crc = 0;
    bool committed = false;
    bool discarded = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 20)) return 0;
    const uint8_t control = data[0];
    const size_t count = data[1] % 9;
    size_t at = 2;
    if (size < at + count * package_format::kBlockItemRecordSize + 4) return 0;
    std::vector<testkit::Bytes> records;
    for (size_t i = 0; i < count; ++i, at += package_format::kBlockItemRecordSize) {
        records.emplace_back(data + at, data + at + package_format::kBlockItemRecordSize);
    }
    const size_t first = LoadU32(data + at) % (size - at - 4 + 1);
    at += 4;
    const testkit::Bytes block0(data + at, data + at + first);
    const testkit::Bytes block1(data + at + first, data + size);

    testkit::PackageFixture fixture;
    for (size_t i = 0; i < count; ++i) fixture.Raw("\\item" + std::to_string(i), {});
    for (size_t i = 0; i < count; ++i) {
        fixture.Raw("\\item" + std::to_string(i), records[i], package_format::kBlockItemSection);
    }
    fixture.Raw("0", block0, package_format::kBlockSection);
    if (!block1.empty()) fixture.Raw("1", block1, package_format::kBlockSection);
    testkit::Bytes image = fixture.Image(testkit::Bytes(16, 0));
    if ((control & 1) != 0 && !block0.empty()) image[image.size() - 4 - block1.size() - 1] ^= 0x01;

    testkit::MemoryPackageHost host(image);
    PackageReader reader(host);
    for (size_t k = 0; k < count; ++k) {
        const size_t i = (control & 2) != 0 ? count - 1 - k : k;
        Target target(LoadU32(records[i].data() + 8));
        bool decodeFailed = false;
        const StreamResult result = reader.StreamItem(("\\item" + std::to_string(i)).c_str(), target, decodeFailed);
        Check((result == StreamResult::kWritten) == target.committed);
        if (target.committed) {
            Check(target.received == target.promised && target.crc == LoadU32(records[i].data() + 12));
        } else {
            Check(result != StreamResult::kWritten && (target.received == 0 || target.discarded));
        }
    }
    return 0;
}
