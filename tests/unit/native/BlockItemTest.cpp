// Project files in solid LZMA blocks, read through the reader's item road as the installer
// reads them: byte-exact, each block decoded once when its items come in order, and every
// damaged or unsound block, record or item refused before its item is committed.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "testkit/ByteStrings.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"

using testkit::Bytes;
using testkit::PackageFixture;
using testkit::RandomBytes;

namespace {

// Keeps what it gets, as a target file would, and records the calls.
class RecordingSink : public EntrySink {
public:
    bool Begin(uint32_t size) override {
        calls += "begin ";
        begun = size;
        return true;
    }
    bool Write(const void* data, uint32_t length) override {
        if (failAfter >= 0 && bytes.size() + length > static_cast<size_t>(failAfter)) return false;
        AppendBytes(bytes, data, length);
        return true;
    }
    bool Commit() override {
        calls += "commit ";
        return true;
    }
    void Discard() override {
        calls += "discard ";
        bytes.clear();
    }
    std::string calls;
    uint32_t begun = 0;
    Bytes bytes;
    int64_t failAfter = -1;
};

// Compressible bytes of their own per seed: lines of a scene description.
Bytes SceneText(size_t size, unsigned seed) {
    Bytes out;
    for (unsigned i = 0; out.size() < size; ++i) {
        const std::string line = "mesh " + std::to_string(seed) + "." + std::to_string(i * 7919 % 1000) + " at " +
                                 std::to_string(i) + " 0.5 1.25\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

struct Streamed {
    StreamResult result;
    bool decodeFailed;
    RecordingSink sink;
};

Streamed StreamOne(PackageReader& reader, const std::string& name) {
    Streamed out{StreamResult::kMissing, false, {}};
    out.result = reader.StreamItem(name.c_str(), out.sink, out.decodeFailed);
    return out;
}

// Counts the bytes read through the file.
class CountingHost : public testkit::MemoryPackageHost {
public:
    using MemoryPackageHost::MemoryPackageHost;
    class File : public MemoryPackageFile {
    public:
        File(const Bytes& image, uint64_t& read) : MemoryPackageFile(image.data(), image.size()), read(read) {}
        bool ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) override {
            const bool ok = MemoryPackageFile::ReadUpTo(offset, buffer, length, got);
            read += got;
            return ok;
        }
        uint64_t& read;
    };
    std::unique_ptr<PackageFile> OpenOwnFile() override { return std::make_unique<File>(image, read); }
    uint64_t read = 0;
};

const std::vector<PackageFixture::Item> kItems = {
    {"\\a\\first.sol", SceneText(300000, 1)},
    {"\\a\\empty.sol", {}},
    // Runs past the end of block 0 into block 1.
    {"\\a\\across.sol", SceneText(900000, 2)},
    {"\\b\\small.txt", SceneText(17, 3)},
    {"\\b\\noise.bin", RandomBytes(200000, 4)},
    {"\\b\\last.txt", SceneText(1234567, 5)},
};
constexpr uint32_t kBlockBytes = 1u << 20;

}  // namespace

TEST(BlockItems, ItemsInOrderComeOutByteExactAndDecodeEachBlockOnce) {
    const Bytes stored = RandomBytes(5000, 9);
    CountingHost host(PackageFixture()
                          .Raw("\\plain.jpg", stored)
                          .BlockItems(kItems, kBlockBytes)
                          .Image(Bytes(128, 0)));
    PackageReader reader(host);
    uint64_t blockBytes = 0;
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        if (EqualsIgnoringCase(reader.EntryAt(i)->section, package_format::kBlockSection)) blockBytes += reader.EntryAt(i)->size;
    }
    ASSERT_GT(blockBytes, 0u);
    host.read = 0;
    // A stored item between block items leaves the decoder where it was.
    for (size_t i = 0; i < kItems.size(); ++i) {
        Streamed out = StreamOne(reader, kItems[i].name);
        ASSERT_EQ(out.result, StreamResult::kWritten) << kItems[i].name;
        EXPECT_EQ(out.sink.calls, "begin commit ") << kItems[i].name;
        EXPECT_EQ(out.sink.begun, kItems[i].bytes.size()) << kItems[i].name;
        EXPECT_EQ(out.sink.bytes, kItems[i].bytes) << kItems[i].name;
        if (i == 2) {
            Streamed plain = StreamOne(reader, "\\plain.jpg");
            ASSERT_EQ(plain.result, StreamResult::kWritten);
            EXPECT_EQ(plain.sink.bytes, stored);
        }
    }
    EXPECT_TRUE(host.messages.empty());
    // Records and names come from the read window; the blocks' bytes are read once.
    EXPECT_LT(host.read, blockBytes + stored.size() + 200000) << "each block decoded once";

    // Out of order: an earlier item starts its block again, and is still right.
    for (const size_t i : {5, 0, 3, 2}) {
        Streamed out = StreamOne(reader, kItems[i].name);
        ASSERT_EQ(out.result, StreamResult::kWritten) << kItems[i].name;
        EXPECT_EQ(out.sink.bytes, kItems[i].bytes) << kItems[i].name;
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(BlockItems, BlocksLongerThanTheirDictionaryDecodeThroughItsRing) {
    // The packer's blocks may hold more than their dictionary; the reader's window is the
    // dictionary's and wraps around. Every bit layout the packer chooses among.
    for (const auto [lc, lp, pb] : {std::array<unsigned, 3>{3, 0, 2}, {0, 2, 2}, {0, 2, 3}}) {
        BlockSettings settings;
        settings.dictionary = 64u << 10;
        settings.lc = lc;
        settings.lp = lp;
        settings.pb = pb;
        testkit::MemoryPackageHost host(
            PackageFixture().BlockItems(kItems, kBlockBytes, 0, settings).Image(Bytes(128, 0)));
        PackageReader reader(host);
        for (const PackageFixture::Item& item : kItems) {
            Streamed out = StreamOne(reader, item.name);
            ASSERT_EQ(out.result, StreamResult::kWritten) << item.name << " pb " << pb;
            EXPECT_EQ(out.sink.bytes, item.bytes) << item.name << " pb " << pb;
        }
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(BlockItems, APackageWithoutBlocksReadsItsItemsAsStored) {
    // A stored file that happens to look like a block and a record: without its record in
    // the item section it is the file's bytes.
    const Bytes lookalike = testkit::EncodedBlock(SceneText(1000, 1));
    testkit::MemoryPackageHost host(PackageFixture()
                                        .Raw("\\x.bin", lookalike)
                                        .Raw("0", testkit::BlockRecord(0, 0, 10, 0))
                                        .Image(Bytes(64, 0)));
    PackageReader reader(host);
    Streamed out = StreamOne(reader, "\\x.bin");
    ASSERT_EQ(out.result, StreamResult::kWritten);
    EXPECT_EQ(out.sink.bytes, lookalike);
}

namespace {

// Packages whose second item, in a block of its own (block 1), is damaged or unsound; the
// first item, in block 0, is sound.
struct Damage {
    const char* what;
    // Changes the block's stored bytes (header and stream) or the record; the package's table
    // CRCs are computed afterwards unless tableCrcStale.
    void (*changeBlock)(Bytes& block);
    void (*changeRecord)(Bytes& record);
    bool tableCrcStale;  // the change comes after the table was written: a damaged package
    const char* box;     // expected message, "" for none
    bool decodeFailed;
};

const Bytes kSecond = SceneText(700000, 7);

Bytes BlockOf(const Bytes& plain) { return testkit::EncodedBlock(plain); }

Bytes BuildDamaged(const Damage& d) {
    Bytes block = BlockOf(kSecond);
    Bytes record = testkit::BlockRecord(1, 0, static_cast<uint32_t>(kSecond.size()),
                                        Crc32::Update(0, kSecond.data(), static_cast<uint32_t>(kSecond.size())));
    if (!d.tableCrcStale) {
        if (d.changeBlock != nullptr) d.changeBlock(block);
        if (d.changeRecord != nullptr) d.changeRecord(record);
    }
    Bytes image = PackageFixture()
                      .BlockItems({{"\\first.sol", SceneText(5000, 1)}}, kBlockBytes)
                      .Raw("\\second.sol", {})
                      .Raw("\\second.sol", record, package_format::kBlockItemSection)
                      .Raw("1", block, package_format::kBlockSection)
                      .Image(Bytes(64, 0));
    if (d.tableCrcStale) {
        // Find the block's bytes in the image and change them in place.
        const Bytes original = BlockOf(kSecond);
        Bytes changed = original;
        d.changeBlock(changed);
        const auto at = std::search(image.begin(), image.end(), original.begin(), original.end());
        EXPECT_NE(at, image.end());
        std::copy(changed.begin(), changed.end(), at);
    }
    return image;
}

void SetU32(Bytes& bytes, size_t at, uint32_t value) { StoreU32(bytes.data() + at, value); }

}  // namespace

TEST(BlockItems, DamagedOrUnsoundBlocksAndRecordsFailTheirItemBeforeItIsCommitted) {
    const Damage cases[] = {
        {"stored byte flipped in the middle", [](Bytes& b) { b[b.size() / 2] ^= 0x10; }, nullptr, true,
         "Crc error corrupt file / \\SECOND.SOL", false},
        {"last stored byte flipped", [](Bytes& b) { b.back() ^= 0x01; }, nullptr, true,
         "Crc error corrupt file / \\SECOND.SOL", false},
        {"header's size flipped", [](Bytes& b) { b[6] ^= 0x01; }, nullptr, true, "Crc error corrupt file / \\SECOND.SOL",
         false},
        {"stream cut short", [](Bytes& b) { b.resize(b.size() - 20); }, nullptr, false, "", true},
        {"declares a byte more", [](Bytes& b) { SetU32(b, 5, LoadU32(&b[5]) + 1); }, nullptr, false, "", true},
        {"declares a byte fewer (decodes to more)", [](Bytes& b) { SetU32(b, 5, LoadU32(&b[5]) - 1); }, nullptr, false,
         "", true},
        {"declares no bytes", [](Bytes& b) { SetU32(b, 5, 0); }, nullptr, false, "", true},
        {"junk behind the stream", [](Bytes& b) { b.push_back(0); }, nullptr, false, "", true},
        {"shorter than its header", [](Bytes& b) { b.resize(7); }, nullptr, false, "", true},
        {"dictionary above the bound", [](Bytes& b) { SetU32(b, 1, package_format::kMaxDictionary + 1); }, nullptr,
         false, "", true},
        {"lc + lp above 4", [](Bytes& b) { b[0] = static_cast<unsigned char>((2 * 5 + 1) * 9 + 4); }, nullptr, false, "",
         true},
        {"item's CRC wrong", nullptr, [](Bytes& r) { r[12] ^= 0x01; }, false, "Crc error corrupt file / \\SECOND.SOL",
         false},
        {"item claims more than the blocks hold", nullptr, [](Bytes& r) { SetU32(r, 8, LoadU32(&r[8]) + 1); }, false,
         "", true},
        {"item starts past its block's end", nullptr, [](Bytes& r) { SetU32(r, 4, 800000); }, false, "", true},
        {"item names a block the package lacks", nullptr, [](Bytes& r) { SetU32(r, 0, 2); }, false, "", true},
        {"record of 15 bytes", nullptr, [](Bytes& r) { r.pop_back(); }, false, "", true},
    };
    for (const Damage& d : cases) {
        testkit::MemoryPackageHost host(BuildDamaged(d));
        PackageReader reader(host);
        Streamed first = StreamOne(reader, "\\first.sol");
        EXPECT_EQ(first.result, StreamResult::kWritten) << d.what;
        Streamed second = StreamOne(reader, "\\second.sol");
        EXPECT_EQ(second.result, StreamResult::kFailed) << d.what;
        EXPECT_EQ(second.decodeFailed, d.decodeFailed) << d.what;
        EXPECT_EQ(second.sink.calls.find("commit"), std::string::npos) << d.what << ": " << second.sink.calls;
        EXPECT_TRUE(second.sink.bytes.empty()) << d.what << ": nothing kept";
        EXPECT_EQ(host.messages, *d.box ? std::vector<std::string>{d.box} : std::vector<std::string>{}) << d.what;
        // The reader stays usable: the sound item again.
        Streamed again = StreamOne(reader, "\\first.sol");
        EXPECT_EQ(again.result, StreamResult::kWritten) << d.what;
    }
}

TEST(BlockItems, ADamagedRecordGetsTheCrcBoxAndAFullDiskNone) {
    Bytes image = PackageFixture().BlockItems(kItems, kBlockBytes).Image(Bytes(64, 0));
    Bytes damaged = image;
    ASSERT_TRUE(testkit::DamageEntry(damaged, "\\a\\first.sol"));  // the APPDATA entry is empty: the record
    {
        testkit::MemoryPackageHost host(damaged);
        PackageReader reader(host);
        Streamed out = StreamOne(reader, "\\a\\first.sol");
        EXPECT_EQ(out.result, StreamResult::kFailed);
        EXPECT_EQ(out.sink.calls, "");
        EXPECT_EQ(host.messages, std::vector<std::string>{"Crc error corrupt file / \\A\\FIRST.SOL"});
    }
    testkit::MemoryPackageHost host(image);
    PackageReader reader(host);
    Streamed full{StreamResult::kMissing, false, {}};
    full.sink.failAfter = 1000;
    full.result = reader.StreamItem("\\a\\first.sol", full.sink, full.decodeFailed);
    EXPECT_EQ(full.result, StreamResult::kFailed);
    EXPECT_FALSE(full.decodeFailed);
    EXPECT_EQ(full.sink.calls, "begin discard ");
    EXPECT_TRUE(host.messages.empty());
}

// The check before the first write counts what the blocks will write, not their empty entries;
// a damaged record counts nothing there and shows its box only when its item is extracted.
TEST(BlockItems, TheirPlainBytesAreCountedFromTheRecordsWithoutABox) {
    uint64_t plain = 0;
    for (const auto& item : kItems) plain += item.bytes.size();
    Bytes image =
        PackageFixture().Raw("\\plain.jpg", RandomBytes(5000, 9)).BlockItems(kItems, kBlockBytes).Image(Bytes(64, 0));
    {
        testkit::MemoryPackageHost host(image);
        EXPECT_EQ(PackageReader(host).BlockItemBytes(), plain);
    }
    ASSERT_TRUE(testkit::DamageEntry(image, "\\a\\first.sol"));
    testkit::MemoryPackageHost host(image);
    EXPECT_EQ(PackageReader(host).BlockItemBytes(), plain - kItems[0].bytes.size());
    EXPECT_TRUE(host.messages.empty());
    testkit::MemoryPackageHost none(PackageFixture().Raw("\\plain.jpg", RandomBytes(5000, 9)).Image(Bytes(64, 0)));
    EXPECT_EQ(PackageReader(none).BlockItemBytes(), 0u);
}
