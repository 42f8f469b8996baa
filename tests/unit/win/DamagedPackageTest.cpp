// The program's own start-up and run-in-place code, in this process, over the sample package
// cut short at every offset of its table and trailer and with every byte of them flipped. The
// viewer is not started: at that moment the run folder is compared with the sound package.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/Launcher.h"
#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "testkit/ComponentPackage.h"
#include "testkit/DamageBoxes.h"
#include "testkit/FakeFolderSystem.h"
#include "testkit/InstalledContents.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordingMessages.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

// Files below folder that are not the sound package's content for their path; except names one
// file the run itself holds there.
std::vector<std::string> NotAsPackaged(const std::string& folder, const std::map<std::string, Bytes>& contents,
                                       const std::string& except = "") {
    const std::vector<std::string> files = testkit::Tree(folder);
    std::vector<std::string> bad;
    for (const auto& name : files) {
        if (name == except) continue;
        const auto found = contents.find(testkit::UpperCase(name));
        Bytes onDisk;
        testkit::ReadFileBytes(folder + "\\" + name, onDisk);
        if (found == contents.end() || onDisk != found->second) bad.push_back(name);
    }
    return bad;
}

// What a run in place meets besides its package.
struct RunSetting {
    // Called with the temporary folder before the run, and after it before the folder goes.
    std::function<void(const std::string& temp)> prepare;
    std::function<void(const std::string& temp)> undo;
    // Used as TMP and TEMP instead of the temporary folder the test makes.
    std::string tmp;
    // The engine loads for the extraction but fails to initialise at the clean-up, its library
    // left loaded as such a failure leaves it.
    bool secondLoadFails = false;
    // A link cache\x to this folder, as if put there while the project ran; with
    // cacheIsTheLink, the cache folder itself is that link.
    std::string cacheLink;
    bool cacheIsTheLink = false;
};

// Runs in place up to the viewer, which it replaces by a look at the run folder and, as the
// real one does, files in the cache.
class ViewerlessInstaller : public Installer {
public:
    ViewerlessInstaller(PackageHost& host, UserMessages& messages, const std::map<std::string, Bytes>& contents,
                        const RunSetting& setting)
        : Installer(host, messages), contents(contents), setting(setting) {}
    void StartViewer(bool) override {
        viewerStarted = true;
        // The run's claim on its folder is there while it runs, and must be gone after it.
        badAtViewer = NotAsPackaged(InstallFolder(), contents, "Orvan3D.lock");
        const std::string cache = std::string(InstallFolder()) + "\\cache";
        if (setting.cacheIsTheLink) {
            testkit::MakeHostLink(cache, setting.cacheLink);
            return;
        }
        for (const std::string& folder : {cache, cache + "\\textures", cache + "\\textures\\mip"}) {
            ::CreateDirectoryA(folder.c_str(), nullptr);
        }
        testkit::WriteFileBytes(cache + "\\session.dat", Bytes(100, 's'));
        testkit::WriteFileBytes(cache + "\\textures\\mip\\t0-1.bin", Bytes(100, 't'));
        if (!setting.cacheLink.empty()) testkit::MakeHostLink(cache + "\\x", setting.cacheLink);
    }
    bool LoadEngine() override {
        const bool loaded = Installer::LoadEngine();
        return loaded && !(setting.secondLoadFails && ++loads == 2);
    }
    const std::map<std::string, Bytes>& contents;
    const RunSetting& setting;
    bool viewerStarted = false;
    int loads = 0;
    std::vector<std::string> badAtViewer;
};

class ViewerlessLauncher : public Launcher {
public:
    ViewerlessLauncher(PackageHost& host, UserMessages& messages, const std::map<std::string, Bytes>& contents,
                       const RunSetting& setting)
        : Launcher(host, messages), contents(contents), setting(setting) {}
    bool RunInPlaceMode() override {
        ViewerlessInstaller installer(host, messages, contents, setting);
        Installer::Places places;
        places.folders = &folders;
        installer.SetPlaces(places);
        installer.Init(::GetModuleHandleA(nullptr), nullptr);
        const bool ok = installer.RunInPlace();
        viewerStarted = installer.viewerStarted;
        badAtViewer = installer.badAtViewer;
        runFolder = installer.InstallFolder();
        return ok;
    }
    const std::map<std::string, Bytes>& contents;
    const RunSetting& setting;
    bool viewerStarted = false;
    std::vector<std::string> badAtViewer;
    std::string runFolder;
    testkit::FakeFolderSystem folders;
};

struct Outcome {
    std::vector<std::string> boxes;  // "text / caption", in order
    bool viewerStarted = false;
    std::vector<std::string> badAtViewer;
    std::vector<std::string> badLeft;  // left in the temporary folder, not as packaged
    std::vector<std::string> outside;  // written beside the temporary folder
    std::string runFolder;             // empty when none was made
    std::vector<std::string> leftInTemp;  // the run folder named "run\"
    std::string runFolderSecurity;        // the descriptor the run folder was made with
};

class DamagedPackageInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        char value[MAX_PATH] = {};
        ::GetCurrentDirectoryA(sizeof(value), value);
        savedFolder = value;
        const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), testkit::ProjectOptions());
        good = package.fixture.Image(Bytes(4096, 0x90));
        layout = testkit::LayoutOf(good);
        contents = testkit::InstalledContents(good);
        for (const auto& file : package.files) ASSERT_EQ(contents.count(testkit::UpperCase(file)), 1u) << file;
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(savedFolder.c_str());
        testkit::RemoveTree(scratch);
    }

    Outcome Run(const Bytes& image, const RunSetting& setting = RunSetting()) {
        // Each run gets a temporary folder of its own: what one run left cannot pass for what the
        // next one wrote.
        temp = scratch + "\\temp" + std::to_string(runs++);
        const std::string tmp = setting.tmp.empty() ? temp + "\\" : setting.tmp;
        tempVariables.Set(tmp);
        ::CreateDirectoryA(temp.c_str(), nullptr);
        if (setting.prepare) setting.prepare(temp);
        testkit::MemoryPackageHost host(image);
        testkit::RecordingMessages messages;
        ViewerlessLauncher launcher(host, messages, contents, setting);
        launcher.SetInstanceAndWindow(::GetModuleHandleA(nullptr), nullptr);
        launcher.Run();
        // The run folder stays the current folder; it must not keep the folder from going.
        ::SetCurrentDirectoryA(scratch.c_str());
        Outcome outcome;
        outcome.boxes = host.messages;
        outcome.boxes.insert(outcome.boxes.end(), messages.shown.begin(), messages.shown.end());
        outcome.viewerStarted = launcher.viewerStarted;
        outcome.badAtViewer = launcher.badAtViewer;
        // What the run left of its folder (a failed run too must leave none); anything else in
        // the temporary folder is foreign.
        outcome.runFolder = launcher.runFolder;
        for (const auto& made : launcher.folders.created) {
            if (made.first == outcome.runFolder) outcome.runFolderSecurity = made.second;
        }
        const std::string runName = outcome.runFolder.substr(outcome.runFolder.find_last_of('\\') + 1);
        if (!runName.empty()) outcome.badLeft = NotAsPackaged(outcome.runFolder, contents);
        // Named "run\..." below the run folder: its name is new each time.
        for (const auto& name : testkit::Tree(temp, true)) {
            const bool inRun = !runName.empty() && name.rfind(runName + "\\", 0) == 0;
            outcome.leftInTemp.push_back(inRun ? "run" + name.substr(runName.size()) : name);
        }
        for (const auto& name : testkit::Tree(temp)) {
            if (runName.empty() || name.rfind(runName + "\\", 0) != 0) outcome.badLeft.push_back(name);
        }
        outcome.outside = testkit::Tree(scratch);
        for (auto it = outcome.outside.begin(); it != outcome.outside.end();) {
            it = it->rfind("temp", 0) == 0 ? outcome.outside.erase(it) : it + 1;
        }
        if (setting.undo) setting.undo(temp);
        testkit::RemoveTree(temp);
        return outcome;
    }

    std::string scratch;
    std::string temp;
    int runs = 0;
    testkit::ScopedTemp tempVariables;
    std::string savedFolder;
    Bytes good;
    testkit::PackageLayout layout;
    std::map<std::string, Bytes> contents;
};

// count offsets spread evenly over [begin, end).
std::vector<uint32_t> Spread(uint32_t begin, uint32_t end, uint32_t count) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i)
        out.push_back(begin + static_cast<uint32_t>((uint64_t(end - begin) * i) / count));
    return out;
}

std::vector<uint32_t> TableAndTrailer(const testkit::PackageLayout& layout, uint32_t size) {
    std::vector<uint32_t> out;
    for (uint32_t at = layout.header; at < layout.tableEnd; ++at) out.push_back(at);
    for (uint32_t at = layout.dataEnd; at < size; ++at) out.push_back(at);
    return out;
}

// In the table: both ends of the marker, every byte of N and B, and of each record the first
// byte of each field and the last of each name; then every byte of the trailer.
std::vector<uint32_t> FieldStarts(const Bytes& image, const testkit::PackageLayout& layout) {
    std::vector<uint32_t> out = {layout.header, layout.header + 35};
    uint32_t at = layout.header + 36;
    for (uint32_t i = 0; i < 4; ++i) out.push_back(at + i);
    const uint32_t count = LoadU32(image.data() + at);
    at += 4;
    for (uint32_t record = 0; record < count; ++record) {
        for (int name = 0; name < 2; ++name) {
            const uint32_t length = LoadU32(image.data() + at);
            out.insert(out.end(), {at, at + 4, at + 4 + length - 1});
            at += 4 + length;
        }
        out.insert(out.end(), {at, at + 3, at + 4, at + 7});
        at += 8;
    }
    for (uint32_t i = 0; i < 4; ++i) out.push_back(at + i);
    for (uint32_t i = layout.dataEnd; i < image.size(); ++i) out.push_back(i);
    return out;
}
}  // namespace

TEST_F(DamagedPackageInProcess, CutShortAtEveryTableAndTrailerOffsetShowsTheHeaderBoxOnly) {
    std::vector<uint32_t> cuts = TableAndTrailer(layout, static_cast<uint32_t>(good.size()));
    for (uint32_t i = 1; i < 64; ++i) cuts.push_back(layout.tableEnd + (layout.dataEnd - layout.tableEnd) / 64 * i);
    for (uint32_t at : cuts) {
        const auto outcome = Run(Bytes(good.begin(), good.begin() + at));
        if (at >= layout.dataEnd) {
            // Only the trailer lost: the search finds the table, and every entry is whole.
            EXPECT_TRUE(outcome.boxes.empty() && outcome.viewerStarted) << "cut at " << at;
            EXPECT_TRUE(outcome.badAtViewer.empty() && outcome.badLeft.empty()) << "cut at " << at;
            continue;
        }
        ASSERT_EQ(outcome.boxes.size(), 2u) << "cut at " << at;
        EXPECT_EQ(outcome.boxes[0].rfind("Data header not found! / ", 0), 0u) << "cut at " << at;
        EXPECT_EQ(outcome.boxes[1], "Can't find project type / Error") << "cut at " << at;
        EXPECT_FALSE(outcome.viewerStarted) << "cut at " << at;
        EXPECT_TRUE(outcome.badLeft.empty() && outcome.outside.empty()) << "cut at " << at;
    }
    std::printf("%u cuts\n", static_cast<unsigned>(cuts.size()));
}

TEST_F(DamagedPackageInProcess, AFlippedByteInAnyTableFieldOrTheTrailerLeavesOnlySoundFiles) {
    std::map<std::string, int> firstBoxes;
    const auto offsets = FieldStarts(good, layout);
    int whole = 0;
    for (uint32_t at : offsets) {
        Bytes image = good;
        image[at] ^= 0xFF;
        const auto outcome = Run(image);
        EXPECT_TRUE(outcome.badAtViewer.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.badAtViewer);
        EXPECT_TRUE(outcome.badLeft.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.badLeft);
        EXPECT_TRUE(outcome.outside.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.outside);
        EXPECT_TRUE(outcome.leftInTemp.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.leftInTemp);
        // A run that shows nothing has run the project.
        EXPECT_TRUE(!outcome.boxes.empty() || outcome.viewerStarted) << "byte " << at;
        whole += outcome.viewerStarted ? 1 : 0;
        firstBoxes[outcome.boxes.empty() ? "(none)" : outcome.boxes[0].substr(0, 30)]++;
    }
    std::printf("%u flips, %d reached the viewer\n", static_cast<unsigned>(offsets.size()), whole);
    for (const auto& box : firstBoxes) std::printf("  %4d x %s\n", box.second, box.first.c_str());
}

TEST_F(DamagedPackageInProcess, AFlippedDataByteKeepsItsEntryOffTheDisk) {
    int whole = 0;
    for (uint32_t i = 0; i < 80; ++i) {
        const uint32_t at = layout.tableEnd + static_cast<uint32_t>(uint64_t(layout.dataEnd - layout.tableEnd) * i / 80);
        Bytes image = good;
        image[at] ^= 0x01;
        const auto outcome = Run(image);
        EXPECT_TRUE(outcome.badAtViewer.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.badAtViewer);
        EXPECT_TRUE(outcome.badLeft.empty()) << "byte " << at;
        EXPECT_TRUE(outcome.outside.empty()) << "byte " << at;
        // Whether the run stopped or went on without the item, its folder goes.
        EXPECT_TRUE(outcome.leftInTemp.empty()) << "byte " << at << ": " << ::testing::PrintToString(outcome.leftInTemp);
        // Every entry is verified before it is used, so a damaged byte always shows its box.
        ASSERT_FALSE(outcome.boxes.empty()) << "byte " << at;
        EXPECT_NE(outcome.boxes[0].find("Crc error corrupt file / "), std::string::npos) << "byte " << at;
        whole += outcome.viewerStarted ? 1 : 0;
    }
    std::printf("80 data flips, %d reached the viewer\n", whole);
}

// A package with a project file stored compressed (its marker in the table), cut short or with
// a byte flipped at a spread of offsets of each part: every box is one of the program's own for
// a damaged package, and nothing damaged is left on disk.
TEST_F(DamagedPackageInProcess, ACompressedPackageCutOrFlippedLeavesOnlySoundFilesAndDesignBoxes) {
    testkit::ProjectOptions options;
    options.compressProjectFiles = true;
    good = testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(4096, 0x90));
    layout = testkit::LayoutOf(good);
    contents = testkit::InstalledContents(good);
    const auto size = static_cast<uint32_t>(good.size());
    struct Case {
        std::string what;
        Bytes image;
        bool headerBox;  // "Data header not found!" first
    };
    std::vector<Case> cases;
    const auto cut = [&](uint32_t at) {
        cases.push_back({"cut at " + std::to_string(at), Bytes(good.begin(), good.begin() + at), at < layout.dataEnd});
    };
    const auto flip = [&](uint32_t at) {
        cases.push_back({"byte " + std::to_string(at) + " flipped", good, false});
        cases.back().image[at] ^= 0xFF;
    };
    // Twenty offsets of the table, a dozen (cuts) or ten (flips) of the data, every trailer byte.
    for (uint32_t at : Spread(layout.header, layout.tableEnd, 20)) cut(at);
    for (uint32_t at : Spread(layout.tableEnd, layout.dataEnd, 12)) cut(at);
    for (uint32_t at = layout.dataEnd; at < size; ++at) cut(at);
    for (uint32_t at : Spread(layout.header, layout.tableEnd, 20)) flip(at);
    for (uint32_t at : Spread(layout.tableEnd, layout.dataEnd, 10)) flip(at);
    for (uint32_t at = layout.dataEnd; at < size; ++at) flip(at);
    for (const Case& c : cases) {
        const auto outcome = Run(c.image);
        for (const std::string& box : outcome.boxes) {
            const size_t split = box.find(" / ");
            EXPECT_TRUE(testkit::IsDamagedPackageBox(box.substr(0, split), box.substr(split + 3)))
                << c.what << ": " << box;
        }
        if (c.headerBox) {
            EXPECT_TRUE(!outcome.boxes.empty() && outcome.boxes[0].rfind("Data header not found! / ", 0) == 0)
                << c.what;
        }
        EXPECT_TRUE(!outcome.boxes.empty() || outcome.viewerStarted) << c.what << ": a run that shows nothing has run";
        EXPECT_TRUE(outcome.badAtViewer.empty()) << c.what << ": " << ::testing::PrintToString(outcome.badAtViewer);
        EXPECT_TRUE(outcome.badLeft.empty()) << c.what << ": " << ::testing::PrintToString(outcome.badLeft);
        EXPECT_TRUE(outcome.outside.empty()) << c.what << ": " << ::testing::PrintToString(outcome.outside);
        EXPECT_TRUE(outcome.leftInTemp.empty()) << c.what << ": " << ::testing::PrintToString(outcome.leftInTemp);
    }
}

// The run uses only a folder it made itself, under a name nobody knew, and that folder goes
// whatever the viewer and the engine leave behind.
TEST_F(DamagedPackageInProcess, TheRunFolderIsOneTheRunMadeAndItAlwaysGoes) {
    // A planted lock that leads elsewhere: a folder claimed through it would delete its target.
    const std::string target = scratch + "\\target.txt";
    const std::string file = scratch + "\\a file";
    const std::string victim = scratch + "\\victim";
    ASSERT_TRUE(testkit::WriteFileBytes(target, Bytes(4, 'k')) && testkit::WriteFileBytes(file, Bytes(4, 'f')));
    ASSERT_TRUE(::CreateDirectoryA(victim.c_str(), nullptr) && testkit::WriteFileBytes(victim + "\\v.bin", Bytes(4, 'v')));
    if (!testkit::MakeHostLink(scratch + "\\probe", target)) GTEST_SKIP() << "no host links here";
    testkit::RemoveHostLink(scratch + "\\probe");
    RunSetting planted, noSecondLoad, linkInCache, linkInCacheNoSecondLoad, cacheIsALink, unwritable;
    planted.prepare = [&](const std::string& temp) {
        ::CreateDirectoryA((temp + "\\Orvan3D0").c_str(), nullptr);
        testkit::MakeHostLink(temp + "\\Orvan3D0\\Orvan3D.lock", target);
    };
    // A link to a file shows as that file under Wine: deleted as such, its target would go.
    planted.undo = [](const std::string& temp) { testkit::RemoveHostLink(temp + "\\Orvan3D0\\Orvan3D.lock"); };
    noSecondLoad.secondLoadFails = linkInCacheNoSecondLoad.secondLoadFails = true;
    linkInCache.cacheLink = linkInCacheNoSecondLoad.cacheLink = cacheIsALink.cacheLink = victim;
    cacheIsALink.cacheIsTheLink = true;
    unwritable.tmp = file + "\\";
    // Nothing behind a link in the cache is touched; the link stays, with the folders above it.
    const std::vector<std::string> linkKept = {"run\\", "run\\cache\\", "run\\cache\\x\\"};
    const std::string ownOnly = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;" + testkit::OwnUserSidText() + ")";
    struct Case {
        const char* what;
        const RunSetting& setting;
        std::vector<std::string> boxes;
        std::vector<std::string> leftInTemp;
    } cases[] = {
        {"a left-over folder with a planted lock link", planted, {}, {"Orvan3D0\\", "Orvan3D0\\Orvan3D.lock"}},
        {"the engine does not load again for the cache", noSecondLoad, {}, {}},
        {"a link in the cache", linkInCache, {}, linkKept},
        {"a link in the cache, the engine not loading again", linkInCacheNoSecondLoad, {}, linkKept},
        {"a cache that is a link", cacheIsALink, {}, {"run\\", "run\\cache\\"}},
        {"a temporary folder that is a file",
         unwritable,
         {"Files cannot be written to the temporary folder to run this project from. / " + file + "\\"},
         {}},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(good, c.setting);
        EXPECT_EQ(outcome.boxes, c.boxes) << c.what;
        EXPECT_EQ(outcome.viewerStarted, c.boxes.empty()) << c.what;
        EXPECT_TRUE(outcome.badAtViewer.empty()) << c.what << ::testing::PrintToString(outcome.badAtViewer);
        EXPECT_EQ(outcome.leftInTemp, c.leftInTemp) << c.what;
        EXPECT_EQ(outcome.outside, (std::vector<std::string>{"a file", "target.txt", "victim\\v.bin"})) << c.what;
        const std::string name = outcome.runFolder.substr(outcome.runFolder.find_last_of('\\') + 1);
        EXPECT_TRUE(!outcome.viewerStarted || testkit::IsRunFolderName(name)) << c.what << ": " << name;
        // This user's alone, whoever can write the temporary folder.
        EXPECT_EQ(outcome.runFolderSecurity, outcome.viewerStarted ? ownOnly : "") << c.what;
        Bytes kept;
        EXPECT_TRUE(testkit::ReadFileBytes(target, kept) && kept == Bytes(4, 'k')) << c.what << ": the link's target";
    }
}

TEST_F(DamagedPackageInProcess, ADamagedViewerShowsItsCrcBoxThenNotFoundAndNothingElse) {
    Bytes image = good;
    ASSERT_TRUE(testkit::DamageEntry(image, "OrvanViewer.exe"));
    const auto outcome = Run(image);
    EXPECT_EQ(outcome.boxes,
              (std::vector<std::string>{"Crc error corrupt file / ORVANVIEWER.EXE", "OrvanViewer.exe not found / P"}));
    EXPECT_FALSE(outcome.viewerStarted);
    EXPECT_TRUE(outcome.badLeft.empty() && outcome.outside.empty());
    EXPECT_TRUE(outcome.leftInTemp.empty()) << ::testing::PrintToString(outcome.leftInTemp);
}
