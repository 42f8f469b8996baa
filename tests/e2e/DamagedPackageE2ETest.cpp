// Downloads cut short and bytes gone bad: the packed sample project, damaged, run by the real
// program under Wine. Every run must end by itself with exit code 0 and only the program's
// own boxes, write nothing outside its run folder, and leave no damaged entry on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "package/PackageFormat.h"
#include "testkit/ByteStrings.h"
#include "testkit/ComponentPackage.h"
#include "testkit/DamageBoxes.h"
#include "testkit/InstalledContents.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

constexpr DWORD kRunLimitMs = 30000;
constexpr size_t kParallelRuns = 4;

struct Damage {
    std::string what;
    Bytes image;
};

// One damaged program in its own folder with its own temporary folder.
struct DamagedRun {
    std::string what;
    std::string folder;
    testkit::ChildProcess child;
    DWORD start = 0;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::vector<testkit::MessageBoxInfo> boxes;
    std::vector<HWND> answered;
};

class DamagedPackage : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
        // No viewer report: runs go side by side, and the report would be a file outside them.
        // One project file compressed, one stored: damage reaches both forms.
        testkit::ProjectOptions options;
        options.compressProjectFiles = true;
        const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), options);
        good = package.fixture.Image(stub);
        layout = testkit::LayoutOf(good);
        contents = testkit::InstalledContents(good);
        for (const auto& file : package.files) ASSERT_EQ(contents.count(testkit::UpperCase(file)), 1u) << file;
    }
    void TearDown() override { testkit::RemoveTree(scratch); }

    bool Start(DamagedRun& run, const Damage& damage, size_t index) {
        run.what = damage.what;
        run.folder = scratch + "\\run" + std::to_string(index);
        ::CreateDirectoryA(run.folder.c_str(), nullptr);
        ::CreateDirectoryA((run.folder + "\\temp").c_str(), nullptr);
        const std::string exe = run.folder + "\\Project.exe";
        if (!testkit::WriteFileBytes(exe, damage.image)) return false;
        // The child takes its environment as it stands at its creation.
        tempVariables.Set(run.folder + "\\temp\\");
        run.start = ::GetTickCount();
        return run.child.Start(exe, "\"" + exe + "\"");
    }

    // Answers the boxes of a running program; true when it has ended.
    static bool Drive(DamagedRun& run) {
        if (run.child.Wait(0)) {
            run.exitCode = run.child.ExitCode();
            return true;
        }
        if (::GetTickCount() - run.start > kRunLimitMs) {
            run.timedOut = true;
            run.child.Kill();
            run.exitCode = run.child.ExitCode();
            return true;
        }
        std::vector<HWND> present;
        for (const auto& window : testkit::TopLevelWindows(run.child.Id())) {
            present.push_back(window.window);
            if (std::find(run.answered.begin(), run.answered.end(), window.window) != run.answered.end()) continue;
            testkit::MessageBoxInfo box;
            if (!window.visible || !testkit::ReadMessageBox(window.window, box)) continue;
            run.boxes.push_back(box);
            run.answered.push_back(window.window);
            testkit::ClickButton(window.window, testkit::PressOk(box));
        }
        run.answered.erase(std::remove_if(run.answered.begin(), run.answered.end(),
                                          [&](HWND w) {
                                              return std::find(present.begin(), present.end(), w) == present.end();
                                          }),
                           run.answered.end());
        return false;
    }

    // What a finished run left: only its program and temporary folder; in the temporary folder
    // nothing, or a run folder whose every file is an undamaged entry.
    void Check(const DamagedRun& run) {
        const std::string& what = run.what;
        EXPECT_FALSE(run.timedOut) << what;
        EXPECT_EQ(run.exitCode, 0u) << what << ": a crash ends with its exception code";
        std::string shown;
        for (const auto& box : run.boxes) {
            EXPECT_TRUE(testkit::IsDamagedPackageBox(box.text, box.caption))
                << what << ": " << box.text << " / " << box.caption;
            shown += box.text + " / " + box.caption + "; ";
        }
        const std::vector<std::string> beside = testkit::Tree(run.folder, true);
        std::vector<std::string> expectedBeside = {"Project.exe", "temp\\"};
        std::vector<std::string> left;
        for (const auto& name : beside) {
            if (name.rfind("temp\\", 0) == 0 && name != "temp\\") {
                left.push_back(name.substr(5));
            } else {
                EXPECT_NE(std::find(expectedBeside.begin(), expectedBeside.end(), name), expectedBeside.end())
                    << what << ": " << name << " written beside the program";
            }
        }
        if (run.boxes.empty()) {
            EXPECT_TRUE(left.empty()) << what << ": a run without a box is a whole run, cleaned up";
        }
        for (const auto& name : left) {
            if (name.back() == '\\') continue;
            const std::string prefix = name.substr(0, name.find('\\') + 1);
            ASSERT_TRUE(testkit::IsRunFolderName(prefix.substr(0, prefix.size() - 1))) << what << ": " << name;
            const auto found = contents.find(testkit::UpperCase(name.substr(prefix.size())));
            ASSERT_NE(found, contents.end()) << what << ": " << name << " is no entry of the package";
            Bytes onDisk;
            testkit::ReadFileBytes(run.folder + "\\temp\\" + name, onDisk);
            EXPECT_TRUE(onDisk == found->second) << what << ": " << name << " written damaged; boxes: " << shown;
        }
    }

    // Runs every damaged program, a few side by side, and checks each as it ends.
    // firstBox: the text every run must show first, or null.
    void RunAll(const std::vector<Damage>& damages, const char* firstBox) {
        std::vector<std::unique_ptr<DamagedRun>> running;
        size_t next = 0;
        size_t done = 0;
        std::map<std::string, int> outcomes;
        const DWORD start = ::GetTickCount();
        while (done < damages.size()) {
            while (running.size() < kParallelRuns && next < damages.size()) {
                auto run = std::make_unique<DamagedRun>();
                ASSERT_TRUE(Start(*run, damages[next], next)) << damages[next].what;
                ++next;
                running.push_back(std::move(run));
            }
            for (auto it = running.begin(); it != running.end();) {
                if (!Drive(**it)) {
                    ++it;
                    continue;
                }
                Check(**it);
                if (firstBox != nullptr) {
                    EXPECT_TRUE(!(*it)->boxes.empty() && (*it)->boxes.front().text == firstBox) << (*it)->what;
                }
                outcomes[(*it)->boxes.empty() ? std::string("(no box)") : (*it)->boxes.front().text.substr(0, 40)]++;
                testkit::RemoveTree((*it)->folder);
                it = running.erase(it);
                ++done;
            }
            ::Sleep(10);
        }
        std::printf("%u damaged runs in %lu ms\n", static_cast<unsigned>(damages.size()),
                    static_cast<unsigned long>(::GetTickCount() - start));
        for (const auto& outcome : outcomes) std::printf("  %4d x %s\n", outcome.second, outcome.first.c_str());
    }

    Damage Truncated(uint32_t length) const {
        return {"cut at " + std::to_string(length), Bytes(good.begin(), good.begin() + length)};
    }
    Damage Flipped(uint32_t offset) const {
        Damage damage{"byte " + std::to_string(offset) + " flipped", good};
        damage.image[offset] ^= 0xFF;
        return damage;
    }
    std::string scratch;
    testkit::ScopedTemp tempVariables;
    Bytes stub;
    Bytes good;
    testkit::PackageLayout layout;
    std::map<std::string, Bytes> contents;
};

}  // namespace

// One program per road under Wine, each cut or flip in the table, the data and the trailer;
// damaged_package_test goes through every offset of the table and the trailer in-process, and
// through a spread of offsets of this same package.
TEST_F(DamagedPackage, CutShortAnywhereEndsWithTheHeaderBoxAndWritesNothing) {
    // A cut inside the program's own code leaves no program the system would start.
    RunAll({Truncated((layout.header + layout.tableEnd) / 2), Truncated((layout.tableEnd + layout.dataEnd) / 2)},
           "Data header not found!");
    // Only the trailer lost: the search finds the table, every entry is whole, the run is one.
    RunAll({Truncated(layout.dataEnd + 2)}, nullptr);
}

TEST_F(DamagedPackage, AFlippedByteNeverInstallsADamagedEntry) {
    RunAll({Flipped((layout.header + layout.tableEnd) / 2), Flipped((layout.tableEnd + layout.dataEnd) / 2),
            Flipped(layout.dataEnd + 1)},
           nullptr);
}

// Stored bytes that pass their CRC but are no sound stream of their trailer's size: the
// item is never written, "Error decompress" comes first and the run stops as for any
// damaged item.
TEST_F(DamagedPackage, ACompressedItemThatDoesNotDecodeIsNeverWritten) {
    const Bytes sound = testkit::ZlibStored(testkit::ComponentSceneBytes());
    const Bytes stream(sound.begin(), sound.end() - 4);
    const auto withTrailer = [](Bytes bytes, uint32_t size) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(size >> (8 * i)));
        return bytes;
    };
    const auto size = static_cast<uint32_t>(testkit::ComponentSceneBytes().size());
    Bytes junk = stream;
    junk.push_back(0);
    const struct {
        const char* what;
        Bytes stored;
    } cases[] = {
        {"trailer larger than the stream gives", withTrailer(stream, size + 1)},
        {"stream gives more than the trailer", withTrailer(stream, size - 1)},
        {"stream cut short", withTrailer(Bytes(stream.begin(), stream.end() - 40), size)},
        {"bytes between stream and trailer", withTrailer(junk, size)},
        {"no stream at all", withTrailer(Bytes(300, 0x5A), size)},
        {"too short for a trailer", Bytes{0x78, 0xDA}},
    };
    std::vector<Damage> damages;
    for (const auto& c : cases) {
        testkit::ProjectOptions options;
        options.compressProjectFiles = true;
        options.compressedStored = c.stored;
        damages.push_back({c.what, testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture.Image(stub)});
    }
    RunAll(damages, "Error decompress");
}

// Project files in an LZMA block, one run per road: a stored byte of the block damaged (its CRC
// and the items' fail: "Crc error corrupt file"), and a block whose bytes pass their CRC but
// declare a byte more than the stream gives ("Error decompress"). Neither item is left on disk
// damaged, and the run stops as for any damaged item.
TEST_F(DamagedPackage, ADamagedOrUnsoundBlockIsNeverWritten) {
    testkit::ProjectOptions options;
    options.blockProjectFiles = true;
    const Bytes blocked = testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture.Image(stub);
    ASSERT_EQ(testkit::InstalledContents(blocked).count("MEDIA\\SCENE.DAT"), 1u);
    const Bytes plain = testkit::Join({testkit::ComponentSceneBytes(), testkit::InstalledContents(blocked)["MEDIA\\TEXTURES\\WOOD.BIN"]});
    const Bytes block = testkit::EncodedBlock(plain);
    Damage flipped{"a stored byte of the block flipped", blocked};
    const auto at = std::search(flipped.image.begin(), flipped.image.end(), block.begin(), block.end());
    ASSERT_NE(at, flipped.image.end());
    at[static_cast<std::ptrdiff_t>(block.size() / 3)] ^= 0x20;
    RunAll({flipped}, "Crc error corrupt file");

    Bytes unsound = block;
    unsound[package_format::kBlockPropertiesSize] += 1;  // declares one byte more
    options.blockStored = unsound;
    RunAll({{"a block that declares a byte more", testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture.Image(stub)}},
           "Error decompress");
}
