#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "package/Crc32.h"
#include "package/LittleEndian.h"
#include "package/PackageReader.h"
#include "package/PackageSchema.h"
#include "package/PackageWriter.h"
#include "testkit/PeImageFixture.h"
#include "tools/orvanpack/ConsoleHost.h"
#include "tools/orvanpack/PackageCommands.h"
#include "tools/orvanpack/Packer.h"
#include "tools/orvanpack/ProjectInit.h"
#include "tools/orvanpack/WingetManifest.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A component as stored: a zlib stream and its 4-byte plain size.
std::string Inflated(const std::string& stored) {
    if (stored.size() < 4) return "<short>";
    std::string plain(LoadU32(stored.data() + stored.size() - 4), '\0');
    uLongf size = plain.size();
    if (uncompress(reinterpret_cast<Bytef*>(&plain[0]), &size, reinterpret_cast<const Bytef*>(stored.data()),
                   stored.size() - 4) != Z_OK) {
        return "<undecodable>";
    }
    return plain;
}

std::string Backslashed(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// What a packed file holds, read back through the program's own reader.
class Packed {
public:
    explicit Packed(const fs::path& path) : host(path.string(), messages), reader(host) {}
    bool Ok() const { return host.Faults() == 0; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        names.reserve(static_cast<size_t>(reader.EntryCount()));
        for (int32_t i = 0; i < reader.EntryCount(); ++i) names.push_back(reader.EntryAt(i)->name);
        return names;
    }
    bool Has(const std::string& name, const char* section = nullptr) {
        return reader.ReadEntry(name.c_str(), nullptr, 0, section);
    }
    std::string Text(const std::string& name, const char* section = nullptr) {
        return Has(name, section) ? std::string(reinterpret_cast<const char*>(reader.Data())) : "<missing>";
    }
    int32_t Number(const std::string& name, const char* section = nullptr) {
        return Has(name, section) && reader.Size() == 4 ? static_cast<int32_t>(LoadU32(reader.Data())) : -999;
    }
    int Flag(const std::string& name) { return Has(name) && reader.Size() == 1 ? reader.Data()[0] : -1; }
    std::string Data(const std::string& name) {
        return Has(name) ? std::string(reinterpret_cast<const char*>(reader.Data()), reader.Size()) : "<missing>";
    }
    // A project file as the program extracts it, decoded from the blocks or as stored.
    std::string Item(const std::string& name) {
        struct Text : EntrySink {
            bool Begin(uint32_t) override { return true; }
            bool Write(const void* bytes, uint32_t length) override {
                text.append(static_cast<const char*>(bytes), length);
                return true;
            }
            bool Commit() override { return true; }
            void Discard() override { text = "<discarded>"; }
            std::string text;
        } sink;
        bool decodeFailed = false;
        return reader.StreamItem(name.c_str(), sink, decodeFailed) == StreamResult::kWritten ? sink.text : "<failed>";
    }

    std::ostringstream messages;
    ConsoleHost host;
    PackageReader reader;
};

class ProjectManifestTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir = fs::temp_directory_path() / ("orvanproject_" + std::to_string(getpid()) + "_" + name);
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        // A components folder as the Windows build leaves it; each file's content is its name.
        for (const char* component :
             {"OrvanViewer.exe", "ZRXUnInst.exe", "ZRXUnInstUser.exe", "ZRXSvr.scr", "WinAmp.dll", "Orvan3DExe.exe"}) {
            WriteText(dir / "bin" / component, std::string("component ") + component);
        }
        // The stub says it decodes LZMA blocks, as the build's does.
        const Bytes forms = testkit::PackageFormsValue();
        WriteText(dir / "bin" / "Orvan3DExe.exe", "component Orvan3DExe.exe" + std::string(forms.begin(), forms.end()));
        for (const char* engineFile : kEngineFiles) {
            std::string path = engineFile;
            std::replace(path.begin(), path.end(), '\\', '/');
            WriteText(dir / "bin" / path, std::string("engine ") + engineFile);
        }
        for (const auto& [path, content] : files) WriteText(dir / "project" / path, content);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path Output() const { return dir / "out" / "Project.exe"; }

    ExitStatus Build(const std::string& manifest, std::string& err, const fs::path& output = fs::path()) {
        WriteText(dir / "project.toml", manifest);
        std::ostringstream messages;
        BuildRequest request{"", (dir / "project.toml").string(), (output.empty() ? Output() : output).string()};
        const ExitStatus status = BuildPackedFile(request, messages);
        err = messages.str();
        return status;
    }

    int RunProgram(const std::string& args, std::string& out) {
        const std::string command = std::string("'") + ORVANPACK_PATH + "' " + args + " >'" +
                                    (dir / "stdout").string() + "' 2>&1";
        const int raw = std::system(command.c_str());
        out = ReadText(dir / "stdout");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    static std::string Project(const std::string& type, const std::string& more = "") {
        return "[project]\ntype = \"" + type + "\"\nname = \"Demo\"\nfiles = \"project\"\ncomponents = \"bin\"\n" + more;
    }

    fs::path dir;
    // A nested project, listed out of order: the package must list it sorted by path.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ZRXStart.zrx", "start"},          {"textures/b.tex", "bee"},   {"a.txt", "ay"},
        {"scene/deep/er/x.scene", "deep"},  {"channels/scene.chn", "chn"}, {"channels/fx.chn", "fx"},
        {"textures/A.tex", "upper"},
    };
};

// Per type: the configuration values, components and lists the long form would give.
TEST_F(ProjectManifestTest, ExpandsEachTypeIntoTheEntriesItsModeReads) {
    const struct {
        const char* type;
        int32_t projectType;
        std::vector<std::string> components;  // in table order, before the engine files
        std::vector<std::string> values;      // "NAME=expected" (texts), "NAME?" (flags, value 0/1)
    } cases[] = {
        {"run", 1, {"ORVANVIEWER.EXE"}, {"CheckDx8?0", "ProjectName=Demo"}},
        {"install", 2, {"ZRXUNINST.EXE", "ORVANVIEWER.EXE"},
         {"CheckDx8?0", "RunAfterInstall?0", "InstallPath=C:\\Program Files\\Demo", "ShortCutName=\\Demo\\Demo",
          "ProjectName=Demo"}},
        {"screensaver", 5, {"ZRXSVR.SCR", "ZRXUNINST.EXE"},
         {"CheckDx8?0", "RunAfterInstall?0", "InstallPath=C:\\Program Files\\Demo", "ProjectName=Demo",
          "DoQuitCgr?1", "DoSmallPreview?1"}},
        {"winamp", 6, {"WINAMP.DLL", "ZRXUNINST.EXE"},
         {"CheckDx8?0", "StartupDirectory=C:\\Program Files\\Demo", "ProjectName=Demo", "WinampVersion?1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::string err;
        ASSERT_EQ(ExitStatus::kOk,
                  Build(Project(c.type, "channels = [\"channels/scene.chn\"]\nchannel-libraries = ['channels\\fx.chn']\n"),
                        err))
            << err;
        Packed packed(Output());
        ASSERT_TRUE(packed.Ok()) << packed.messages.str();
        EXPECT_EQ(c.projectType, packed.Number("ProjectType"));
        for (const std::string& value : c.values) {
            const size_t flag = value.find('?');
            if (flag != std::string::npos) {
                EXPECT_EQ(value[flag + 1] - '0', packed.Flag(value.substr(0, flag))) << value;
            } else {
                const size_t equals = value.find('=');
                EXPECT_EQ(value.substr(equals + 1), packed.Text(value.substr(0, equals))) << value;
            }
        }
        const std::vector<std::string> names = packed.Names();
        const size_t valueCount = 1 + c.values.size();
        ASSERT_GT(names.size(), valueCount + c.components.size());
        EXPECT_EQ(c.components, std::vector<std::string>(names.begin() + valueCount,
                                                         names.begin() + valueCount + c.components.size()));
        for (const char* other : {"ORVANVIEWER.EXE", "ZRXUNINST.EXE", "ZRXSVR.SCR", "WINAMP.DLL"}) {
            const bool wanted = std::find(c.components.begin(), c.components.end(), other) != c.components.end();
            EXPECT_EQ(wanted, packed.Has(other)) << other;
        }
        size_t at = valueCount + c.components.size();
        for (const char* engineFile : kEngineFiles) {
            std::string upper = engineFile;
            for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            EXPECT_EQ(upper, names[at++]) << "engine files in their fixed order";
        }
        EXPECT_EQ("ZRXSTART.ZRX", names[at]);
        EXPECT_EQ("start", packed.Data("ZRXStart.zrx"));

        EXPECT_EQ(1, packed.Number("ChannelCount", "CHANNELINFO"));
        EXPECT_EQ("\\channels\\scene.chn", packed.Text("ChannelItemNameID0", "CHANNELINFO"));
        EXPECT_EQ(1, packed.Number("ChannelDLLCount", "CHANNELINFO"));
        EXPECT_EQ("\\channels\\fx.chn", packed.Text("ChannelDLLItemNameID0", "CHANNELINFO"));
        EXPECT_NE("chn", packed.Data("\\channels\\scene.chn")) << "channel items are stored in the engine's form";

        // In the blocks, kind by kind (their extensions), by path within a kind: the order the
        // blocks hold them in, so that extraction walks each block once.
        const std::vector<std::string> sorted = {"scene/deep/er/x.scene", "textures/A.tex", "textures/b.tex", "a.txt"};
        ASSERT_EQ(static_cast<int32_t>(sorted.size()), packed.Number("FileCount", "FILEINFO"));
        for (size_t i = 0; i < sorted.size(); ++i) {
            const std::string item = "\\" + Backslashed(sorted[i]);
            EXPECT_EQ(item, packed.Text("ItemNameID" + std::to_string(i), "FILEINFO"));
            const auto file = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == sorted[i]; });
            EXPECT_EQ(file->second, packed.Item(item));
            EXPECT_TRUE(packed.Has(item, package_format::kBlockItemSection)) << item;
        }
        EXPECT_FALSE(packed.Has("\\ZRXStart.zrx")) << "the start file is no FILEINFO item";
    }
}

// Each case: the [project] keys (or a file placed in the project), the line reported, words of
// the reason. Every one leaves no output.
TEST_F(ProjectManifestTest, RefusesWhatTheProgramCouldNotUse) {
    const std::string longName(128, 'n');
    const std::string longText(259, 't');
    const struct {
        const char* what;
        std::string manifest;
        std::string badFile;  // created below project/ for this case only
        int line;
        const char* reason;
    } cases[] = {
        {"no type", "[project]\nname = \"D\"\nfiles = \"project\"\ncomponents = \"bin\"\n", "", 1, "no type"},
        {"no name", "[project]\ntype = \"run\"\nfiles = \"project\"\ncomponents = \"bin\"\n", "", 1, "no name"},
        {"no files", "[project]\ntype = \"run\"\nname = \"D\"\ncomponents = \"bin\"\n", "", 1, "no files"},
        {"no components", "[project]\ntype = \"run\"\nname = \"D\"\nfiles = \"project\"\n", "", 1, "no components"},
        {"unknown type", Project("setup"), "", 2, "unknown type \"setup\""},
        {"unknown key", Project("run", "colour = 1\n"), "", 6, "unknown key \"colour\""},
        {"key of another type", Project("run", "shortcut = '\\x'\n"), "", 6, "does not apply to type \"run\""},
        {"flag as text", Project("install", "run-after-install = \"yes\"\n"), "", 6, "true or false"},
        {"missing folder", "[project]\ntype = \"run\"\nname = \"D\"\nfiles = \"nowhere\"\ncomponents = \"bin\"\n", "", 4,
         "not found"},
        {"missing components folder", "[project]\ntype = \"run\"\nname = \"D\"\nfiles = \"project\"\ncomponents = \"x\"\n",
         "", 5, "not found"},
        {"project name of 259 bytes", "[project]\ntype = \"run\"\nname = \"" + longText +
                                          "\"\nfiles = \"project\"\ncomponents = \"bin\"\n",
         "", 3, "at most 258"},
        {"install path of 259 bytes", Project("install", "install-path = \"" + longText + "\"\n"), "", 6, "at most 258"},
        {"file name with ':'", Project("run"), "a:b.txt", 4, "':'"},
        {"file name with '\\'", Project("run"), "a\\b.txt", 4, "'\\'"},
        {"file name outside ASCII", Project("run"), "caf\xC3\xA9.txt", 4, "ASCII"},
        {"file name ending in a dot", Project("run"), "name.", 4, "ending in '.'"},
        {"device name with an extension", Project("run"), "con.txt", 4, "\"con.txt\", which Windows takes for a device"},
        {"device name alone", Project("run"), "AUX", 4, "\"AUX\", which Windows takes for a device"},
        {"device name below a folder", Project("run"), "scene/nul.zrx", 4, "\"nul.zrx\", which Windows"},
        {"numbered device", Project("run"), "Com1.dat", 4, "\"Com1.dat\", which Windows"},
        {"item name of 260 bytes", Project("run"), "d/" + longName + "/" + longName, 4, "too long"},
        {"channel item with \"..\"", Project("run", "channels = [\"../project.toml\"]\n"), "", 6, "\"..\""},
        {"channel item not in the folder", Project("run", "channels = [\"none.chn\"]\n"), "", 6, "not a file below"},
        {"channel item twice", Project("run", "channels = [\"a.txt\"]\nchannel-libraries = [\"a.txt\"]\n"), "", 7,
         "listed twice"},
        {"file over 2 GiB", Project("run"), "huge.bin", 4, "at most 2 GiB"},
        {"both forms", Project("run", "[[entry]]\nname = \"A\"\nnumber = 1\n"), "", 6, "not both"},
        {"version outside ASCII", Project("install", "version = \"1.0\u00e9\"\n"), "", 6, "printable ASCII"},
        {"version with a slash", Project("install", "version = \"1.0/2\"\n"), "", 6, "printable ASCII"},
        {"version of 129 characters", Project("install", "version = \"" + std::string(129, '1') + "\"\n"), "", 6,
         "at most 128"},
        {"url of another scheme", Project("install", "url = \"ftp://example.com\"\n"), "", 6, "http://"},
        {"publisher as a number", Project("install", "publisher = 7\n"), "", 6, "must be a string"},
        {"unknown scope", Project("install", "scope = \"everyone\"\n"), "", 6, "\"machine\" or \"user\""},
        {"per-user screen saver", Project("screensaver", "scope = \"user\"\n"), "", 6, "needs type \"install\""},
        {"user's folder for all users",
         Project("install", "scope = \"machine\"\ninstall-path = '%LOCALAPPDATA%\\Programs\\Demo'\n"), "", 7,
         "scope = \"user\""},
        {"project not a table", "project = 1\n", "", 1, "[project]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.badFile.empty()) {
            WriteText(dir / "project" / c.badFile, "x");
            // Sparse: the size is refused before a byte is read.
            if (c.badFile == "huge.bin") fs::resize_file(dir / "project" / c.badFile, (1ull << 31) + 1);
        }
        std::string err;
        EXPECT_EQ(ExitStatus::kUsage, Build(c.manifest, err));
        const std::string where = (dir / "project.toml").string() + ":" + std::to_string(c.line) + ": ";
        EXPECT_NE(std::string::npos, err.find(where)) << err;
        EXPECT_NE(std::string::npos, err.find(c.reason)) << err;
        EXPECT_TRUE(fs::is_empty(dir / "out"));
        if (!c.badFile.empty()) fs::remove_all(dir / "project" / fs::path(c.badFile).begin()->string());
    }
}

// A link is followed only to a file of the project itself: a contributed project linking to
// a key beside it would publish the key.
TEST_F(ProjectManifestTest, ALinkLeadingOutsideTheFilesFolderIsRefused) {
    WriteText(dir / "secret.txt", "key");
    fs::create_symlink("../secret.txt", dir / "project" / "a-link.txt");
    fs::create_symlink("textures/b.tex", dir / "project" / "inner-link.tex");
    std::string err;
    EXPECT_EQ(ExitStatus::kUsage, Build(Project("run"), err));
    EXPECT_NE(std::string::npos, err.find(":4: \"a-link.txt\" is a link that leads outside \"project\"")) << err;
    EXPECT_EQ(std::string::npos, err.find("inner-link")) << err;
    EXPECT_TRUE(fs::is_empty(dir / "out"));

    fs::remove(dir / "project" / "a-link.txt");
    ASSERT_EQ(ExitStatus::kOk, Build(Project("run"), err)) << err;
    Packed packed(Output());
    EXPECT_EQ("bee", packed.Item("\\inner-link.tex")) << "a link inside the project is packed as its file";
}

// version, publisher and url travel as values of their own; a per-user install proposes the
// user's own programs folder and carries the uninstaller that asks for no elevation. Without
// them a project packs exactly as before.
TEST_F(ProjectManifestTest, DeploymentValuesAndScope) {
    const struct {
        const char* what;
        std::string keys;
        std::vector<std::string> values;  // "NAME=text", "NAME?flag", "NAME!" (absent)
        const char* uninstaller;
    } cases[] = {
        {"none", "", {"ProjectVersion!", "ProjectPublisher!", "ProjectUrl!", "PerUserInstall!",
                      "InstallPath=C:\\Program Files\\Demo"}, "ZRXUnInst.exe"},
        {"all, machine", "version = \"1.4.2\"\npublisher = \"Velbor Ltd\"\nurl = \"https://example.com/demo\"\nscope = \"machine\"\n",
         {"ProjectVersion=1.4.2", "ProjectPublisher=Velbor Ltd", "ProjectUrl=https://example.com/demo", "PerUserInstall!",
          "InstallPath=C:\\Program Files\\Demo"}, "ZRXUnInst.exe"},
        {"per user", "scope = \"user\"\n",
         {"PerUserInstall?1", "InstallPath=%LOCALAPPDATA%\\Programs\\Demo", "ProjectVersion!"}, "ZRXUnInstUser.exe"},
        {"per user, own folder", "scope = \"user\"\ninstall-path = 'D:\\Tools\\Demo'\n",
         {"PerUserInstall?1", "InstallPath=D:\\Tools\\Demo"}, "ZRXUnInstUser.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string err;
        ASSERT_EQ(ExitStatus::kOk, Build(Project("install", c.keys), err)) << err;
        Packed packed(Output());
        for (const std::string& value : c.values) {
            const size_t mark = value.find_first_of("=?!");
            const std::string name = value.substr(0, mark);
            if (value[mark] == '!') {
                EXPECT_FALSE(packed.Has(name)) << value;
            } else if (value[mark] == '?') {
                EXPECT_EQ(value[mark + 1] - '0', packed.Flag(name)) << value;
            } else {
                EXPECT_EQ(value.substr(mark + 1), packed.Text(name)) << value;
            }
        }
        EXPECT_EQ(std::string("component ") + c.uninstaller, Inflated(packed.Data("ZRXUnInst.exe")));
    }
}

// The package manager's manifest names the project as its package says, and refuses what its
// fields cannot hold; the schema itself is checked by the winget end-to-end test.
TEST_F(ProjectManifestTest, WingetManifestFromThePackedFile) {
    const std::string deployment = "version = \"1.4.2\"\npublisher = \"Velbor Example Ltd\"\n";
    const struct {
        const char* what;
        std::string manifest;
        std::string identifier;
        std::string url;
        ExitStatus status;
        std::string message;  // a part of the error, or of the installer manifest
    } cases[] = {
        {"for all users", Project("install", deployment), "", "https://example.com/Demo.exe", ExitStatus::kOk,
         "Scope: machine"},
        {"per user", Project("install", deployment + "scope = \"user\"\n"), "", "https://example.com/Demo.exe",
         ExitStatus::kOk, "Scope: user"},
        {"run in place", Project("run", deployment), "", "https://example.com/Demo.exe", ExitStatus::kUsage,
         "only a project install"},
        {"no version", Project("install", "publisher = \"Velbor\"\n"), "", "https://example.com/Demo.exe",
         ExitStatus::kUsage, "has no version"},
        {"no publisher", Project("install", "version = \"1\"\n"), "", "https://example.com/Demo.exe",
         ExitStatus::kUsage, "has no publisher"},
        {"one-part identifier", Project("install", deployment), "Demo", "https://example.com/Demo.exe",
         ExitStatus::kUsage, "give --identifier"},
        {"an identifier with a blank", Project("install", deployment), "Velbor.My Demo", "https://example.com/Demo.exe",
         ExitStatus::kUsage, "give --identifier"},
        {"no web address", Project("install", deployment), "", "C:\\Demo.exe", ExitStatus::kUsage, "https://"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string err;
        ASSERT_EQ(ExitStatus::kOk, Build(c.manifest, err)) << err;
        WingetRequest request;
        request.packedPath = Output().string();
        request.folder = (dir / "winget").string();
        request.identifier = c.identifier;
        request.installerUrl = c.url;
        std::ostringstream out, errors;
        EXPECT_EQ(c.status, WriteWingetManifest(request, out, errors)) << errors.str();
        if (c.status != ExitStatus::kOk) {
            EXPECT_NE(std::string::npos, errors.str().find(c.message)) << errors.str();
            EXPECT_FALSE(fs::exists(dir / "winget"));
            continue;
        }
        const std::string installer = ReadText(dir / "winget" / "VelborExampleLtd.Demo.installer.yaml");
        std::string sha256;
        ASSERT_TRUE(FileSha256(Output().string(), sha256));
        for (const std::string& line : {c.message, "InstallerSha256: \"" + sha256 + "\"",
                                        std::string("ProductCode: \"Orvan3DDemo\""), std::string("DisplayVersion: \"1.4.2\""),
                                        std::string("- InstallerReturnCode: 3\n  ReturnResponse: diskFull")}) {
            EXPECT_NE(std::string::npos, installer.find(line)) << line << "\n" << installer;
        }
        EXPECT_NE(std::string::npos, ReadText(dir / "winget" / "VelborExampleLtd.Demo.locale.en-US.yaml")
                                         .find("Publisher: \"Velbor Example Ltd\""));
        EXPECT_TRUE(fs::exists(dir / "winget" / "VelborExampleLtd.Demo.yaml"));
        fs::remove_all(dir / "winget");
    }
    // The hash of a known text, as the standard gives it.
    WriteText(dir / "abc.txt", "abc");
    std::string sha256;
    ASSERT_TRUE(FileSha256((dir / "abc.txt").string(), sha256));
    EXPECT_EQ("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", sha256);
}

TEST_F(ProjectManifestTest, NoStartFileIsRefused) {
    fs::remove(dir / "project" / "ZRXStart.zrx");
    std::string err;
    EXPECT_EQ(ExitStatus::kUsage, Build(Project("run"), err));
    EXPECT_NE(std::string::npos, err.find(":4: project folder \"project\" has no ZRXStart.zrx")) << err;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// The same project, its files created in another order in another folder, gives the same bytes;
// so does the long form that --print-entries writes for it.
TEST_F(ProjectManifestTest, SameInputsGiveTheSameBytes) {
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build(Project("install"), err)) << err;
    for (auto file = files.rbegin(); file != files.rend(); ++file) WriteText(dir / "copy" / file->first, file->second);
    const fs::path second = dir / "out" / "Second.exe";
    ASSERT_EQ(ExitStatus::kOk,
              Build("[project]\ntype = \"install\"\nname = \"Demo\"\nfiles = \"copy\"\ncomponents = \"bin\"\n", err,
                    second))
        << err;
    EXPECT_EQ(ReadText(Output()), ReadText(second));

    std::string longForm;
    ASSERT_EQ(0, RunProgram("build --print-entries --manifest '" + (dir / "project.toml").string() + "'", longForm))
        << longForm;
    EXPECT_NE(std::string::npos, longForm.find("name = \"\\\\textures\\\\A.tex\"\nfile = \"copy/textures/A.tex\""))
        << longForm;
    const fs::path third = dir / "out" / "Third.exe";
    ASSERT_EQ(ExitStatus::kOk, Build(longForm, err, third)) << err;
    EXPECT_EQ(ReadText(Output()), ReadText(third));
}

TEST_F(ProjectManifestTest, ProgramPrintsSummaryAndJsonUnlessQuiet) {
    WriteText(dir / "project.toml", Project("run"));
    const std::string manifest = " --manifest '" + (dir / "project.toml").string() + "' -o '" + Output().string() + "'";
    std::string out;
    ASSERT_EQ(0, RunProgram("build" + manifest, out)) << out;
    EXPECT_NE(std::string::npos, out.find(": 37 entries, 6 project files (6 in 1 LZMA blocks, 0 stored; 1 workers, "))
        << out;
    EXPECT_EQ(std::string::npos, out.find('\r')) << "no progress line when not on a terminal";
    ASSERT_EQ(0, RunProgram("build --quiet" + manifest, out));
    EXPECT_EQ("", out);

    ASSERT_EQ(0, RunProgram("list --json '" + Output().string() + "'", out)) << out;
    EXPECT_EQ(0u, out.find("{\"file\": ")) << out;
    EXPECT_NE(std::string::npos, out.find("{\"section\": \"FILEINFO\", \"name\": \"ITEMNAMEID2\", \"size\": 23,")) << out;
    // An item in the blocks: its empty entry, and where the blocks hold its bytes.
    const size_t item = out.find("\"name\": \"\\\\TEXTURES\\\\B.TEX\", \"size\": 0,");
    ASSERT_NE(std::string::npos, item) << out;
    EXPECT_NE(std::string::npos, out.find("\"block\": {\"index\": 0, \"offset\": ", item)) << out;
    EXPECT_NE(std::string::npos, out.find(", \"size\": 3, \"crc32\": \"", out.find("\"block\"", item))) << out;
    EXPECT_EQ(37 + 6, std::count(out.begin(), out.end(), '{') - 1);
}

TEST_F(ProjectManifestTest, ProgressLineCountsFilesOnATerminal) {
    WriteText(dir / "project.toml", Project("run"));
    std::ostringstream messages;
    BuildRequest request{"", (dir / "project.toml").string(), Output().string()};
    request.progress = true;
    ASSERT_EQ(ExitStatus::kOk, BuildPackedFile(request, messages)) << messages.str();
    const std::string err = messages.str();
    EXPECT_NE(std::string::npos, err.find("\rchecking: 18 of 18 files, 0.0 of 0.0 MB")) << err;
    EXPECT_EQ('\r', err.back()) << "the line is erased at the end";
}

// A file of 200 MiB is streamed, stored as it is or compressed: the packer's peak memory does
// not follow it. Stored or zlib-compressed it stays far below the file; in LZMA blocks it is
// what the encoders hold side by side, which the memory budget bounds however many cores the
// machine reports (here 64, with a budget that holds one encoder: four blocks, one worker).
// Measured for this one child alone, as the kernel counts it (which includes the peak of this
// small test process, the child's image until it starts the packer).
TEST_F(ProjectManifestTest, PeakMemoryDoesNotGrowWithTheProject) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "ASan keeps freed memory in quarantine, and a spawned child is charged its parent's peak";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "ASan keeps freed memory in quarantine, and a spawned child is charged its parent's peak";
#endif
#endif
    fs::resize_file(dir / "project" / "a.txt", 200u << 20);
    WriteText(dir / "project.toml", Project("run"));
    const std::string manifest = (dir / "project.toml").string();
    const std::string output = Output().string();
    const struct {
        const char* compression;
        long peakKib;
    } cases[] = {{"store", 64 * 1024}, {"zlib", 64 * 1024}, {"lzma", 1000 * 1024}};
    std::vector<std::string> environment = {"ORVANPACK_CORES=64", "ORVANPACK_MEMORY_MIB=1000"};
    for (char** variable = environ; *variable != nullptr; ++variable) environment.push_back(*variable);
    std::vector<char*> childEnvironment;
    childEnvironment.reserve(environment.size() + 1);
    for (std::string& variable : environment) childEnvironment.push_back(variable.data());
    childEnvironment.push_back(nullptr);
    for (const auto& c : cases) {
        std::vector<const char*> args = {ORVANPACK_PATH, "build", "--quiet", "--manifest", manifest.c_str(),
                                         "-o", output.c_str(), "--compression", c.compression, nullptr};
        pid_t child = 0;
        ASSERT_EQ(0, posix_spawn(&child, ORVANPACK_PATH, nullptr, nullptr, const_cast<char* const*>(args.data()),
                                 childEnvironment.data()));
        int status = 0;
        rusage usage{};
        ASSERT_EQ(child, wait4(child, &status, 0, &usage));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_LT(usage.ru_maxrss, c.peakKib) << "peak resident KiB, " << c.compression;
        if (std::string(c.compression) == "store") {
            EXPECT_GT(fs::file_size(Output()), 200u << 20);
        } else {
            EXPECT_LT(fs::file_size(Output()), 2u << 20) << "200 MiB of zeros compress to little";
        }
    }
}

// A streamed entry's table row is written before its bytes: bytes that differ from what was
// measured (a file changed between the two reads) must fail the write, never pass unnoticed.
TEST(StreamedEntryTest, BytesOtherThanMeasuredFailTheWrite) {
    const std::string measured = "measured bytes";
    const struct {
        const char* what;
        std::string produced;
        bool sourceFails;
        const char* reason;
    } cases[] = {
        {"the same bytes", measured, false, nullptr},
        {"shorter", "measured", false, "changed while it was packed"},
        {"longer", measured + "!", false, "changed while it was packed"},
        {"same size, other bytes", "MEASURED bytes", false, "changed while it was packed"},
        {"the source fails", measured, true, "cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PackageWriter writer;
        std::string error;
        const uint32_t crc = Crc32::Update(0, measured.data(), static_cast<uint32_t>(measured.size()));
        ASSERT_TRUE(writer.AddStreamed("APPDATA", "file", measured.size(), crc,
                                       [&c](const PackageWriter::Sink& sink, std::string& why) {
                                           if (c.sourceFails) {
                                               why = "cannot read file";
                                               return false;
                                           }
                                           return sink(c.produced.data(), c.produced.size());
                                       },
                                       error));
        PackageWriter::Bytes out;
        const bool written = writer.Build(100, out, error);
        EXPECT_EQ(c.reason == nullptr, written);
        if (c.reason != nullptr) {
            EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
        }
    }
}

TEST_F(ProjectManifestTest, InitWritesAStarterThatBuilds) {
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(ExitStatus::kOk, InitProject((dir / "project").string(), dir / "bin", out, err)) << err.str();
    const fs::path starter = dir / "project.toml";
    ASSERT_TRUE(fs::is_regular_file(starter));
    EXPECT_NE(std::string::npos, ReadText(starter).find("components = \"bin\"")) << ReadText(starter);
    std::ostringstream messages;
    ASSERT_EQ(ExitStatus::kOk, BuildPackedFile({"", starter.string(), Output().string()}, messages)) << messages.str();
    Packed packed(Output());
    EXPECT_EQ(1, packed.Number("ProjectType"));
    EXPECT_EQ("project", packed.Text("ProjectName"));

    const std::string before = ReadText(starter);
    EXPECT_EQ(ExitStatus::kUsage, InitProject((dir / "project").string(), dir / "bin", out, err));
    EXPECT_EQ(before, ReadText(starter)) << "an existing manifest is never overwritten";
    EXPECT_EQ(ExitStatus::kUsage, InitProject((dir / "nowhere").string(), dir / "bin", out, err));

    // A dangling link in the manifest's place is not written through.
    fs::remove(starter);
    fs::create_symlink(dir / "elsewhere.toml", starter);
    EXPECT_EQ(ExitStatus::kUsage, InitProject((dir / "project").string(), dir / "bin", out, err));
    EXPECT_FALSE(fs::exists(dir / "elsewhere.toml"));
    EXPECT_TRUE(fs::is_symlink(starter));

    fs::remove(starter);
    ASSERT_EQ(ExitStatus::kOk, InitProject((dir / "project").string(), dir / "out", out, err));
    EXPECT_NE(std::string::npos, ReadText(starter).find("components = \"PATH/TO/COMPONENTS\"")) << "none found";
}

}  // namespace

// A stub that predates the LZMA blocks cannot carry a package that holds them: refused before
// anything is compressed, with the way out named; the same project packs behind it with zlib.
TEST_F(ProjectManifestTest, AStubWithoutTheBlockDecoderIsRefusedForBlocks) {
    WriteText(dir / "bin" / "Orvan3DExe.exe", "component Orvan3DExe.exe, built before blocks");
    std::string err;
    EXPECT_EQ(ExitStatus::kFault, Build(Project("run"), err));
    EXPECT_NE(std::string::npos, err.find("cannot decode LZMA blocks")) << err;
    EXPECT_NE(std::string::npos, err.find("--compression zlib")) << err;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_EQ(ExitStatus::kOk, Build(Project("run", "compression = \"zlib\"\n"), err)) << err;
    EXPECT_EQ(ExitStatus::kOk, Build(Project("run", "compression = \"store\"\n"), err)) << err;
    EXPECT_EQ(ExitStatus::kUsage, Build(Project("run", "compression = \"xz\"\n"), err));
    EXPECT_NE(std::string::npos, err.find(":6: unknown compression \"xz\"")) << err;
}

// verify decodes every block and item: a sound package passes, one byte of a block changed
// (the table's CRC made to match, so only decoding can tell) fails with the block named;
// extract writes the files of the blocks decoded, the short form's (named with a leading
// separator) as well as the long form's.
TEST_F(ProjectManifestTest, VerifyAndExtractDecodeTheBlocks) {
    std::string err;
    ASSERT_EQ(ExitStatus::kOk, Build(Project("run"), err)) << err;
    {
        std::ostringstream out;
        std::ostringstream messages;
        EXPECT_EQ(ExitStatus::kOk, ExtractPackage(Output().string(), (dir / "short").string(), out, messages))
            << messages.str();
        EXPECT_EQ("deep", ReadText(dir / "short" / "APPDATA" / "SCENE" / "DEEP" / "ER" / "X.SCENE"));
    }

    WriteText(dir / "project" / "scene" / "big.scene", std::string(200000, 'v') + "end");
    const std::string manifest =
        "[stub]\nfile = \"bin/Orvan3DExe.exe\"\n"
        "[[entry]]\nname = \"scene\\\\big.scene\"\nfile = \"project/scene/big.scene\"\nstore = \"lzma\"\n"
        "[[entry]]\nname = \"a.txt\"\nfile = \"project/a.txt\"\nstore = \"lzma\"\n"
        "[[entry]]\nname = \"plain.txt\"\nfile = \"project/a.txt\"\n";
    ASSERT_EQ(ExitStatus::kOk, Build(manifest, err)) << err;
    std::ostringstream out;
    std::ostringstream messages;
    ASSERT_EQ(ExitStatus::kOk, VerifyPackage(Output().string(), out, messages)) << messages.str();
    ASSERT_EQ(ExitStatus::kOk, ExtractPackage(Output().string(), (dir / "x").string(), out, messages)) << messages.str();
    // Names are stored upper-case.
    EXPECT_TRUE(std::string(200000, 'v') + "end" == ReadText(dir / "x" / "APPDATA" / "SCENE" / "BIG.SCENE"));
    EXPECT_EQ("ay", ReadText(dir / "x" / "APPDATA" / "A.TXT"));
    EXPECT_EQ("ay", ReadText(dir / "x" / "APPDATA" / "PLAIN.TXT"));

    // A stored byte in the middle of the block changed, its table CRC with it.
    std::string image = ReadText(Output());
    Packed packed(Output());
    int32_t block = -1;
    for (int32_t i = 0; i < packed.reader.EntryCount(); ++i) {
        if (std::string(packed.reader.EntryAt(i)->section) == "LZMABLOCK") block = i;
    }
    ASSERT_GE(block, 0);
    const PackageEntry& entry = *packed.reader.EntryAt(block);
    const uint64_t middle = packed.reader.EntryOffset(block) + entry.size / 2;
    image[middle] = static_cast<char>(image[middle] ^ 0x01);
    const uint32_t crc = Crc32::Update(0, image.data() + packed.reader.EntryOffset(block), entry.size);
    const size_t crcAt = image.find(std::string(reinterpret_cast<const char*>(&entry.crc), 4));
    ASSERT_NE(std::string::npos, crcAt);
    image.replace(crcAt, 4, std::string(reinterpret_cast<const char*>(&crc), 4));
    WriteText(Output(), image);
    messages.str("");
    EXPECT_EQ(ExitStatus::kFault, VerifyPackage(Output().string(), out, messages));
    EXPECT_NE(std::string::npos, messages.str().find("LZMABLOCK/0: does not decode")) << messages.str();
}
