#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testkit/ComponentPackage.h"
#include "testkit/Files.h"
#include "testkit/PackageFixture.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/Handle.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::Exists;

namespace {

constexpr DWORD kRunLimitMs = 60000;

std::vector<std::string> Lines(const std::string& path) {
    Bytes bytes;
    testkit::ReadFileBytes(path, bytes);
    std::vector<std::string> lines;
    std::string line;
    for (unsigned char c : bytes) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    return lines;
}

std::string Value(const std::vector<std::string>& lines, const std::string& key) {
    for (const auto& line : lines) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "<none>";
}

// Runs packed programs with the temporary folder pointed at a scratch folder of the test.
class RunInPlace : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        temp = scratch + "\\temp";
        ::CreateDirectoryA(temp.c_str(), nullptr);
        tempVariables.Set(temp + "\\");
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
    }
    void TearDown() override { testkit::RemoveTree(scratch); }

    std::string Pack(const testkit::PackageFixture& fixture, const std::string& name = "Project.exe") {
        const std::string path = scratch + "\\" + name;
        EXPECT_TRUE(testkit::WriteFileBytes(path, fixture.Image(stub)));
        return path;
    }
    testkit::RunResult Run(const std::string& exe) {
        return testkit::RunAndDrive(exe, "\"" + exe + "\"", kRunLimitMs);
    }
    testkit::ProjectOptions Options() {
        testkit::ProjectOptions options;
        options.note = scratch + "\\viewer-note.txt";
        return options;
    }
    std::vector<std::string> TempEntries() { return testkit::Entries(temp); }

    testkit::ScopedTemp tempVariables;
    std::string scratch;
    std::string temp;
    Bytes stub;
};

// Every file and folder below folder, for a message or to compare.
std::string Tree(const std::string& folder) { return ::testing::PrintToString(testkit::Tree(folder, true)); }

}  // namespace

TEST_F(RunInPlace, ExtractsRunsTheViewerInTheRunFolderAndLeavesNothing) {
    const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), Options());
    const auto run = Run(Pack(package.fixture));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));

    const auto note = Lines(scratch + "\\viewer-note.txt");
    const std::string runFolder = Value(note, "folder");
    EXPECT_EQ(runFolder.substr(0, temp.size() + 1), temp + "\\");
    EXPECT_TRUE(testkit::IsRunFolderName(runFolder.substr(temp.size() + 1))) << runFolder;
    EXPECT_EQ(Value(note, "module"), runFolder + "\\OrvanViewer.exe");
    EXPECT_EQ(Value(note, "command"), "OrvanViewer.exe ZRXStart.zrx");
    EXPECT_EQ(Value(note, "title"), "Test Project");
    std::vector<std::string> seen;
    for (const auto& line : note) {
        if (line.rfind("file=", 0) == 0) seen.push_back(line.substr(5));
    }
    for (const auto& file : package.files) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), file), seen.end()) << file << " was not there while the viewer ran";
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), "cache\\textures\\mip\\t0-1.bin"), seen.end());
    EXPECT_TRUE(TempEntries().empty()) << "the run folder and the viewer's cache are gone: " << Tree(temp);
}

// Folders named like run folders are some other run's, or someone else's: never used, never
// touched. Wine makes no junction; a symbolic link of the Unix side shows as a folder with a
// reparse point, which is what a junction looks like to the program; one to a file shows as
// that file.
TEST_F(RunInPlace, ARunUsesOnlyAFolderOfItsOwnAndLeavesOthersAsTheyAre) {
    const std::string victim = scratch + "\\victim";
    ASSERT_TRUE(::CreateDirectoryA(victim.c_str(), nullptr));
    const std::string target = scratch + "\\target.txt";
    ASSERT_TRUE(testkit::WriteFileBytes(target, Bytes{'m', 'i', 'n', 'e'}));
    ::CreateDirectoryA((temp + "\\Orvan3D0").c_str(), nullptr);
    testkit::WriteFileBytes(temp + "\\Orvan3D0\\enginecore.dll", Bytes{1});
    ::CreateDirectoryA((temp + "\\Orvan3D1").c_str(), nullptr);
    testkit::WriteFileBytes(temp + "\\Orvan3D1\\left-over.txt", Bytes{2});
    ASSERT_TRUE(testkit::MakeHostLink(temp + "\\Orvan3D2", victim));
    // A planted lock: a run that claimed the folder through it would delete what it leads to.
    ::CreateDirectoryA((temp + "\\Orvan3D3").c_str(), nullptr);
    ASSERT_TRUE(testkit::MakeHostLink(temp + "\\Orvan3D3\\Orvan3D.lock", target));
    const std::string before = Tree(temp);

    const auto run = Run(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), Options()).fixture));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
    const std::string folder = Value(Lines(scratch + "\\viewer-note.txt"), "folder");
    EXPECT_TRUE(testkit::IsRunFolderName(folder.substr(folder.find_last_of('\\') + 1))) << folder;
    EXPECT_EQ(Tree(temp), before) << "the run's own folder is gone, the others are as they were";
    Bytes kept;
    EXPECT_TRUE(testkit::ReadFileBytes(target, kept) && kept == (Bytes{'m', 'i', 'n', 'e'})) << "the lock's target";
    EXPECT_TRUE(testkit::Tree(victim).empty());
    testkit::RemoveHostLink(temp + "\\Orvan3D3\\Orvan3D.lock");
}

TEST_F(RunInPlace, APlantedViewerBesideTheProgramIsNotRun) {
    // Any program named like the viewer next to the download: here a copy of the UI driver.
    ASSERT_TRUE(::CopyFileA((testkit::OwnFolder() + "\\orvan_drive.exe").c_str(), (scratch + "\\OrvanViewer.exe").c_str(),
                            FALSE));
    const auto run = Run(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), Options()).fixture));
    EXPECT_EQ(run.exitCode, 0u);
    const auto note = Lines(scratch + "\\viewer-note.txt");
    EXPECT_EQ(Value(note, "module"), Value(note, "folder") + "\\OrvanViewer.exe");
    EXPECT_EQ(Value(note, "folder").rfind(temp + "\\Orvan3D", 0), 0u) << Value(note, "folder");
}

TEST_F(RunInPlace, AViewerEndingWithCode259DoesNotHangTheProgram) {
    auto options = Options();
    options.exitCode = 259;
    const auto run = Run(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(TempEntries().empty());
}

TEST_F(RunInPlace, FailuresShowTheirBoxesAndStopTheRun) {
    struct Case {
        const char* what;
        testkit::ProjectOptions options;
        std::vector<std::string> boxes;
    };
    auto noCheck = Options();
    noCheck.withCheckDx8 = false;
    auto noViewer = Options();
    noViewer.withViewer = false;
    auto noLoader = Options();
    noLoader.substitutes["channels\\ChunkLoader.dll"] = "3rd\\msvcr71.dll";
    auto notAProgram = Options();
    notAProgram.substitutes["OrvanViewer.exe"] = "channels\\ChunkSaver.dll";
    const Case cases[] = {
        {"CheckDx8 missing", noCheck, {"Can't find project type CheckDx8 / Error"}},
        {"viewer missing", noViewer, {"OrvanViewer.exe / Could not find resource", "OrvanViewer.exe not found / P"}},
        {"file loader not created", noLoader, {"Can't init fileloader / P"}},
        // A viewer that cannot be started still gets the run cleaned up.
        {"viewer cannot start", notAProgram, {"Unable to start orvanviewer.exe / 193"}},
    };
    for (const Case& c : cases) {
        const auto run = Run(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), c.options).fixture));
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        EXPECT_EQ(Boxes(run), c.boxes) << c.what;
        // Whatever stopped it, the run leaves nothing of its folder.
        EXPECT_TRUE(TempEntries().empty()) << c.what << ": " << ::testing::PrintToString(TempEntries());
        testkit::RemoveTree(temp);
        ::CreateDirectoryA(temp.c_str(), nullptr);
    }
}

TEST_F(RunInPlace, CheckDx8WithoutDirectXStopsBeforeAnythingIsExtracted) {
    // The machine's DirectX version, set to an older one for this run and put back after.
    auto options = Options();
    options.checkDx8 = true;
    testkit::RunResult run;
    {
        testkit::DirectXVersion directX("4.08.01.0810");
        run = Run(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture));
    }
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text,
              "DirectX 9.0C or higher was not detected on this system\n\rPlease install DirectX 9.0C or higher for "
              "this application to run.");
    EXPECT_EQ(run.boxes[0].caption, "DirectX version check error");
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_TRUE(TempEntries().empty()) << "nothing extracted";
}

TEST_F(RunInPlace, TheEngineFindsItsLibrariesOnlyInTheRunFolder) {
    // The test engine imports the probe by name; the probe notes every copy of it that loads.
    const std::string probe = "4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll";
    const std::string start = scratch + "\\start";
    ::CreateDirectoryA(start.c_str(), nullptr);
    const std::string built = testkit::OwnFolder() + "\\probe\\" + probe;
    struct Copy {
        const char* where;
        std::string path;
    };
    const Copy planted[] = {
        {"beside the downloaded program", scratch + "\\" + probe},
        {"in the folder it was started from", start + "\\" + probe},
    };
    for (const Copy& copy : planted) ASSERT_TRUE(::CopyFileA(built.c_str(), copy.path.c_str(), FALSE)) << copy.where;
    const std::string log = scratch + "\\probe-log.txt";
    ::SetEnvironmentVariableA("ORVAN_PROBE_LOG", log.c_str());

    auto options = Options();
    options.substitutes["EngineCore.dll"] = "probe\\EngineCore.dll";
    options.substitutes["channels\\" + probe] = "probe\\" + probe;
    const std::string exe = Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), options).fixture);
    const auto run = testkit::RunAndDrive(exe, "\"" + exe + "\"", kRunLimitMs, testkit::PressOk, start);
    ::SetEnvironmentVariableA("ORVAN_PROBE_LOG", nullptr);

    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
    const auto loaded = Lines(log);
    // The program loads the engine twice (extraction, clean-up) and the viewer once.
    EXPECT_GE(loaded.size(), 3u) << "the packed probe was loaded with each engine";
    const std::string packed = Value(Lines(scratch + "\\viewer-note.txt"), "folder") + "\\channels\\" + probe;
    for (const auto& line : loaded) EXPECT_EQ(_stricmp(line.c_str(), packed.c_str()), 0) << line;
    for (const Copy& copy : planted) {
        EXPECT_EQ(std::count_if(loaded.begin(), loaded.end(),
                                [&](const std::string& line) { return _stricmp(line.c_str(), copy.path.c_str()) == 0; }),
                  0)
            << "the copy " << copy.where << " was loaded";
    }
}

// Holds every thread of a process, as a busy machine may hold it between two of its steps.
class HeldProcess {
public:
    explicit HeldProcess(DWORD id) : process(::OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, id)) {
        if (process) held = Call("NtSuspendProcess");
    }
    ~HeldProcess() {
        if (held) Call("NtResumeProcess");
    }
    bool Held() const { return held; }

private:
    bool Call(const char* name) {
        using Function = LONG(WINAPI*)(HANDLE);
        auto function = reinterpret_cast<Function>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), name)));
        return function != nullptr && function(process.get()) == 0;
    }
    win::Handle process;
    bool held = false;
};

TEST_F(RunInPlace, TwoStartsAtOnceEachGetTheirOwnRunFolder) {
    // The second starts while the first has made its run folder but holds no engine library
    // there yet: the first is held still from the moment its folder appears until the second
    // has run to its end.
    struct Start {
        std::string note;
        std::string exe;
        testkit::ChildProcess process;
    } starts[2];
    testkit::ComponentPackage package;
    for (int i = 0; i < 2; ++i) {
        auto options = Options();
        options.note = scratch + "\\viewer-note-" + std::to_string(i) + ".txt";
        package = testkit::MakeComponentPackage(testkit::OwnFolder(), options);
        starts[i].note = options.note;
        starts[i].exe = Pack(package.fixture, "Project" + std::to_string(i) + ".exe");
    }
    ASSERT_TRUE(starts[0].process.Start(starts[0].exe, "\"" + starts[0].exe + "\""));
    const DWORD begin = ::GetTickCount();
    // The claim, not just the folder: held between the two, the first would own a folder
    // the second may also claim.
    auto claimed = [&] {
        const auto folders = testkit::RunFolders(temp);
        return !folders.empty() && Exists(folders[0] + "\\Orvan3D.lock");
    };
    while (!claimed() && ::GetTickCount() - begin < kRunLimitMs) ::Sleep(1);
    {
        HeldProcess first(starts[0].process.Id());
        ASSERT_TRUE(first.Held());
        ASSERT_TRUE(starts[1].process.Start(starts[1].exe, "\"" + starts[1].exe + "\""));
        EXPECT_TRUE(starts[1].process.Wait(kRunLimitMs)) << "the second run did not end";
    }
    std::vector<std::string> folders;
    for (auto& start : starts) {
        EXPECT_TRUE(start.process.Wait(kRunLimitMs)) << start.exe;
        EXPECT_EQ(start.process.ExitCode(), 0u) << start.exe;
        const auto note = Lines(start.note);
        folders.push_back(Value(note, "folder"));
        std::vector<std::string> seen;
        for (const auto& line : note) {
            if (line.rfind("file=", 0) == 0) seen.push_back(line.substr(5));
        }
        for (const auto& file : package.files) {
            EXPECT_NE(std::find(seen.begin(), seen.end(), file), seen.end()) << file << " missing for " << start.exe;
        }
    }
    EXPECT_NE(folders[0], "<none>");
    EXPECT_NE(folders[1], "<none>");
    EXPECT_NE(folders[0], folders[1]) << "both runs in " << folders[0];
    EXPECT_TRUE(TempEntries().empty()) << "both run folders are gone: " << Tree(temp);
}

// Folders named outside the system's ANSI code page, where narrow calls give "?" for the
// letters: a Russian user's temporary folder, and a download folder a Polish user started the
// program from.
TEST_F(RunInPlace, RunsFromFoldersNamedOutsideTheAnsiCodePage) {
    const std::string profile = u8"C:\\users\\Пётр";
    const std::string downloads = u8"C:\\Łukasz\\Downloads";
    BOOL lossy = FALSE;
    const std::wstring names = testkit::Widen(profile + downloads);
    char narrow[MAX_PATH];
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, names.c_str(), -1, narrow, sizeof(narrow), nullptr, &lossy);
    if (!lossy) GTEST_SKIP() << "this code page holds the names: nothing to show";
    // Left by an earlier run that stopped half way.
    testkit::RemoveTreeWide(profile);
    testkit::RemoveTreeWide(u8"C:\\Łukasz");
    const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), Options());
    const std::string exe = Pack(package.fixture);
    struct Case {
        const char* what;
        std::string temp;
        std::string exe;
    } cases[] = {
        {"temporary folder", profile + "\\Temp", exe},
        {"program's folder", temp, downloads + "\\Project.exe"},
    };
    ASSERT_TRUE(testkit::MakeFoldersWide(downloads));
    ASSERT_TRUE(::CopyFileW(testkit::Widen(exe).c_str(), testkit::Widen(cases[1].exe).c_str(), FALSE));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testkit::MakeFoldersWide(c.temp));
        ::DeleteFileA(Options().note.c_str());
        testkit::RunResult run;
        {
            const testkit::ScopedTemp scopedTemp(c.temp + "\\");
            run = Run(c.exe);
        }
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
        const auto note = Lines(Options().note);
        EXPECT_EQ(Value(note, "title"), "Test Project") << "the viewer ran on the project";
        size_t seen = 0;
        for (const auto& line : note) seen += line.rfind("file=", 0) == 0 ? 1 : 0;
        EXPECT_GE(seen, package.files.size());
        const std::string folder = Value(note, "folder");
        EXPECT_TRUE(testkit::IsRunFolderName(folder.substr(folder.find_last_of('\\') + 1))) << folder;
        EXPECT_FALSE(Exists(folder)) << "the run folder is removed";
    }
    testkit::RemoveTreeWide(profile);
    testkit::RemoveTreeWide(u8"C:\\Łukasz");
}
