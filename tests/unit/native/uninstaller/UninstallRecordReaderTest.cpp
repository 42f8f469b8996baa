#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "components/uninstaller/Arguments.h"
#include "components/uninstaller/UninstallRecordReader.h"
#include "package/LittleEndian.h"
#include "testkit/RecordBytes.h"

using testkit::Bytes;
using uninstall::RecordError;
using uninstall::UninstallRecord;

namespace {

const std::vector<std::string> kFiles = {
    "C:\\Program Files\\Demo\\OrvanViewer.exe",
    "C:\\Program Files\\Demo\\channels\\ChunkSaver.dll",
    "C:\\users\\me\\Start Menu\\Programs\\Demo/Demo.lnk",
    "C:\\Program Files\\Demo\\ZRXUnInst.exe",
};
const std::vector<std::string> kFolders = {
    "C:\\Program Files\\Demo\\channels\\",
    "C:\\Program Files\\Demo\\",
};

RecordError Parse(const Bytes& bytes, UninstallRecord& record) {
    return uninstall::ParseUninstallRecord(bytes.data(), bytes.size(), record);
}

bool IsEmpty(const UninstallRecord& r) {
    return r.files.empty() && r.folders.empty() && r.skippedPaths.empty() && r.projectName.empty() && !r.hasMarker;
}

// Offset of the index-th chunk's header in a record.
size_t ChunkOffset(const Bytes& bytes, int index) {
    size_t at = 0;
    for (int i = 0; i < index; ++i) at += 8 + LoadU32(bytes.data() + at + 4);
    return at;
}

}  // namespace

TEST(UninstallRecordParse, ReadsWhatTheInstallingModesWrite) {
    struct Case {
        const char* description;
        std::vector<std::string> files, folders;
        std::string name;
        bool marker;
    } cases[] = {
        {"project install", kFiles, kFolders, "Demo", false},
        {"screen saver: its copy in the system directory",
         {"C:\\windows\\system32\\Demo.scr", "C:\\Demo\\screensaver.cfg"}, {"C:\\Demo\\"}, "Demo", true},
        {"plug-in: its copy in Winamp's folder",
         {"D:\\Apps\\Winamp\\Plugins\\vis_Demo.dll", "D:\\Apps\\Winamp\\Plugins\\winamp.cfg"}, {}, "Demo", true},
        {"nothing created", {}, {}, "Name with spaces", false},
        {"a name of the full 259 bytes", {"C:\\a"}, {}, std::string(259, 'n'), false},
    };
    for (const Case& c : cases) {
        UninstallRecord record;
        ASSERT_EQ(Parse(testkit::MakeUninstallRecord(c.files, c.folders, c.name, c.marker), record), RecordError::kNone)
            << c.description;
        EXPECT_EQ(record.files, c.files) << c.description;
        EXPECT_EQ(record.folders, c.folders) << c.description;
        EXPECT_TRUE(record.skippedPaths.empty()) << c.description;
        EXPECT_EQ(record.projectName, c.name) << c.description;
        EXPECT_EQ(record.hasMarker, c.marker) << c.description;
    }
}

TEST(UninstallRecordParse, EveryTruncationIsRejectedAndYieldsNothing) {
    const Bytes whole = testkit::MakeUninstallRecord(kFiles, kFolders, "Demo", false);
    for (size_t size = 0; size < whole.size(); ++size) {
        UninstallRecord record;
        record.files.push_back("stale");
        EXPECT_NE(Parse(Bytes(whole.begin(), whole.begin() + size), record), RecordError::kNone) << "cut at " << size;
        EXPECT_TRUE(IsEmpty(record)) << "cut at " << size;
    }
    // With the marker, only the cut that removes exactly the marker leaves a whole record.
    const Bytes marked = testkit::MakeUninstallRecord(kFiles, kFolders, "Demo", true);
    for (size_t size = 0; size < marked.size(); ++size) {
        UninstallRecord record;
        const RecordError error = Parse(Bytes(marked.begin(), marked.begin() + size), record);
        EXPECT_EQ(error == RecordError::kNone, size == whole.size()) << "cut at " << size;
    }
}

TEST(UninstallRecordParse, DamagedLayoutsAreRejected) {
    const Bytes good = testkit::MakeUninstallRecord(kFiles, kFolders, "Demo", false);
    auto setCount = [](Bytes& b, int chunkIndex, uint32_t n) { StoreU32(b.data() + ChunkOffset(b, chunkIndex) + 8, n); };
    auto setTag = [](Bytes& b, int chunkIndex, const char* tag) {
        std::copy(tag, tag + 4, b.begin() + static_cast<long>(ChunkOffset(b, chunkIndex)));
    };
    const int undc = 1 + static_cast<int>(kFiles.size());
    struct Case {
        const char* description;
        std::function<void(Bytes&)> damage;
        RecordError expected;
    } cases[] = {
        {"first tag wrong", [&](Bytes& b) { setTag(b, 0, "UNFX"); }, RecordError::kWrongLayout},
        {"a file field tagged as a folder", [&](Bytes& b) { setTag(b, 2, "UNDN"); }, RecordError::kWrongLayout},
        {"name tag wrong", [&](Bytes& b) { setTag(b, undc + 1 + 2, "UNPX"); }, RecordError::kWrongLayout},
        {"file count larger than the entries", [&](Bytes& b) { setCount(b, 0, 5); }, RecordError::kWrongLayout},
        {"file count larger than the file", [&](Bytes& b) { setCount(b, 0, 0x7FFFFFFF); }, RecordError::kWrongLayout},
        {"negative file count", [&](Bytes& b) { setCount(b, 0, 0xFFFFFFFF); }, RecordError::kWrongLayout},
        {"file count smaller than the entries", [&](Bytes& b) { setCount(b, 0, 3); }, RecordError::kWrongLayout},
        {"folder count larger than the file", [&](Bytes& b) { setCount(b, undc, 1000); }, RecordError::kWrongLayout},
        {"a chunk size larger than the file", [&](Bytes& b) { StoreU32(b.data() + ChunkOffset(b, 1) + 4, 100000); },
         RecordError::kNotChunkFile},
        {"a byte too many at the end", [&](Bytes& b) { b.push_back(0); }, RecordError::kNotChunkFile},
        {"a chunk after the name", [&](Bytes& b) { chunk::AppendChunk(b, "UNFN", Bytes(259, 'x').data(), 259); },
         RecordError::kWrongLayout},
        {"a marker with data", [&](Bytes& b) { chunk::AppendChunk(b, "UNSK", "x", 1); }, RecordError::kWrongLayout},
        {"two markers",
         [&](Bytes& b) {
             chunk::AppendChunk(b, "UNSK", nullptr, 0);
             chunk::AppendChunk(b, "UNSK", nullptr, 0);
         },
         RecordError::kWrongLayout},
        {"empty project name", [&](Bytes& b) { b[ChunkOffset(b, undc + 3) + 8] = 0; }, RecordError::kNoProjectName},
        {"a plain text file", [&](Bytes& b) { b.assign({'h', 'e', 'l', 'l', 'o', '\r', '\n'}); },
         RecordError::kNotChunkFile},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        UninstallRecord record;
        EXPECT_EQ(Parse(bytes, record), c.expected) << c.description;
        EXPECT_TRUE(IsEmpty(record)) << c.description;
    }
    // A field one byte short or long shifts every chunk after it.
    for (uint32_t size : {258u, 260u}) {
        Bytes bytes;
        unsigned char count[4];
        StoreU32(count, 1);
        chunk::AppendChunk(bytes, "UNFC", count, 4);
        chunk::AppendChunk(bytes, "UNFN", Bytes(size, 'a').data(), size);
        const Bytes rest = testkit::MakeUninstallRecord({}, {}, "Demo", false);
        const size_t skip = 12;  // the empty record's own UNFC
        bytes.insert(bytes.end(), rest.begin() + skip, rest.end());
        UninstallRecord record;
        EXPECT_EQ(Parse(bytes, record), RecordError::kWrongLayout) << size;
    }
}

TEST(UninstallRecordParse, PathsThatMustNotBeTouchedAreSkippedAndDuplicatesListedOnce) {
    const std::string cut = "C:\\Program Files\\Demo\\" + std::string(300, 'x') + ".bin";
    const std::string exact = ("C:\\Program Files\\Demo\\" + std::string(300, 'y')).substr(0, 258);
    const std::vector<std::string> files = {
        "C:\\Demo\\a.exe",
        cut,
        exact,
        "c:/demo/A.EXE",    // the first file again
        "C:\\Demo\\\\a.exe",  // and again
        "",
        "a.exe",
        "\\Demo\\a.exe",
        "C:Demo\\a.exe",
        "C:\\Demo\\..\\Windows\\win.ini",
        "C:\\Demo\\.\\b.exe",
        "\\\\?\\C:\\Demo\\c.exe",
        "\\\\.\\PhysicalDrive0",
        "C:\\Demo\\d.exe:stream",
        "\\\\server\\share\\Demo\\e.exe",
    };
    const std::vector<std::string> folders = {"C:\\Demo\\Sub\\", "C:\\Demo\\", "C:\\DEMO\\", cut + "\\"};
    UninstallRecord record;
    ASSERT_EQ(Parse(testkit::MakeUninstallRecord(files, folders, "Demo", false), record), RecordError::kNone);
    EXPECT_EQ(record.files, (std::vector<std::string>{"C:\\Demo\\a.exe", exact, "\\\\server\\share\\Demo\\e.exe"}));
    EXPECT_EQ(record.folders, (std::vector<std::string>{"C:\\Demo\\Sub\\", "C:\\Demo\\"}));
    EXPECT_EQ(record.skippedPaths,
              (std::vector<std::string>{cut.substr(0, 259), "a.exe", "\\Demo\\a.exe", "C:Demo\\a.exe",
                                        "C:\\Demo\\..\\Windows\\win.ini", "C:\\Demo\\.\\b.exe", "\\\\?\\C:\\Demo\\c.exe",
                                        "\\\\.\\PhysicalDrive0", "C:\\Demo\\d.exe:stream", cut.substr(0, 259)}));
}

TEST(UninstallArguments, SwitchesOfTheUserAndOfTheCopy) {
    struct Case {
        const char* line;
        bool silent, isCopy;
        std::string folder;
        uint32_t handle;
        uint32_t outcome = 0;
    } cases[] = {
        {"ZRXUnInst.exe", false, false, "", 0},
        {"\"C:\\Program Files\\Demo\\ZRXUnInst.exe\" /S", true, false, "", 0},
        {"\"C:\\Program Files\\Demo\\ZRXUnInst.exe\" /s", true, false, "", 0},
        {"ZRXUnInst.exe /S /D", true, false, "", 0},
        {"ZRXUnInst.exe /X /silent", false, false, "", 0},
        {"\"C:\\T\\ZRXUnInst-0000abcd.exe\" /D \"C:\\Program Files\\Demo\" /W 1f4", false, true,
         "C:\\Program Files\\Demo", 0x1f4},
        {"\"C:\\T\\ZRXUnInst-1\\ZRXUnInst.exe\" /D C:\\Demo /P 2c /W 1f4 /S", true, true, "C:\\Demo", 0x1f4, 0x2c},
    };
    for (const Case& c : cases) {
        const auto a = uninstall::ParseArguments(c.line);
        EXPECT_EQ(a.silent, c.silent) << c.line;
        EXPECT_EQ(a.isCopy, c.isCopy) << c.line;
        EXPECT_EQ(a.installFolder, c.folder) << c.line;
        EXPECT_EQ(a.waitHandle, c.handle) << c.line;
        EXPECT_EQ(a.outcomeHandle, c.outcome) << c.line;
    }
    // What the original hands its copy reads back the same.
    const std::string line = uninstall::CopyCommandLine("C:\\Temp dir\\ZRXUnInst-00000001.exe", "C:\\My Apps\\Demo",
                                                        0x7c, 0x80, true, "C:\\Log Files\\remove.log");
    const auto a = uninstall::ParseArguments(line.c_str());
    EXPECT_TRUE(a.isCopy && a.silent);
    EXPECT_TRUE(a.logGiven);
    EXPECT_EQ(a.logPath, "C:\\Log Files\\remove.log");
    EXPECT_EQ(a.installFolder, "C:\\My Apps\\Demo");
    EXPECT_EQ(a.waitHandle, 0x7cu);
    EXPECT_EQ(a.outcomeHandle, 0x80u);
}

TEST(UninstallArguments, TheLogSwitch) {
    const struct {
        const char* line;
        bool given;
        std::string path;
    } cases[] = {
        {"ZRXUnInst.exe /S /LOG=C:\\x.log", true, "C:\\x.log"},
        {"ZRXUnInst.exe \"/LOG=C:\\a b\\x.log\" /S", true, "C:\\a b\\x.log"},
        {"ZRXUnInst.exe /log=\"C:\\a b\\x.log\"", true, "C:\\a b\\x.log"},
        {"ZRXUnInst.exe /LOG=", true, ""},
        {"ZRXUnInst.exe /LOGS=x /LOG x", false, ""},
    };
    for (const auto& c : cases) {
        const auto a = uninstall::ParseArguments(c.line);
        EXPECT_EQ(a.logGiven, c.given) << c.line;
        EXPECT_EQ(a.logPath, c.path) << c.line;
    }
}
