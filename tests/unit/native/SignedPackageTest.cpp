// A package behind a program that was signed after packing: the certificate table, not the
// trailer, ends the file.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "package/LittleEndian.h"
#include "package/PackageReader.h"
#include "package/PeCertificates.h"
#include "package/StdioPackageFile.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/PeImageFixture.h"

using testkit::Bytes;
using testkit::MemoryPackageHost;
using testkit::PackageFixture;

namespace {

Bytes Certificate(size_t size) {
    Bytes certificate(size, 0x30);
    StoreU32(certificate.data(), static_cast<uint32_t>(size));
    return certificate;
}

Bytes Packed(size_t stubSize, int32_t projectType = 2) {
    return PackageFixture()
        .Number("ProjectType", projectType)
        .Raw("Data.bin", Bytes(3000, 0x5A))
        .Image(testkit::MinimalPeImage(stubSize));
}

int32_t ProjectType(PackageReader& reader) {
    unsigned char raw[4] = {};
    return reader.ReadEntry("ProjectType", raw, 4, nullptr) ? static_cast<int32_t>(LoadU32(raw)) : INT_MIN;
}

}  // namespace

TEST(SignedPackage, TrailerIsFoundBeforeTheCertificateTable) {
    for (size_t stubSize : {4096u, 250000u}) {
        for (size_t extra = 0; extra < 8; ++extra) {
            SCOPED_TRACE(std::to_string(stubSize) + " + " + std::to_string(extra));
            Bytes image = Packed(stubSize + extra);
            testkit::AppendCertificateTable(image, Certificate(1500));
            MemoryPackageHost host(image);
            PackageReader reader(host);
            EXPECT_EQ(ProjectType(reader), 2);
            EXPECT_EQ(reader.HeaderOffset(), stubSize + extra);
            ASSERT_TRUE(reader.LoadEntryAt(1));
            EXPECT_EQ(reader.Size(), 3000u);
            EXPECT_TRUE(host.messages.empty());
        }
    }
}

TEST(SignedPackage, SignedTrailerWinsOverAPackageTheSearchWouldFindFirst) {
    // A whole package inside the stub, as a packed program carried along as a file would be.
    Bytes stub = testkit::MinimalPeImage(20000);
    const Bytes decoy = Packed(600, 7);
    std::copy(decoy.begin() + 600, decoy.end(), stub.begin() + 8000);
    Bytes image = PackageFixture().Number("ProjectType", 2).Image(stub);
    testkit::AppendCertificateTable(image, Certificate(2000));
    MemoryPackageHost host(image);
    PackageReader reader(host);
    EXPECT_EQ(ProjectType(reader), 2);
    EXPECT_EQ(reader.HeaderOffset(), 20000u);
}

TEST(SignedPackage, CertificateBytesNeverBecomePackageBytes) {
    struct Case {
        const char* what;
        size_t stubSize;
        std::function<void(Bytes&)> damage;  // applied to the packed image before signing
        bool found;
    } cases[] = {
        {"package cut short, the search's header would reach into the table", 4096,
         [](Bytes& b) { b.resize(b.size() - 100); }, false},
        {"non-zero bytes between trailer and table", 250000, [](Bytes& b) { b.insert(b.end(), {0, 1, 0}); }, false},
        {"zero padding longer than 7 bytes", 250000, [](Bytes& b) { b.insert(b.end(), 8, 0); }, false},
        {"search still finds a sound package in range", 4096, [](Bytes& b) { b.insert(b.end(), {0, 1, 0}); }, true},
    };
    for (const Case& c : cases) {
        Bytes image = Packed(c.stubSize);
        c.damage(image);
        testkit::AppendCertificateTable(image, Certificate(4000), 1);
        MemoryPackageHost host(image);
        PackageReader reader(host);
        EXPECT_EQ(ProjectType(reader) == 2, c.found) << c.what;
        EXPECT_EQ(host.messages, c.found ? std::vector<std::string>{} : std::vector<std::string>{"Data header not found! / "})
            << c.what;
    }
}

TEST(SignedPackage, TableThatDoesNotEndTheFileIsNotUsed) {
    Bytes image = Packed(250000);
    testkit::AppendCertificateTable(image, Certificate(1000));
    image.insert(image.end(), 16, 0);
    MemoryPackageHost host(image);
    PackageReader reader(host);
    EXPECT_EQ(ProjectType(reader), INT_MIN);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST(PeCertificates, SecurityDirectoryIsReadOnlyFromSoundHeaders) {
    using testkit::kMinimalPeSecurityEntry;
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        bool found;
    } cases[] = {
        {"signed image", [](Bytes&) {}, true},
        {"not an MZ file", [](Bytes& b) { b[0] = 'X'; }, false},
        {"PE header pointer past the end", [](Bytes& b) { StoreU32(&b[0x3C], 0xFFFFFFF0u); }, false},
        {"no PE signature", [](Bytes& b) { b[0x81] = 'X'; }, false},
        {"unknown optional header", [](Bytes& b) { b[0x80 + 24] = 0x07; }, false},
        {"optional header too short for the directory", [](Bytes& b) { b[0x80 + 20] = 100; }, false},
        {"only four directories", [](Bytes& b) { StoreU32(&b[0x80 + 24 + 92], 4); }, false},
        {"table runs past the end", [](Bytes& b) { StoreU32(&b[kMinimalPeSecurityEntry + 4], 0x7FFFFFFF); }, false},
        {"offset near 2^32 does not wrap", [](Bytes& b) { StoreU32(&b[kMinimalPeSecurityEntry], 0xFFFFFFF0u); }, false},
        {"empty table", [](Bytes& b) { StoreU32(&b[kMinimalPeSecurityEntry + 4], 0); }, false},
        {"file shorter than the headers", [](Bytes& b) { b.resize(0x90); }, false},
    };
    for (const Case& c : cases) {
        Bytes image = testkit::MinimalPeImage(1000);
        testkit::AppendCertificateTable(image, Certificate(64));
        c.change(image);
        MemoryPackageFile file(image.data(), image.size());
        CertificateTable table;
        EXPECT_EQ(FindCertificateTable(file, image.size(), table), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(table.offset, 1000u);
            EXPECT_EQ(table.size, 64u);
        }
    }
}

namespace {

constexpr int32_t kForgedType = 9;

// A stream target in memory that keeps only whether every byte arrived and verified.
class CountingSink : public EntrySink {
public:
    bool Begin(uint32_t) override { return true; }
    bool Write(const void*, uint32_t length) override {
        written += length;
        return true;
    }
    bool Commit() override { return true; }
    void Discard() override { written = 0; }
    uint64_t written = 0;
};

// What signing does to a packed image; returns where the certificate table starts.
size_t Sign(Bytes& image, size_t alignment = 8) {
    testkit::AppendCertificateTable(image, Certificate(1500), alignment);
    return image.size() - 1500;
}

// The attack on a signed file: a second complete package with its trailer appended inside the
// certificate table, the table's own length and the directory's size grown to cover it. The
// signature does not cover the table, so it still verifies.
void PlantInsideTable(Bytes& image, size_t tableAt) {
    const Bytes forged = PackageFixture()
                             .Number("ProjectType", kForgedType)
                             .Text("ProjectName", "Forged")
                             .Package(static_cast<uint32_t>(image.size()));
    image.insert(image.end(), forged.begin(), forged.end());
    const auto grown = static_cast<uint32_t>(image.size() - tableAt);
    StoreU32(&image[tableAt], grown);
    StoreU32(&image[testkit::kMinimalPeSecurityEntry + 4], grown);
}

size_t SignWithPlantedPackage(Bytes& image) {
    const size_t at = Sign(image);
    PlantInsideTable(image, at);
    return at;
}

void SetDirectory(Bytes& image, uint32_t offset, uint32_t size) {
    StoreU32(&image[testkit::kMinimalPeSecurityEntry], offset);
    StoreU32(&image[testkit::kMinimalPeSecurityEntry + 4], size);
}

Bytes Genuine(size_t stubSize) {
    return PackageFixture()
        .Number("ProjectType", 2)
        .Raw("Data.bin", Bytes(3000, 0x5A))
        .Text("ProjectName", "Genuine")
        .Image(testkit::MinimalPeImage(stubSize));
}

}  // namespace

TEST(SignedPackage, NothingIsReadFromTheCertificateTableOrBeyondIt) {
    constexpr size_t kHeadersEnd = testkit::kMinimalPeSecurityEntry + 8;
    constexpr size_t kBeyondSearch = 250000;
    constexpr size_t kInSearch = 4096;
    struct Case {
        std::string what;
        size_t stubSize;
        // Signs (or damages the signature of) the packed image; returns the first offset no
        // read may reach.
        std::function<size_t(Bytes&)> sign;
        bool genuineFound;
    };
    std::vector<Case> cases;
    for (size_t padding = 0; padding < 8; ++padding) {
        cases.push_back({"table at the end, stub of " + std::to_string(kBeyondSearch + padding) + " bytes", kBeyondSearch + padding,
                         [](Bytes& b) { return Sign(b); }, true});
    }
    const std::vector<Case> more = {
        {"unaligned table right behind the trailer", kBeyondSearch + 3, [](Bytes& b) { return Sign(b, 1); }, true},
        {"package and trailer planted inside the table", kBeyondSearch,
         SignWithPlantedPackage,
         true},
        {"planted package, genuine one within the search's reach", kInSearch,
         SignWithPlantedPackage,
         true},
        {"planted package, the genuine one cut short", kInSearch,
         [](Bytes& b) {
             b.resize(b.size() - 10);
             return SignWithPlantedPackage(b);
         },
         false},
        {"planted package, no package before the table", kInSearch,
         [](Bytes& b) {
             b.resize(kInSearch);
             return SignWithPlantedPackage(b);
         },
         false},
        {"table not at the end", kBeyondSearch,
         [](Bytes& b) {
             Sign(b);
             b.insert(b.end(), 16, 0);
             return kHeadersEnd;
         },
         false},
        {"size running past the end, the file ending in a sound trailer", kInSearch,
         [](Bytes& b) {
             const size_t at = b.size();
             SetDirectory(b, static_cast<uint32_t>(at - 4), 0xFFFFFFF0u);
             return kHeadersEnd;
         },
         false},
        {"size that overflows 32 bits", kBeyondSearch,
         [](Bytes& b) {
             const size_t at = Sign(b);
             SetDirectory(b, static_cast<uint32_t>(at), 0xFFFFFFFFu);
             return kHeadersEnd;
         },
         false},
        {"directory pointing into the package", kInSearch,
         [](Bytes& b) {
             const size_t at = kInSearch + 200;
             SetDirectory(b, static_cast<uint32_t>(at), static_cast<uint32_t>(b.size() - at));
             return at;
         },
         false},
        {"directory pointing outside the file", kInSearch,
         [](Bytes& b) {
             SetDirectory(b, static_cast<uint32_t>(b.size() + 8), 16);
             return kHeadersEnd;
         },
         false},
        {"directory pointing into the headers", kInSearch,
         [](Bytes& b) {
             SetDirectory(b, 0x40, static_cast<uint32_t>(b.size() - 0x40));
             return kHeadersEnd;
         },
         false},
        {"offset without a size", kInSearch,
         [](Bytes& b) {
             SetDirectory(b, static_cast<uint32_t>(b.size() - 4), 0);
             return kHeadersEnd;
         },
         false},
    };
    cases.insert(cases.end(), more.begin(), more.end());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = Genuine(c.stubSize);
        const size_t limit = c.sign(image);
        MemoryPackageHost host(image);
        PackageReader reader(host);
        EXPECT_EQ(ProjectType(reader), c.genuineFound ? 2 : INT_MIN);
        if (c.genuineFound) {
            EXPECT_TRUE(host.messages.empty());
            EXPECT_EQ(reader.HeaderOffset(), c.stubSize);
            // Every way of reading an entry: a large caller buffer through the window, a
            // load, a stream.
            char name[399] = {};
            EXPECT_TRUE(reader.ReadEntry("ProjectName", name, sizeof(name), nullptr));
            EXPECT_STREQ(name, "Genuine");
            for (int32_t i = 0; i < reader.EntryCount(); ++i) {
                EXPECT_TRUE(reader.LoadEntryAt(i)) << i;
                CountingSink sink;
                EXPECT_EQ(reader.StreamEntry(reader.EntryAt(i)->name, nullptr, sink), StreamResult::kWritten) << i;
                EXPECT_EQ(sink.written, reader.EntryAt(i)->size) << i;
            }
        } else {
            EXPECT_EQ(reader.EntryCount(), 0);
            EXPECT_EQ(host.messages, std::vector<std::string>{"Data header not found! / "});
        }
        EXPECT_LE(host.furthestRead, limit);
    }
}
