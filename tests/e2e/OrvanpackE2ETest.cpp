// orvanpack.exe packs a nested project folder from a [project] manifest; the packed programs
// then install it silently (exactly the folder's tree) and run it in place, under Wine.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/ByteStrings.h"
#include "testkit/ComponentPackage.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "tools/orvanpack/PackageCommands.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DPacked Project";
constexpr char kLinkFolder[] = "Orvan3D Packed Project";

std::map<std::string, Bytes> Tree(const std::string& folder) { return testkit::TreeContents(folder); }

std::string ProgramsFolder() { return testkit::KnownFolder(CSIDL_COMMON_PROGRAMS); }

class OrvanpackE2E : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Bytes binary(3000);
        for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<unsigned char>(i * 7);
        project = {
            {"ZRXStart.zrx", testkit::MakeStartFile("Packed Project", 0, 0, scratch + "\\viewer-note.txt")},
            {"readme.txt", Bytes{'h', 'i', '\r', '\n'}},
            {"models\\ship.bin", binary},
            {"models\\parts\\hull.bin", Bytes(70000, 0x5A)},
            {"Textures\\sky.tex", Bytes{0, 1, 2, 3}},
            // Already a zlib stream with a size trailer: it does not compress, so it is stored
            // unmarked and must be written exactly as stored.
            {"data\\archive.z", testkit::ZlibStored(Bytes(5000, 'z'))},
            // Incompressible: stored as it is beside the items in LZMA blocks.
            {"media\\noise.ogg", testkit::RandomBytes(40000, 27)},
        };
        for (const auto& [name, bytes] : project) {
            const std::string path = scratch + "\\project\\" + name;
            for (size_t at = path.find('\\', scratch.size() + 1); at != std::string::npos; at = path.find('\\', at + 1)) {
                ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
            }
            ASSERT_TRUE(testkit::WriteFileBytes(path, bytes)) << path;
        }
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        testkit::RemoveTree(ProgramsFolder() + "\\" + kLinkFolder);
        testkit::RemoveTree(scratch);
    }

    // Writes a manifest for the type and packs it with orvanpack.exe; the packed file's path.
    std::string Pack(const std::string& type, const std::string& more = "", const std::string& options = "") {
        std::string components = testkit::OwnFolder();
        std::replace(components.begin(), components.end(), '\\', '/');
        const std::string manifest = scratch + "\\" + type + ".toml";
        const std::string text = "[project]\ntype = \"" + type + "\"\nname = \"Packed Project\"\nfiles = \"project\"\n"
                                 "components = '" + components + "'\n" + more;
        EXPECT_TRUE(testkit::WriteFileBytes(manifest, Bytes(text.begin(), text.end())));
        const std::string packer = testkit::OwnFolder() + "\\orvanpack.exe";
        const std::string output = scratch + "\\" + type + ".exe";
        testkit::ChildProcess child;
        EXPECT_TRUE(child.Start(packer, "\"" + packer + "\" build --quiet " + options + " --manifest \"" + manifest + "\" -o \"" +
                                            output + "\""));
        EXPECT_TRUE(child.Wait(kRunLimitMs));
        EXPECT_EQ(0u, child.ExitCode()) << type;
        return output;
    }

    std::string scratch;
    std::map<std::string, Bytes> project;
};

// orvanpack list of each type's program: its FILEINFO count and the item names, sorted by kind
// (their extensions), then by path, the order of the LZMA blocks.
TEST_F(OrvanpackE2E, PacksTheFolderForEachType) {
    const struct {
        const char* type;
        const char* component;  // the type's own component
    } cases[] = {{"run", "ORVANVIEWER.EXE"}, {"install", "ZRXUNINST.EXE"}, {"screensaver", "ZRXSVR.SCR"},
                 {"winamp", "WINAMP.DLL"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string packed = Pack(c.type);
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(ExitStatus::kOk, ListPackage(packed, out, err)) << err.str();
        const std::string list = out.str();
        EXPECT_NE(std::string::npos, list.find(std::string("APPDATA\t") + c.component + "\t")) << list;
        EXPECT_NE(std::string::npos, list.find("FILEINFO\tFILECOUNT\t4\t")) << list;
        // Paths in byte order within a kind: upper case before lower case.
        const char* items[] = {"\\models\\parts\\hull.bin", "\\models\\ship.bin", "\\media\\noise.ogg",
                               "\\Textures\\sky.tex", "\\readme.txt", "\\data\\archive.z"};
        size_t last = 0;
        for (size_t i = 0; i < 6; ++i) {
            const std::string key = "FILEINFO\tITEMNAMEID" + std::to_string(i) + "\t" +
                                    std::to_string(std::string(items[i]).size() + 1) + "\t";
            const size_t at = list.find(key);
            EXPECT_NE(std::string::npos, at) << key << list;
            EXPECT_LT(last, at) << "items by kind, then path";
            last = at;
        }
        EXPECT_NE(std::string::npos, list.find("APPDATA\tZRXSTART.ZRX\t")) << list;
    }
}

// The silent install writes the project's tree exactly, beside the program's own files (zlib
// streams), from a package that holds project files in LZMA blocks and stored (the default),
// one that holds them zlib-compressed and stored, and one that holds them all stored (--store:
// no marker or record at all, as packages were before compression).
TEST_F(OrvanpackE2E, SilentInstallWritesExactlyTheFoldersTree) {
    const struct {
        const char* options;
        const char* folder;
        const char* section;  // of the compressed items' markers or records
    } modes[] = {{"", "\\blocks", "FILELZMA"}, {"--compression zlib", "\\zlib", "FILEZLIB"}, {"--store", "\\stored", ""}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.folder);
        const bool store = *mode.section == '\0';
        const bool blocks = std::string(mode.section) == "FILELZMA";
        const std::string packed =
            Pack("install", "shortcut = '\\" + std::string(kLinkFolder) + "\\Packed'\n", mode.options);
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(ExitStatus::kOk, ListPackage(packed, out, err)) << err.str();
        const auto marked = [&](const char* section, const char* item) {
            return out.str().find(std::string(section) + "\t" + item + "\t") != std::string::npos;
        };
        for (const char* item : {"\\MODELS\\PARTS\\HULL.BIN", "\\MODELS\\SHIP.BIN"}) {
            EXPECT_EQ(!store, marked("FILELZMA", item) || marked("FILEZLIB", item)) << item;
            if (!store) {
                EXPECT_TRUE(marked(mode.section, item)) << item;
            }
        }
        // Small files go into the blocks whatever they hold; zlib leaves them as they are.
        for (const char* item : {"\\README.TXT", "\\DATA\\ARCHIVE.Z"}) {
            EXPECT_EQ(blocks, marked("FILELZMA", item)) << item;
            EXPECT_FALSE(marked("FILEZLIB", item)) << item;
        }
        EXPECT_FALSE(marked("FILELZMA", "\\MEDIA\\NOISE.OGG") || marked("FILEZLIB", "\\MEDIA\\NOISE.OGG"));
        EXPECT_EQ(blocks, out.str().find("LZMABLOCK\t0\t") != std::string::npos);
        const std::string target = scratch + mode.folder;
        testkit::ChildProcess child;
        ASSERT_TRUE(child.Start(packed, "\"" + packed + "\" /S /D=" + target));
        ASSERT_TRUE(child.Wait(kRunLimitMs));
        ASSERT_EQ(0u, child.ExitCode());

        std::map<std::string, Bytes> installed = Tree(target);
        for (const char* own : {"OrvanViewer.exe", "ZRXUnInst.exe", "EngineCore.dll", "uninstall.nfo"}) {
            EXPECT_EQ(1u, installed.erase(own)) << own;
        }
        for (auto it = installed.begin(); it != installed.end();) {
            const bool engine = it->first.rfind("channels\\", 0) == 0 || it->first.rfind("3rd\\", 0) == 0;
            it = engine ? installed.erase(it) : std::next(it);
        }
        ASSERT_EQ(project.size(), installed.size());
        for (const auto& [name, bytes] : project) {
            ASSERT_EQ(1u, installed.count(name)) << name;
            EXPECT_TRUE(bytes == installed[name]) << name << " differs";
        }
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        testkit::RemoveTree(ProgramsFolder() + "\\" + kLinkFolder);
    }
}

// The run type extracts, starts the viewer on the project's start file and leaves nothing.
TEST_F(OrvanpackE2E, RunTypeRunsInPlace) {
    const std::string packed = Pack("run");
    const std::string temp = scratch + "\\temp";
    ::CreateDirectoryA(temp.c_str(), nullptr);
    testkit::RunResult run;
    {
        const testkit::ScopedTemp tempVariables(temp + "\\");
        run = testkit::RunAndDrive(packed, "\"" + packed + "\"", kRunLimitMs);
    }
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.boxes.empty());

    Bytes note;
    ASSERT_TRUE(testkit::ReadFileBytes(scratch + "\\viewer-note.txt", note)) << "the viewer ran";
    const std::string text(note.begin(), note.end());
    EXPECT_NE(std::string::npos, text.find("title=Packed Project")) << text;
    EXPECT_NE(std::string::npos, text.find("models\\parts\\hull.bin")) << "the project was there while it ran: " << text;
    EXPECT_TRUE(Tree(temp).empty()) << "the run folder is gone";
}

}  // namespace
