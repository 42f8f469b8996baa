#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "components/chunk/ChunkFile.h"
#include "components/chunk/VbrfCodec.h"

#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "testkit/ByteStrings.h"
#include "testkit/PackageFixture.h"
#include "testkit/PeImageFixture.h"
#include "tools/orvanpack/ConsoleHost.h"
#include "tools/orvanpack/PackageCommands.h"
#include "tools/orvanpack/Packer.h"
#include "tools/orvanpack/ProjectCompression.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) { WriteBytes(path, Bytes(text.begin(), text.end())); }

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

Bytes Pattern(size_t size, unsigned seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>((i * 31 + seed) ^ (i >> 7));
    return out;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class OrvanpackTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        dir = fs::temp_directory_path() / ("orvanpack_" + std::to_string(getpid()) + "_" + name);
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        // 4096 bytes, the last of them the value that says the stub decodes LZMA blocks.
        const Bytes forms = testkit::PackageFormsValue();
        WriteBytes(dir / "stub.exe", testkit::Join({Pattern(4096 - forms.size(), 1), forms}));
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path Output() const { return dir / "out" / "Project.exe"; }

    ExitStatus Build(const std::string& manifest, std::string& err) {
        WriteText(dir / "project.toml", manifest);
        std::ostringstream messages;
        const ExitStatus status =
            BuildPackedFile({(dir / "stub.exe").string(), (dir / "project.toml").string(), Output().string()}, messages);
        err = messages.str();
        return status;
    }

    // Runs the built program with its output captured.
    RunResult Run(const std::string& args) {
        const std::string command = std::string("'") + ORVANPACK_PATH + "' " + args + " >'" +
                                    (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
        RunResult result;
        const int raw = std::system(command.c_str());
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = ReadText(dir / "stdout");
        result.err = ReadText(dir / "stderr");
        return result;
    }

    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }

    // What the output folder holds: a failed build must leave nothing there, temporaries included.
    std::vector<std::string> OutputFolder() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(dir / "out")) names.push_back(item.path().filename().string());
        return names;
    }

    fs::path dir;
};

const char kFullManifest[] = R"(
[[entry]]
name = "ProjectType"
number = -2147483648
[[entry]]
name = "MaxValue"
number = 2147483647
[[entry]]
name = "CheckDx8"
flag = true
[[entry]]
name = "ProjectName"
text = "Demo ü"
[[entry]]
section = "Files"
name = "project\\ZRXStart.zrx"
file = "project/ZRXStart.zrx"
[[entry]]
section = "Files"
name = "EngineCore.dll"
file = "bin/EngineCore.dll"
store = "zlib"
[[entry]]
name = "Empty"
file = "empty.bin"
)";

class OrvanpackBuildTest : public OrvanpackTest {
protected:
    void SetUp() override {
        OrvanpackTest::SetUp();
        WriteBytes(dir / "project" / "ZRXStart.zrx", start);
        WriteBytes(dir / "bin" / "EngineCore.dll", engine);
        WriteBytes(dir / "empty.bin", {});
    }
    Bytes start = Pattern(3000, 5);
    Bytes engine = Bytes(200000, 'E');
};

TEST_F(OrvanpackBuildTest, RoundTripsThroughTheReader) {
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build(kFullManifest, err)) << err;
    EXPECT_EQ("", err);
    EXPECT_EQ(std::vector<std::string>{"Project.exe"}, OutputFolder());

    const Bytes image = ReadBytes(Output());
    const Bytes stub = ReadBytes(dir / "stub.exe");
    ASSERT_GT(image.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), image.begin())) << "the stub must lead the output unchanged";
    EXPECT_EQ(stub.size(), LoadU32(&image[image.size() - 4])) << "trailer names the header";

    std::ostringstream messages;
    ConsoleHost host(Output().string(), messages);
    PackageReader reader(host);
    ASSERT_EQ(0, host.Faults()) << messages.str();
    EXPECT_EQ(stub.size(), reader.HeaderOffset());
    ASSERT_EQ(7, reader.EntryCount());
    const char* order[] = {"PROJECTTYPE", "MAXVALUE", "CHECKDX8", "PROJECTNAME", "PROJECT\\ZRXSTART.ZRX",
                           "ENGINECORE.DLL", "EMPTY"};
    for (int32_t i = 0; i < 7; ++i) EXPECT_STREQ(order[i], reader.EntryAt(i)->name) << "manifest order is table order";

    int32_t number = 0;
    ASSERT_TRUE(reader.ReadEntry("projecttype", &number, 4, nullptr));
    EXPECT_EQ(INT32_MIN, static_cast<int32_t>(LoadU32(&number)));
    ASSERT_TRUE(reader.ReadEntry("MaxValue", &number, 4, nullptr));
    EXPECT_EQ(INT32_MAX, static_cast<int32_t>(LoadU32(&number)));
    ASSERT_TRUE(reader.ReadEntry("CheckDx8", nullptr, 0, nullptr));
    EXPECT_EQ(Bytes{1}, Bytes(reader.Data(), reader.Data() + reader.Size()));
    ASSERT_TRUE(reader.ReadEntry("ProjectName", nullptr, 0, nullptr));
    const std::string name = "Demo ü";
    ASSERT_EQ(name.size() + 1, reader.Size()) << "text is stored with its zero byte";
    EXPECT_EQ(name, reinterpret_cast<const char*>(reader.Data()));
    ASSERT_TRUE(reader.ReadEntry("project\\zrxstart.zrx", nullptr, 0, "files"));
    EXPECT_EQ(start, Bytes(reader.Data(), reader.Data() + reader.Size()));
    ASSERT_TRUE(reader.ReadEntry("Empty", nullptr, 0, nullptr));
    EXPECT_EQ(0u, reader.Size());

    ASSERT_TRUE(reader.ReadEntry("EngineCore.dll", nullptr, 0, "FILES"));
    const uint32_t packedSize = reader.Size();
    ASSERT_GT(packedSize, 4u);
    EXPECT_LT(packedSize, engine.size()) << "a zlib entry is stored compressed";
    EXPECT_EQ(engine.size(), LoadU32(reader.Data() + packedSize - 4)) << "size trailer";
    Bytes plain(engine.size());
    uLongf plainSize = static_cast<uLongf>(plain.size());
    ASSERT_EQ(Z_OK, uncompress(plain.data(), &plainSize, reader.Data(), packedSize - 4));
    EXPECT_EQ(engine.size(), plainSize);
    EXPECT_EQ(engine, plain);
}

TEST_F(OrvanpackBuildTest, VbrfEntriesAreTheEnginesChunkForm) {
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("[[entry]]\nname = \"\\\\scene.chn\"\nfile = \"bin/EngineCore.dll\"\nstore = \"vbrf\"\n", err))
        << err;
    std::ostringstream messages;
    ConsoleHost host(Output().string(), messages);
    PackageReader reader(host);
    ASSERT_TRUE(reader.ReadEntry("\\Scene.chn", nullptr, 0, nullptr));
    chunk::ChunkView vbrf;
    ASSERT_TRUE(chunk::FindChunk(reader.Data(), reader.Size(), "VBRF", 0, vbrf));
    Bytes plain;
    ASSERT_TRUE(chunk::DecodeVbrf(vbrf.data, vbrf.size, plain));
    EXPECT_EQ(engine, plain);
    EXPECT_LT(reader.Size(), engine.size());
}

TEST_F(OrvanpackBuildTest, ProgramListsVerifiesAndExtracts) {
    WriteText(dir / "project.toml", kFullManifest);
    RunResult built = Run("build --stub " + Quoted(dir / "stub.exe") + " --manifest " + Quoted(dir / "project.toml") +
                          " -o " + Quoted(Output()));
    ASSERT_EQ(0, built.status) << built.err;

    RunResult list = Run("list " + Quoted(Output()));
    ASSERT_EQ(0, list.status) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("header at offset 4096, 7 entries")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("APPDATA\tCHECKDX8\t1\t0xa505df1b\t")) << list.out;
    std::ostringstream messages;
    ConsoleHost host(Output().string(), messages);
    PackageReader reader(host);
    const std::string startLine = "FILES\tPROJECT\\ZRXSTART.ZRX\t3000\t0x";
    const size_t at = list.out.find(startLine);
    ASSERT_NE(std::string::npos, at) << list.out;
    const std::string offset = std::to_string(reader.EntryOffset(4)) + "\n";
    EXPECT_EQ(offset, list.out.substr(at + startLine.size() + 9, offset.size())) << "absolute data offset";

    RunResult verify = Run("verify " + Quoted(Output()));
    EXPECT_EQ(0, verify.status) << verify.err;
    EXPECT_EQ(0u, verify.out.find("OK")) << verify.out;

    RunResult extract = Run("extract " + Quoted(Output()) + " " + Quoted(dir / "x"));
    ASSERT_EQ(0, extract.status) << extract.err;
    EXPECT_EQ(start, ReadBytes(dir / "x" / "FILES" / "PROJECT" / "ZRXSTART.ZRX")) << "a backslash makes a subfolder";
    EXPECT_EQ((Bytes{'D', 'e', 'm', 'o', ' ', 0xC3, 0xBC, 0}), ReadBytes(dir / "x" / "APPDATA" / "PROJECTNAME"));
    EXPECT_TRUE(fs::is_regular_file(dir / "x" / "APPDATA" / "EMPTY"));
}

TEST_F(OrvanpackTest, ProgramExitStatusSeparatesUsageFromFaults) {
    const struct {
        const char* args;
        int status;
    } cases[] = {
        {"", 2},
        {"frobnicate", 2},
        {"build --manifest x.toml", 2},
        {"extract only-one-argument", 2},
        {"list /nonexistent/Project.exe", 1},
        {"verify /nonexistent/Project.exe", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.status, Run(c.args).status) << c.args;
}

// Each case: a manifest with one fault, the line it must be reported on and words of the reason.
TEST_F(OrvanpackTest, ManifestErrorsNameFileAndLineAndLeaveNoOutput) {
    WriteBytes(dir / "data.bin", Pattern(10, 2));
    const std::string longName(260, 'N');
    const std::string fitName(259, 'N');
    const struct {
        const char* what;
        std::string manifest;
        int line;
        const char* reason;
    } cases[] = {
        {"syntax", "[[entry]]\nname = \"A\"\nnumber = \n", 3, "expected"},
        {"unknown top-level key", "title = \"x\"\n", 1, "unknown key \"title\""},
        {"entry as a plain table", "\n[entry]\nname = \"A\"\nnumber = 1\n", 2, "[[entry]]"},
        {"unknown entry key", "[[entry]]\nname = \"A\"\nnumber = 1\ncolour = 3\n", 4, "unknown key \"colour\""},
        {"missing name", "[[entry]]\nname = \"A\"\nnumber = 1\n\n[[entry]]\nflag = true\n", 5, "no name"},
        {"no value", "[[entry]]\nname = \"A\"\n", 1, "no value"},
        {"two value kinds", "[[entry]]\nname = \"A\"\nnumber = 1\ntext = \"x\"\n", 4, "exactly one"},
        {"name not a string", "[[entry]]\nname = 5\nnumber = 1\n", 2, "name must be a string"},
        {"section not a string", "[[entry]]\nsection = [1]\nname = \"A\"\nnumber = 1\n", 2, "section must be a string"},
        {"number as text", "[[entry]]\nname = \"A\"\nnumber = \"1\"\n", 3, "must be an integer"},
        {"number as float", "[[entry]]\nname = \"A\"\nnumber = 1.5\n", 3, "must be an integer"},
        {"number too large", "[[entry]]\nname = \"A\"\nnumber = 2147483648\n", 3, "32 bits"},
        {"number too small", "[[entry]]\nname = \"A\"\nnumber = -2147483649\n", 3, "32 bits"},
        {"flag as number", "[[entry]]\nname = \"A\"\nflag = 1\n", 3, "true or false"},
        {"text with a zero byte", "[[entry]]\nname = \"A\"\ntext = \"a\\u0000b\"\n", 3, "zero byte"},
        {"missing file", "[[entry]]\nname = \"A\"\nfile = \"nowhere.bin\"\n", 3, "not found"},
        {"file is a folder", "[[entry]]\nname = \"A\"\nfile = \"out\"\n", 3, "not a regular file"},
        {"unknown store", "[[entry]]\nname = \"A\"\nfile = \"data.bin\"\nstore = \"xz\"\n", 4, "unknown store"},
        {"store on a number", "[[entry]]\nname = \"A\"\nnumber = 1\nstore = \"zlib\"\n", 4, "file entries only"},
        {"name of 260 bytes",
         "[[entry]]\nname = \"A\"\nnumber = 1\n[[entry]]\nname = \"" + longName + "\"\nnumber = 1\n", 4, "259"},
        {"section of 260 bytes", "[[entry]]\nsection = \"" + longName + "\"\nname = \"A\"\nnumber = 1\n", 1, "259"},
        {"empty name", "[[entry]]\nname = \"\"\nnumber = 1\n", 1, "empty"},
        {"a block by hand", "[[entry]]\nsection = \"LzmaBlock\"\nname = \"0\"\nfile = \"data.bin\"\n", 2,
         "written by the packer"},
        {"a block item's record by hand", "[[entry]]\nsection = \"FILELZMA\"\nname = \"A\"\nnumber = 1\n", 2,
         "written by the packer"},
        {"collision without regard to case",
         "[[entry]]\nname = \"" + fitName + "\"\nnumber = 1\n[[entry]]\nsection = \"appdata\"\nname = \"" + fitName +
             "\"\nfile = \"data.bin\"\n",
         4, "collides"},
        {"collision in another section",
         "[[entry]]\nsection = \"Files\"\nname = \"a.dll\"\nnumber = 1\n[[entry]]\nsection = \"FILES\"\nname = "
         "\"A.DLL\"\n"
         "flag = true\n",
         5, "collides"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string err;
        EXPECT_EQ(ExitStatus::kUsage, Build(c.manifest, err));
        const std::string where = (dir / "project.toml").string() + ":" + std::to_string(c.line) + ": ";
        EXPECT_NE(std::string::npos, err.find(where)) << err;
        EXPECT_NE(std::string::npos, err.find(c.reason)) << err;
        EXPECT_TRUE(OutputFolder().empty());
    }
}

TEST_F(OrvanpackTest, ReportsEveryManifestProblemInOneRun) {
    std::string err;
    ASSERT_EQ(ExitStatus::kUsage,
              Build("[[entry]]\nname = \"A\"\nnumber = \"x\"\n[[entry]]\nname = \"B\"\nflag = 2\nextra = 1\n", err));
    const std::string file = (dir / "project.toml").string();
    const size_t three = err.find(file + ":3: ");
    const size_t six = err.find(file + ":6: ");
    const size_t seven = err.find(file + ":7: ");
    ASSERT_NE(std::string::npos, three) << err;
    ASSERT_NE(std::string::npos, six) << err;
    ASSERT_NE(std::string::npos, seven) << err;
    EXPECT_LT(three, six) << "problems come in file order";
    EXPECT_LT(six, seven) << "problems come in file order";
}

TEST_F(OrvanpackTest, FailedBuildLeavesAnEarlierOutputUntouched) {
    WriteText(Output(), "earlier build");
    const struct {
        const char* what;
        std::function<void()> prepare;
        ExitStatus status;
    } cases[] = {
        {"bad manifest", [] {}, ExitStatus::kUsage},
        {"stub missing", [this] { fs::remove(dir / "stub.exe"); }, ExitStatus::kFault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const std::string manifest = c.status == ExitStatus::kUsage ? "[[entry]]\nname = \"A\"\n"
                                                                    : "[[entry]]\nname = \"A\"\nnumber = 1\n";
        std::string err;
        EXPECT_EQ(c.status, Build(manifest, err));
        EXPECT_FALSE(err.empty());
        EXPECT_EQ("earlier build", ReadText(Output()));
        EXPECT_EQ(std::vector<std::string>{"Project.exe"}, OutputFolder()) << "no temporary left behind";
    }
}

TEST_F(OrvanpackTest, OutputIntoMissingFolderFailsAsFault) {
    WriteText(dir / "project.toml", "[[entry]]\nname = \"A\"\nnumber = 1\n");
    std::ostringstream err;
    EXPECT_EQ(ExitStatus::kFault, BuildPackedFile({(dir / "stub.exe").string(), (dir / "project.toml").string(),
                                                   (dir / "missing" / "P.exe").string()},
                                                  err));
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(OrvanpackTest, StubFromManifestAndLargeStubWarning) {
    const struct {
        size_t stubSize;
        bool warns;
    } cases[] = {{package_format::kSearchLimit - 1, false}, {package_format::kSearchLimit, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stubSize);
        WriteBytes(dir / "bin" / "big.exe", Pattern(c.stubSize, 9));
        WriteText(dir / "project.toml", "[stub]\nfile = \"bin/big.exe\"\n[[entry]]\nname = \"A\"\nnumber = 7\n");
        std::ostringstream err;
        ASSERT_EQ(ExitStatus::kOk, BuildPackedFile({"", (dir / "project.toml").string(), Output().string()}, err));
        EXPECT_EQ(c.warns, err.str().find("warning") != std::string::npos) << err.str();
        std::ostringstream messages;
        ConsoleHost host(Output().string(), messages);
        PackageReader reader(host);
        EXPECT_EQ(c.stubSize, reader.HeaderOffset());
        EXPECT_EQ(1, reader.EntryCount());
    }
}

// Damage done to a good build and what verify must say about it.
TEST_F(OrvanpackTest, VerifyReportsDamage) {
    WriteBytes(dir / "data.bin", Pattern(5000, 3));
    std::string err;
    ASSERT_EQ(ExitStatus::kOk,
              Build("[[entry]]\nname = \"A\"\nnumber = 1\n[[entry]]\nname = \"Data.bin\"\nfile = \"data.bin\"\n", err));
    const Bytes good = ReadBytes(Output());
    const size_t dataByte = good.size() - 4 - 2500;
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* message;
    } cases[] = {
        {"flipped data byte", [&](Bytes& b) { b[dataByte] ^= 0x01; }, "DATA.BIN: Crc error corrupt file"},
        {"byte appended", [](Bytes& b) { b.push_back(0); }, "trailer"},
        {"trailer pointing into the stub", [](Bytes& b) { StoreU32(&b[b.size() - 4], 100); }, "trailer names offset 100"},
        {"stub only", [](Bytes& b) { b.resize(4096); }, "Data header not found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = good;
        c.damage(image);
        WriteBytes(dir / "damaged.exe", image);
        RunResult verify = Run("verify " + Quoted(dir / "damaged.exe"));
        EXPECT_EQ(1, verify.status);
        EXPECT_NE(std::string::npos, verify.err.find(c.message)) << verify.err;
        EXPECT_EQ(std::string::npos, verify.out.find("OK")) << verify.out;
    }
}

// "auto" files are compressed when that pays, each marked, decoded by the program's own sink;
// the rest stay as they are. --store keeps them all as they are; threads change no byte.
TEST_F(OrvanpackTest, AutoFilesAreCompressedWhenItPaysAndMarked) {
    Bytes text;
    for (int i = 0; text.size() < 300000; ++i) {
        const std::string line = "mesh " + std::to_string(i) + " vertex data follows\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    Bytes noise(20000);
    uint32_t state = 7;
    for (auto& b : noise) b = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
    const struct {
        const char* name;
        Bytes bytes;
        bool compressed;
    } files[] = {
        {"text.txt", text, true},
        {"noise.bin", noise, false},
        {"tiny.txt", Bytes{'a', 'b', 'c'}, false},
        {"empty.bin", {}, false},
    };
    std::string manifest;
    for (const auto& f : files) {
        WriteBytes(dir / f.name, f.bytes);
        manifest += std::string("[[entry]]\nname = \"") + f.name + "\"\nfile = \"" + f.name + "\"\nstore = \"auto\"\n";
    }
    WriteText(dir / "project.toml", manifest);
    const auto build = [&](bool storeOnly, const fs::path& output) {
        BuildRequest request{(dir / "stub.exe").string(), (dir / "project.toml").string(), output.string()};
        request.storeOnly = storeOnly;
        std::ostringstream messages;
        EXPECT_EQ(ExitStatus::kOk, BuildPackedFile(request, messages)) << messages.str();
        EXPECT_EQ(std::vector<std::string>{output.filename().string()}, OutputFolder()) << "no spool left";
        return ReadBytes(output);
    };

    for (const bool storeOnly : {false, true}) {
        SCOPED_TRACE(storeOnly ? "--store" : "default");
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        const Bytes first = build(storeOnly, Output());
        fs::remove(Output());
        EXPECT_EQ(first, build(storeOnly, Output())) << "the same inputs give the same bytes";
        std::ostringstream messages;
        ConsoleHost host(Output().string(), messages);
        PackageReader reader(host);
        for (const auto& f : files) {
            SCOPED_TRACE(f.name);
            const bool compressed = f.compressed && !storeOnly;
            EXPECT_EQ(compressed, reader.Contains(f.name, package_format::kCompressedSection));
            ASSERT_TRUE(reader.ReadEntry(f.name, nullptr, 0, nullptr));
            const Bytes stored(reader.Data(), reader.Data() + reader.Size());
            if (!compressed) {
                EXPECT_TRUE(stored == f.bytes) << "stored as it is";
                continue;
            }
            EXPECT_LT(stored.size(), f.bytes.size() / 4);
            EXPECT_EQ(f.bytes.size(), LoadU32(&stored[stored.size() - 4])) << "size trailer";
            Bytes plain(f.bytes.size());
            uLongf plainSize = static_cast<uLongf>(plain.size());
            ASSERT_EQ(Z_OK, uncompress(plain.data(), &plainSize, stored.data(), static_cast<uLong>(stored.size() - 4)));
            EXPECT_TRUE(plain == f.bytes) << "decodes to the file";
            unsigned char flag = 0;
            EXPECT_TRUE(reader.ReadEntry(f.name, &flag, 1, package_format::kCompressedSection));
            EXPECT_EQ(1, flag);
        }
        EXPECT_EQ(0, host.Faults()) << messages.str();
        RunResult verify = Run("verify " + Quoted(Output()));
        EXPECT_EQ(0, verify.status) << verify.err;
    }
}

// A file past the whole-file limit is compressed as a stream, with bounded memory: written and
// checked here without ever being held (a later test measures a spawned child's peak, which
// Linux charges with this process's own), its decoding checked by verify.
TEST_F(OrvanpackTest, AFileBeyondTheWholeFileLimitIsCompressedAsAStream) {
    {
        std::ofstream big(dir / "big.bin", std::ios::binary);
        const std::string zeros(1 << 20, '\0');
        for (uint64_t left = ProjectCompressor::kWholeFileLimit; left > 0; left -= zeros.size()) big << zeros;
        for (int i = 0; i < 20000; ++i) big << "mesh " << i << " vertex data follows\n";
    }
    const uint64_t size = fs::file_size(dir / "big.bin");
    ASSERT_GT(size, ProjectCompressor::kWholeFileLimit);
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("[[entry]]\nname = \"big.bin\"\nfile = \"big.bin\"\nstore = \"auto\"\n", err)) << err;
    std::ostringstream messages;
    ConsoleHost host(Output().string(), messages);
    PackageReader reader(host);
    EXPECT_TRUE(reader.Contains("big.bin", package_format::kCompressedSection));
    ASSERT_GE(reader.EntryCount(), 1);
    EXPECT_LT(reader.EntryAt(0)->size, size / 50);
    unsigned char trailer[4] = {};
    std::ifstream packed(Output(), std::ios::binary);
    packed.seekg(static_cast<std::streamoff>(reader.EntryOffset(0) + reader.EntryAt(0)->size - 4));
    packed.read(reinterpret_cast<char*>(trailer), 4);
    EXPECT_EQ(size, LoadU32(trailer)) << "size trailer";
    RunResult verify = Run("verify " + Quoted(Output()));
    EXPECT_EQ(0, verify.status) << verify.err << "the stream decodes to the trailer's size";
}

TEST_F(OrvanpackTest, VerifyDecodesEveryItemMarkedCompressed) {
    WriteBytes(dir / "raw.bin", Pattern(5000, 3));
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("[[entry]]\nname = \"Raw.bin\"\nfile = \"raw.bin\"\n[[entry]]\nsection = \"FILEZLIB\"\n"
                                     "name = \"Raw.bin\"\nflag = true\n",
                                     err))
        << err;
    RunResult verify = Run("verify " + Quoted(Output()));
    EXPECT_EQ(1, verify.status);
    EXPECT_NE(std::string::npos, verify.err.find("APPDATA/RAW.BIN: marked compressed, but not a zlib stream")) << verify.err;
}

TEST_F(OrvanpackTest, SignedFileListsVerifiesAndExtractsOnlyThePackageBeforeItsTable) {
    // A signed file as an attacker leaves it: a second package and trailer planted inside the
    // certificate table, the table's length and the directory's size grown to cover them.
    Bytes image = testkit::PackageFixture().Number("ProjectType", 2).Text("ProjectName", "Genuine")
                      .Image(testkit::MinimalPeImage(250000));
    Bytes certificate(1200, 0x30);
    testkit::AppendCertificateTable(image, certificate);
    const size_t tableAt = image.size() - certificate.size();
    const Bytes forged = testkit::PackageFixture().Text("Forged", "yes").Package(static_cast<uint32_t>(image.size()));
    image.insert(image.end(), forged.begin(), forged.end());
    StoreU32(&image[tableAt], static_cast<uint32_t>(image.size() - tableAt));
    StoreU32(&image[testkit::kMinimalPeSecurityEntry + 4], static_cast<uint32_t>(image.size() - tableAt));
    WriteBytes(dir / "signed.exe", image);

    RunResult list = Run("list " + Quoted(dir / "signed.exe"));
    ASSERT_EQ(0, list.status) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("header at offset 250000, 2 entries")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("APPDATA\tPROJECTNAME\t8\t")) << list.out;
    EXPECT_EQ(std::string::npos, list.out.find("FORGED")) << list.out;
    RunResult verify = Run("verify " + Quoted(dir / "signed.exe"));
    EXPECT_EQ(0, verify.status) << verify.err;
    RunResult extract = Run("extract " + Quoted(dir / "signed.exe") + " " + Quoted(dir / "x"));
    ASSERT_EQ(0, extract.status) << extract.err;
    EXPECT_TRUE(fs::is_regular_file(dir / "x" / "APPDATA" / "PROJECTNAME"));
    EXPECT_FALSE(fs::exists(dir / "x" / "APPDATA" / "FORGED"));
}

TEST(SafeRelativePathTest, MapsSeparatorsAndRefusesEscapes) {
    const struct {
        const char* stored;
        const char* path;  // null: refused
    } cases[] = {
        {"ENGINECORE.DLL", "ENGINECORE.DLL"},
        {"PROJECT\\MEDIA/LOGO.BMP", "PROJECT/MEDIA/LOGO.BMP"},
        {"A\\\\B", "A/B"},
        {"A/./B", "A/B"},
        {"...", "..."},
        {"..X", "..X"},
        {"..", nullptr},
        {"..\\EVIL", nullptr},
        {"A/../../EVIL", nullptr},
        {"A\\..", nullptr},
        {"/ETC/PASSWD", "ETC/PASSWD"},
        {"\\SCENE\\INTRO.SCENE", "SCENE/INTRO.SCENE"},
        {"\\\\SERVER\\SHARE\\X", "SERVER/SHARE/X"},
        {"\\..\\EVIL", nullptr},
        {"C:X", nullptr},
        {"FILE.TXT:STREAM", nullptr},
        {"A/", nullptr},
        {".", nullptr},
        {"./.", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        fs::path out;
        std::string reason;
        const bool ok = SafeRelativePath(c.stored, out, reason);
        EXPECT_EQ(c.path != nullptr, ok) << c.stored << ": " << reason;
        if (c.path != nullptr) {
            EXPECT_EQ(fs::path(c.path), out) << c.stored;
        }
    }
}

TEST_F(OrvanpackTest, ExtractRefusesEscapingNamesAndKeepsTheRest) {
    WriteBytes(dir / "data.bin", Pattern(64, 4));
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("[[entry]]\nname = \"..\\\\..\\\\Evil.txt\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nsection = \"..\"\nname = \"Evil2.txt\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nname = \"Good.txt\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nname = \"Sub/Same\"\nnumber = 1\n"
                                     "[[entry]]\nname = \"Sub\\\\Same\"\nnumber = 2\n",
                                     err))
        << err;
    fs::create_directories(dir / "x" / "inner");
    RunResult extract = Run("extract " + Quoted(Output()) + " " + Quoted(dir / "x" / "inner"));
    EXPECT_EQ(1, extract.status);
    EXPECT_NE(std::string::npos, extract.err.find("..")) << extract.err;
    EXPECT_NE(std::string::npos, extract.err.find("SUB\\SAME")) << "second entry onto the same file: " << extract.err;
    EXPECT_FALSE(fs::exists(dir / "EVIL.TXT"));
    EXPECT_FALSE(fs::exists(dir / "x" / "EVIL.TXT"));
    EXPECT_FALSE(fs::exists(dir / "x" / "EVIL2.TXT"));
    EXPECT_EQ(Pattern(64, 4), ReadBytes(dir / "x" / "inner" / "APPDATA" / "GOOD.TXT"));
    EXPECT_EQ(PackageWriter::EncodeNumber(1), ReadBytes(dir / "x" / "inner" / "APPDATA" / "SUB" / "SAME"));
}

// What is already in the destination is not written through, and names that Windows takes for
// one file ("SUB/AAA", "sub/aaa") are extracted once.
TEST_F(OrvanpackTest, ExtractWritesThroughNoLinkAndComparesNamesWithoutCase) {
    WriteBytes(dir / "data.bin", Pattern(64, 5));
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build("[[entry]]\nname = \"Sub/AAA\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nname = \"Sub/BBB\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nname = \"Linked/File\"\nfile = \"data.bin\"\n"
                                     "[[entry]]\nname = \"Dangling\"\nfile = \"data.bin\"\n",
                                     err))
        << err;
    // The packer stores names in upper case; another tool may not.
    Bytes image = ReadBytes(Output());
    const std::string from = "SUB/BBB", to = "sub/aaa";
    auto at = std::search(image.begin(), image.end(), from.begin(), from.end());
    ASSERT_NE(at, image.end());
    std::copy(to.begin(), to.end(), at);
    WriteBytes(Output(), image);

    const fs::path x = dir / "x";
    fs::create_directories(x / "APPDATA");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", x / "APPDATA" / "LINKED");
    fs::create_symlink(dir / "nowhere.bin", x / "APPDATA" / "DANGLING");
    RunResult extract = Run("extract " + Quoted(Output()) + " " + Quoted(x));
    EXPECT_EQ(1, extract.status);
    EXPECT_NE(std::string::npos, extract.err.find("sub/aaa")) << extract.err;
    EXPECT_NE(std::string::npos, extract.err.find("LINKED/FILE")) << extract.err;
    EXPECT_NE(std::string::npos, extract.err.find("DANGLING")) << extract.err;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_FALSE(fs::exists(dir / "nowhere.bin"));
    EXPECT_EQ(Pattern(64, 5), ReadBytes(x / "APPDATA" / "SUB" / "AAA"));
    EXPECT_FALSE(fs::exists(x / "APPDATA" / "sub"));
}

}  // namespace
