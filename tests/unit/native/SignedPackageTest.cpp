// A package behind a program that was signed after packing: the certificate table, not the
// trailer, ends the file.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "LittleEndian.h"
#include "MemoryPackageHost.h"
#include "PackageFixture.h"
#include "PackageReader.h"
#include "PeCertificates.h"
#include "PeImageFixture.h"
#include "StdioPackageFile.h"

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
