#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "package/BlockSource.h"
#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageReader.h"
#include "package/StdioPackageFile.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"

using testkit::Bytes;
using testkit::PackageFixture;

namespace {

using MemoryHost = testkit::MemoryPackageHost;

// A box's text without its caption (the host notes "text / caption").
std::string TextOf(const std::string& box) { return box.substr(0, box.find(" / ")); }

Bytes Stub(size_t size) {
    Bytes stub(size);
    for (size_t i = 0; i < size; ++i) stub[i] = static_cast<unsigned char>(i * 7 + 3);
    return stub;
}

// A hand-made package: entries as given (duplicates allowed), fields patched afterwards.
struct RawEntry {
    std::string section;
    std::string name;
    Bytes data;
};

Bytes RawImage(size_t stubSize, const std::vector<RawEntry>& entries) {
    Bytes image = Stub(stubSize);
    char marker[36];
    package_format::MakeMarker(marker);
    AppendBytes(image, marker, 36);
    AppendU32(image, static_cast<uint32_t>(entries.size()));
    for (const RawEntry& e : entries) {
        AppendU32(image, static_cast<uint32_t>(e.section.size() + 1));
        AppendBytes(image, e.section.c_str(), e.section.size() + 1);
        AppendU32(image, static_cast<uint32_t>(e.name.size() + 1));
        AppendBytes(image, e.name.c_str(), e.name.size() + 1);
        AppendU32(image, static_cast<uint32_t>(e.data.size()));
        AppendU32(image, Crc32::Update(0, e.data.data(), static_cast<uint32_t>(e.data.size())));
    }
    AppendU32(image, static_cast<uint32_t>(image.size() - stubSize + 4));
    for (const RawEntry& e : entries) AppendBytes(image, e.data.data(), e.data.size());
    AppendU32(image, static_cast<uint32_t>(stubSize));
    return image;
}

Bytes Value(uint32_t v) {
    Bytes b;
    AppendU32(b, v);
    return b;
}

Bytes SamplePackage(size_t stubSize = 1000) {
    return PackageFixture()
        .Number("ProjectType", 1)
        .Text("ProjectName", "Demo")
        .Number("ChannelCount", 3, "CHANNELINFO")
        .Raw("Data.bin", Bytes(5000, 0xAB))
        .Image(Stub(stubSize));
}

int32_t ReadNumber(PackageReader& reader, const char* key, const char* section = nullptr) {
    unsigned char raw[4] = {};
    if (!reader.ReadEntry(key, raw, 4, section)) return INT_MIN;
    return static_cast<int32_t>(LoadU32(raw));
}

}  // namespace

TEST(PackageFormat, WorkedExampleIsByteExact) {
    const Bytes image = PackageFixture().Number("ProjectType", 1).Image(Stub(100));
    char marker[36];
    package_format::MakeMarker(marker);
    Bytes expected = Stub(100);
    AppendBytes(expected, marker, 36);
    const unsigned char table[] = {1, 0, 0, 0, 8, 0, 0, 0, 'A', 'P', 'P', 'D', 'A', 'T', 'A', 0,
                                   12, 0, 0, 0, 'P', 'R', 'O', 'J', 'E', 'C', 'T', 'T', 'Y', 'P', 'E', 0,
                                   4, 0, 0, 0, 0x79, 0xB8, 0xF8, 0x99, 80, 0, 0, 0, 1, 0, 0, 0, 100, 0, 0, 0};
    AppendBytes(expected, table, sizeof(table));
    EXPECT_EQ(image, expected);
    EXPECT_EQ(std::string(marker, 36), "5E0B7A21-94C3-4F6D-A1B8-27D9C04E3B65");
}

TEST(PackageReader, LookupRules) {
    MemoryHost host(RawImage(64, {
                                     {"CHANNELINFO", "PROJECTTYPE", Value(7)},
                                     {"APPDATA", "PROJECTTYPE", Value(1)},
                                     {"APPDATA", "PROJECTTYPE", Value(2)},
                                     {"APPDATA", "EMPTY", {}},
                                     {"FILEINFO", "ONLYHERE", Value(9)},
                                 }));
    PackageReader reader(host);
    EXPECT_EQ(ReadNumber(reader, "ProjectType"), 1) << "first match in table order, offsets count every entry";
    EXPECT_EQ(ReadNumber(reader, "projecttype", "appdata"), 1);
    EXPECT_EQ(ReadNumber(reader, "ProjectType", "ChannelInfo"), 7);
    EXPECT_EQ(ReadNumber(reader, "OnlyHere"), INT_MIN) << "a null section means APPDATA only";
    EXPECT_EQ(ReadNumber(reader, "OnlyHere", "FILEINFO"), 9);
    EXPECT_EQ(ReadNumber(reader, "Missing"), INT_MIN);
    unsigned char none[1];
    EXPECT_TRUE(reader.ReadEntry("Empty", none, 1, nullptr)) << "size 0 verifies with CRC 0";
    EXPECT_TRUE(reader.ReadEntry("Empty", nullptr, 0, nullptr));
    EXPECT_EQ(reader.Size(), 0u);
    EXPECT_TRUE(host.messages.empty());
}

TEST(PackageReader, BufferedReadCopiesTheEntryAndNothingAfterIt) {
    const Bytes image = PackageFixture()
                            .Text("ShortCutName", "0123456789")
                            .Raw("Marker", Bytes{})
                            .Raw("Next", Bytes(600, 0x5A))
                            .Image(Stub(10));
    MemoryHost host(image);
    PackageReader reader(host);
    char buffer[400];
    std::memset(buffer, 0x11, sizeof(buffer));
    ASSERT_TRUE(reader.ReadEntry("ShortCutName", buffer, 399, nullptr));
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(buffer[11], 0x11) << "the bytes after the entry are the next entry's, not this one's";
    // A 0-byte value read into a 1-byte buffer keeps the caller's byte.
    unsigned char flag = 0;
    ASSERT_TRUE(reader.ReadEntry("Marker", &flag, 1, nullptr));
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(PackageReader, EntryLargerThanCapacityFailsLikeACrcError) {
    MemoryHost host(PackageFixture().Text("InstallPath", "C:\\A long folder").Image(Stub(10)));
    PackageReader reader(host);
    char buffer[8];
    std::memset(buffer, 0x22, sizeof(buffer));
    EXPECT_FALSE(reader.ReadEntry("InstallPath", buffer, 4, nullptr));
    EXPECT_EQ(buffer[4], 0x22);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Crc error corrupt file / INSTALLPATH");
}

TEST(PackageReader, CorruptDataFailsOnBothReadPaths) {
    Bytes image = SamplePackage();
    const auto layout = testkit::LayoutOf(image);
    image[layout.tableEnd] ^= 0x01;  // first data byte: ProjectType
    MemoryHost host(image);
    PackageReader reader(host);
    EXPECT_EQ(ReadNumber(reader, "ProjectType"), INT_MIN);
    EXPECT_FALSE(reader.ReadEntry("ProjectType", nullptr, 0, nullptr));
    EXPECT_EQ(reader.Data(), nullptr);
    EXPECT_EQ(reader.Size(), 0u);
    ASSERT_EQ(host.messages.size(), 2u);
    for (const std::string& m : host.messages) EXPECT_EQ(m, "Crc error corrupt file / PROJECTTYPE");
    EXPECT_EQ(ReadNumber(reader, "ChannelCount", "CHANNELINFO"), 3) << "other entries stay readable";
}

TEST(PackageReader, HeaderLocation) {
    char marker[36];
    package_format::MakeMarker(marker);
    struct Case {
        const char* what;
        size_t stubSize;
        bool breakTrailer;
        bool lowerCaseMarker;
        bool found;
    } cases[] = {
        {"trailer", 500, false, false, true},
        {"lower-case marker through the trailer", 500, false, true, true},
        {"lower-case marker only by search", 500, true, true, false},
        {"search: block 10, position 2410", 102400, true, false, true},
        {"search: position 9963 of block 0", 9963, true, false, true},
        {"search: crossing a block boundary", 9990, true, false, true},
        {"search: last position in bound", 199979, true, false, true},
        {"search: just past the bound", 199980, true, false, false},
        {"trailer beyond the search bound", 250000, false, false, true},
    };
    for (const Case& c : cases) {
        Bytes image = PackageFixture().Number("ProjectType", 2).Image(Stub(c.stubSize));
        if (c.lowerCaseMarker) {
            for (size_t i = 0; i < 36; ++i) image[c.stubSize + i] = static_cast<unsigned char>(std::tolower(marker[i]));
        }
        if (c.breakTrailer) image.insert(image.end(), {9, 9, 9, 9, 9});
        MemoryHost host(image);
        PackageReader reader(host);
        EXPECT_EQ(ReadNumber(reader, "ProjectType") == 2, c.found) << c.what;
        EXPECT_EQ(host.messages.size(), c.found ? 0u : 1u) << c.what;
        if (!c.found && !host.messages.empty()) {
            EXPECT_EQ(TextOf(host.messages[0]), "Data header not found!") << c.what;
        }
    }
}

TEST(PackageReader, EmptyTablesAndUnopenableFile) {
    // Whatever follows the count is not looked at: nothing, or a real table's records with a
    // sound data base or one pointing into the header.
    const Bytes records = RawImage(50, {{"APPDATA", "PROJECTTYPE", Value(1)}});
    const size_t base = records.size() - 4 - 4 - 4;  // before the data and the trailer
    for (int32_t count : {0, -1, INT_MIN}) {
        for (uint32_t followedBy : {0u, 1u, 2u}) {
            Bytes image = followedBy == 0 ? RawImage(50, {}) : records;
            StoreU32(image.data() + 50 + 36, static_cast<uint32_t>(count));
            if (followedBy == 2) StoreU32(image.data() + base, 8);
            MemoryHost host(image);
            PackageReader reader(host);
            EXPECT_EQ(reader.EntryCount(), 0) << count << ", " << followedBy;
            EXPECT_EQ(ReadNumber(reader, "ProjectType"), INT_MIN) << count << ", " << followedBy;
            EXPECT_TRUE(host.messages.empty()) << count << ", " << followedBy;
        }
    }
    MemoryHost host(SamplePackage());
    host.openFails = true;
    PackageReader reader(host);
    EXPECT_FALSE(reader.ReadEntry("ProjectType", nullptr, 0, nullptr));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Data header not found! / ");
}

TEST(PackageReader, MalformedTablesAreTreatedLikeAMissingHeader) {
    const size_t h = 300;
    const Bytes good = RawImage(h, {{"APPDATA", "PROJECTTYPE", Value(1)}, {"APPDATA", "DATA", Bytes(100, 1)}});
    const size_t n = h + 36, l1 = n + 4, s1 = l1 + 4 + 8 + 4 + 12, b = s1 + 8 + 4 + 8 + 4 + 5 + 8;
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"L1 of 0", l1, 0},
        {"L1 above 260", l1, 261},
        {"L1 beyond the file", l1, 0x7FFFFFF0},
        {"count larger than the file can hold", n, 100000},
        {"count far too large", n, 0x7FFFFFFF},
        {"entry size past the end of the file", s1, 1000000},
        {"entry size wrapping 32 bits", s1, 0xFFFFFFF0},
        {"data base inside the table", b, 8},
        {"data base past the end of the file", b, 0x10000000},
    };
    {
        MemoryHost host(good);
        PackageReader reader(host);
        ASSERT_EQ(reader.EntryCount(), 2) << "the offsets above describe this image";
        ASSERT_EQ(LoadU32(good.data() + b), b - h + 4);
    }
    for (const Case& c : cases) {
        Bytes image = good;
        StoreU32(image.data() + c.offset, c.value);
        MemoryHost host(image);
        PackageReader reader(host);
        EXPECT_EQ(reader.EntryCount(), 0) << c.what;
        EXPECT_EQ(ReadNumber(reader, "ProjectType"), INT_MIN) << c.what;
        ASSERT_EQ(host.messages.size(), 1u) << c.what;
        EXPECT_EQ(TextOf(host.messages[0]), "Data header not found!") << c.what;
    }
    Bytes unterminated = good;
    unterminated[l1 + 4 + 7] = 'X';  // the zero byte of "APPDATA"
    MemoryHost host(unterminated);
    PackageReader reader(host);
    EXPECT_EQ(reader.EntryCount(), 0);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST(PackageReader, TruncatedPackageNeverYieldsAnEntry) {
    const Bytes image = SamplePackage(2000);
    const auto layout = testkit::LayoutOf(image);
    for (size_t cut = layout.header; cut < image.size(); ++cut) {
        MemoryHost host(Bytes(image.begin(), image.begin() + static_cast<long>(cut)));
        PackageReader reader(host);
        if (cut < layout.dataEnd) {
            ASSERT_EQ(reader.EntryCount(), 0) << "cut at " << cut;
            ASSERT_EQ(host.messages.size(), 1u) << "cut at " << cut;
        } else {
            // Only the trailer is missing: the search finds the whole, sound package.
            ASSERT_EQ(ReadNumber(reader, "ProjectType"), 1) << "cut at " << cut;
            ASSERT_TRUE(reader.ReadEntry("Data.bin", nullptr, 0, nullptr)) << "cut at " << cut;
            ASSERT_TRUE(host.messages.empty());
        }
    }
}

TEST(PackageWriter, RoundTripOfManyEntries) {
    std::mt19937 random(11);
    PackageFixture fixture;
    std::vector<Bytes> contents;
    for (int i = 0; i < 231; ++i) {
        Bytes data(random() % 3000);
        for (auto& byte : data) byte = static_cast<unsigned char>(random());
        contents.push_back(data);
        fixture.Raw("dir\\file" + std::to_string(i) + ".bin", data, i % 3 ? "APPDATA" : "FILEINFO");
    }
    MemoryHost host(fixture.Image(Stub(4096)));
    PackageReader reader(host);
    ASSERT_EQ(reader.EntryCount(), 231);
    for (int i = 0; i < 231; ++i) {
        const std::string name = "DIR\\FILE" + std::to_string(i) + ".BIN";
        ASSERT_TRUE(reader.ReadEntry(name.c_str(), nullptr, 0, i % 3 ? nullptr : "FileInfo")) << name;
        ASSERT_EQ(Bytes(reader.Data(), reader.Data() + reader.Size()), contents[i]) << name;
        EXPECT_EQ(reader.Data()[reader.Size()], 0) << "loaded entries end in a zero byte";
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(PackageWriter, RefusesWhatTheReaderCannotHold) {
    PackageWriter writer;
    std::string error;
    EXPECT_TRUE(writer.Add("APPDATA", "ProjectType", {1, 0, 0, 0}, error));
    struct Case {
        const char* what;
        std::string section;
        std::string name;
    } cases[] = {
        {"case-insensitive collision", "appdata", "PROJECTTYPE"},
        {"empty name", "APPDATA", ""},
        {"empty section", "", "X"},
        {"name of 260 bytes", "APPDATA", std::string(260, 'n')},
        {"section of 260 bytes", std::string(260, 's'), "X"},
        {"zero byte inside", "APPDATA", std::string("A\0B", 3)},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(writer.Add(c.section, c.name, {}, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    EXPECT_TRUE(writer.Add("APPDATA", std::string(259, 'n'), {}, error)) << "259 characters fit";
    EXPECT_TRUE(writer.Add("CHANNELINFO", "ProjectType", {}, error)) << "same name in another section";
}

TEST(PackageWriter, ZlibEntriesCarryTheirSizeTrailer) {
    Bytes plain(100000);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i % 251);
    Bytes packed;
    std::string error;
    ASSERT_TRUE(PackageWriter::CompressWithSizeTrailer(plain, packed, error));
    ASSERT_GT(packed.size(), 4u);
    EXPECT_LT(packed.size(), plain.size() / 4);
    EXPECT_EQ(LoadU32(packed.data() + packed.size() - 4), plain.size());
    Bytes back(plain.size());
    uLongf backSize = static_cast<uLongf>(back.size());
    ASSERT_EQ(uncompress(back.data(), &backSize, packed.data(), static_cast<uLong>(packed.size() - 4)), Z_OK);
    EXPECT_EQ(back, plain);
}
