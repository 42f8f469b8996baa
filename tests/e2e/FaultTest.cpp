// Faults on disk and in the environment, with the packed program under Wine: files locked by
// another process, a read-only target, a disk that fills up, a missing or very long temporary
// path, a huge PATH, folders with spaces and non-ASCII letters, names at their limits. The
// program must report the failure, never report success for what it did not install, and
// leave no cut file behind.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "testkit/ComponentPackage.h"
#include "testkit/Controls.h"
#include "testkit/Files.h"
#include "testkit/InstalledContents.h"
#include "testkit/InstallPackage.h"
#include "testkit/PackageFixture.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "tests/e2e/ProjectInstallFixture.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

using testkit::Exists;
using testkit::kCopyErrorBox;
using testkit::kInstallSuccessText;
using testkit::kTestUninstallKey;
using testkit::Tree;
// Mapped by scripts/fault-drives.sh where the machine allows mounts.
constexpr char kSmallDrive[] = "Q:\\";
constexpr char kReadOnlyDrive[] = "R:\\";

// Runs the packed program; an options dialog is answered with folder and Install, message
// boxes with OK.
testkit::RunResult Drive(const std::string& exe, const std::string& folder = "") {
    testkit::DriveOptions options;
    options.onOptions = testkit::InstallInto(folder);
    return testkit::Drive(exe, options);
}

// The exit code of a silent install of exe into folder.
DWORD SilentExitCode(const std::string& exe, const std::string& folder) {
    testkit::DriveOptions options;
    options.commandLine = "\"" + exe + "\" /S /D=" + folder;
    return testkit::Drive(exe, options).exitCode;
}

bool UninstallEntryExists(const std::string& projectName = "Test Project") {
    return testkit::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D" + projectName);
}

// Files below folder (names as the package gives them, a leading separator allowed) whose
// content on disk differs from the package's: a cut file left behind.
std::vector<std::string> CutFiles(const std::string& folder, const std::vector<std::pair<std::string, Bytes>>& files,
                                  const std::string& notOurs = "") {
    std::vector<std::string> cut;
    for (const auto& file : files) {
        const std::string name = file.first[0] == '\\' ? file.first.substr(1) : file.first;
        if (name == notOurs) continue;
        Bytes onDisk;
        if (testkit::ReadFileBytes(folder + "\\" + name, onDisk) && onDisk != file.second) cut.push_back(name);
    }
    return cut;
}

// Holds a file open without sharing, as a running program holds its own.
class LockedFile {
public:
    explicit LockedFile(const std::string& path)
        : file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {
        DWORD written = 0;
        if (file) ::WriteFile(file.get(), "mine", 4, &written, nullptr);
    }
    bool Held() const { return static_cast<bool>(file); }

private:
    win::FileHandle file;
};

using InstallPackageFiles = std::vector<std::pair<std::string, Bytes>>;

class Faults : public e2e::ProjectInstall {
protected:
    Faults() : e2e::ProjectInstall("Target") {}
    void SetUp() override {
        e2e::ProjectInstall::SetUp();
        temp = scratch + "\\temp";
        ::CreateDirectoryA(temp.c_str(), nullptr);
        savedPath = testkit::Environment("PATH");
        SetTemp(temp + "\\");
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("PATH", savedPath.c_str());
        e2e::ProjectInstall::TearDown();
    }
    // Narrow paths, as this file's paths are (ScopedTemp takes UTF-8).
    void SetTemp(const std::string& tmp, const std::string& alsoTemp = "") {
        tempVariables.Set(testkit::Utf8FromAnsi(tmp), testkit::Utf8FromAnsi(alsoTemp));
    }
    testkit::InstallOptions InstallOptions() const {
        testkit::InstallOptions options = Options();
        options.note.clear();
        return options;
    }
    testkit::ProjectOptions RunOptions() const {
        testkit::ProjectOptions options;
        options.note = scratch + "\\viewer-note.txt";
        return options;
    }
    // A failed installation: boxes as given, no success, no record, no uninstall entry.
    void ExpectFailedInstall(const testkit::RunResult& run, const std::string& folder, const InstallPackageFiles& files,
                             const std::vector<std::string>& boxes, const char* what, const std::string& notOurs = "") {
        EXPECT_FALSE(run.timedOut) << what;
        EXPECT_EQ(run.exitCode, 0u) << what;
        EXPECT_EQ(Boxes(run), boxes) << what;
        EXPECT_FALSE(Exists(folder + "\\uninstall.nfo")) << what;
        EXPECT_FALSE(UninstallEntryExists()) << what;
        EXPECT_TRUE(CutFiles(folder, files, notOurs).empty())
            << what << ": " << ::testing::PrintToString(CutFiles(folder, files, notOurs));
    }
    std::string temp;
    testkit::ScopedTemp tempVariables;
    std::string savedPath;
};

// The small drive, or a reason to skip.
bool SmallDrive(const char* root, ULONGLONG& total, ULONGLONG& free) {
    ULARGE_INTEGER available{}, all{}, unused{};
    if (!::GetDiskFreeSpaceExA(root, &available, &all, &unused)) return false;
    total = all.QuadPart;
    free = available.QuadPart;
    return total > 0 && total <= 64ull * 1024 * 1024;
}

// Fills the drive until about `leave` bytes are free; the filler file is returned for removal.
std::string Fill(const char* root, ULONGLONG leave) {
    const std::string filler = std::string(root) + "filler.bin";
    ::DeleteFileA(filler.c_str());
    ULONGLONG total = 0, free = 0;
    SmallDrive(root, total, free);
    if (free > leave) {
        win::FileHandle file(::CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        const Bytes block(65536, 0x5A);
        ULONGLONG left = free - leave;
        while (file && left > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<ULONGLONG>(left, block.size()));
            DWORD written = 0;
            if (!::WriteFile(file.get(), block.data(), chunk, &written, nullptr) || written == 0) break;
            left -= written;
        }
    }
    return filler;
}

}  // namespace

TEST_F(Faults, AFileLockedInTheTargetStopsTheInstallWithTheCopyError) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
    const std::string target = scratch + "\\Target";
    ::CreateDirectoryA(target.c_str(), nullptr);
    struct Case {
        const char* locked;
    } cases[] = {{"EngineCore.dll"}, {"media\\textures\\wood.bin"}};
    for (const Case& c : cases) {
        testkit::RemoveTree(target);
        ::CreateDirectoryA(target.c_str(), nullptr);
        ::CreateDirectoryA((target + "\\media").c_str(), nullptr);
        ::CreateDirectoryA((target + "\\media\\textures").c_str(), nullptr);
        testkit::RunResult run;
        {
            LockedFile lock(target + "\\" + c.locked);
            ASSERT_TRUE(lock.Held());
            run = Drive(Pack(package.fixture), target);
        }
        ExpectFailedInstall(run, target, package.files, {kCopyErrorBox}, c.locked, c.locked);
        Bytes mine;
        ASSERT_TRUE(testkit::ReadFileBytes(target + "\\" + c.locked, mine));
        EXPECT_EQ(std::string(mine.begin(), mine.end()), "mine") << "the other program's file is untouched";
        RemoveTraces();
    }
}

TEST_F(Faults, AFileLockedInALeftOverRunFolderDoesNotStopTheRun) {
    // A folder named like a run folder, one of its files in use: never taken for this run's own.
    const std::string leftOver = temp + "\\Orvan3D0";
    ::CreateDirectoryA(leftOver.c_str(), nullptr);
    ::CreateDirectoryA((leftOver + "\\media").c_str(), nullptr);
    testkit::RunResult run;
    {
        LockedFile lock(leftOver + "\\media\\scene.dat");
        ASSERT_TRUE(lock.Held());
        run = Drive(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions()).fixture, "Project.exe"));
    }
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Boxes(run).empty()) << ::testing::PrintToString(Boxes(run));
    EXPECT_TRUE(Exists(scratch + "\\viewer-note.txt")) << "the project ran";
    EXPECT_EQ(Tree(temp), std::vector<std::string>{"Orvan3D0\\media\\scene.dat"});
}

TEST_F(Faults, AReadOnlyTargetInstallsNothing) {
    ULONGLONG total = 0, free = 0;
    if (!SmallDrive(kReadOnlyDrive, total, free)) GTEST_SKIP() << "no read-only drive R: (this machine allows no mount)";
    const std::string target = std::string(kReadOnlyDrive) + "Target";
    ASSERT_TRUE(Exists(target));
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
    const auto run = Drive(Pack(package.fixture), target);
    // The viewer, the first file, cannot be extracted: the mode's own box for it.
    ExpectFailedInstall(run, target, package.files, {"OrvanViewer.exe not found / P"}, "read-only");
    EXPECT_TRUE(Tree(target).empty());
    EXPECT_EQ(SilentExitCode(Pack(package.fixture), target), 5u) << "the folder refused";
}

TEST_F(Faults, ADiskFillingUpNeverEndsInSuccessNorLeavesACutFile) {
    ULONGLONG total = 0, free = 0;
    if (!SmallDrive(kSmallDrive, total, free)) GTEST_SKIP() << "no small drive Q: (this machine allows no mount)";
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
    ULONGLONG needed = 0;
    for (const auto& file : package.files) needed += file.second.size();
    ASSERT_LT(needed * 2, total) << "the drive is too small for the test";
    const std::string target = std::string(kSmallDrive) + "Target";
    // Too little space for the package's bytes is refused before the first write; otherwise the
    // disk fills during the engine files, the channel items or the last project file, and the
    // install is taken back.
    const std::string refused = target + "\n\nThere is not enough free space on this drive for the installation. / "
                                         "Installation Error";
    for (double share : {0.1, 0.6, 0.9}) {
        const std::string what = "space for " + std::to_string(static_cast<int>(share * 100)) + "%";
        const std::string filler = Fill(kSmallDrive, static_cast<ULONGLONG>(needed * share));
        const auto run = Drive(Pack(package.fixture), target);
        EXPECT_FALSE(run.timedOut) << what;
        EXPECT_EQ(run.exitCode, 0u) << what;
        const std::vector<std::string> boxes = Boxes(run);
        EXPECT_TRUE(std::find(boxes.begin(), boxes.end(), std::string(kInstallSuccessText) + " / Test Project") ==
                    boxes.end())
            << what;
        ASSERT_FALSE(boxes.empty()) << what;
        EXPECT_TRUE(boxes.back() == kCopyErrorBox || boxes.back() == "OrvanViewer.exe not found / P" ||
                    boxes == std::vector<std::string>{refused})
            << what << ": " << ::testing::PrintToString(boxes);
        EXPECT_FALSE(Exists(target)) << what << ": " << ::testing::PrintToString(Tree(target, true));
        EXPECT_FALSE(UninstallEntryExists()) << what;
        testkit::RemoveTree(target);
        EXPECT_EQ(SilentExitCode(Pack(package.fixture), target), 3u) << what << ": not enough disk space";
        testkit::RemoveTree(target);
        ::DeleteFileA(filler.c_str());
        RemoveTraces();
    }

    // Run in place with the temporary folder on the full drive.
    SetTemp(kSmallDrive);
    const auto runPackage = testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions());
    const std::string filler = Fill(kSmallDrive, needed / 2);
    const auto run = Drive(Pack(runPackage.fixture, "Project.exe"));
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::string> boxes = Boxes(run);
    ASSERT_FALSE(boxes.empty());
    // Refused before the first write when not even the package's bytes fit, else stopped with
    // the copy error.
    const std::string refusal = "\n\nThere is not enough free space on this drive for the installation. / Installation Error";
    const std::string& last = boxes.back();
    EXPECT_TRUE(last == kCopyErrorBox || (boxes.size() == 1 && last.size() > refusal.size() &&
                                          last.compare(last.size() - refusal.size(), refusal.size(), refusal) == 0))
        << ::testing::PrintToString(boxes);
    EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << "the project is not run incomplete";
    for (const auto& folder : testkit::RunFolders(std::string(kSmallDrive, 2))) testkit::RemoveTree(folder);
    ::DeleteFileA(filler.c_str());
}

TEST_F(Faults, AMissingTemporaryFolderIsMadeForTheRunAndRemovedWithIt) {
    SetTemp(scratch + "\\no such folder\\");
    const auto run = Drive(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions()).fixture, "Project.exe"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Boxes(run).empty()) << ::testing::PrintToString(Boxes(run));
    EXPECT_TRUE(Exists(scratch + "\\viewer-note.txt")) << "the project ran";
    EXPECT_FALSE(Exists(scratch + "\\no such folder"))
        << "what the run made is gone again: " << ::testing::PrintToString(Tree(scratch + "\\no such folder"));
}

TEST_F(Faults, ATemporaryPathNearItsLimitNeverPutsTheRunFolderBesideIt) {
    // Folders nested until the path has the length wanted, trailing separator included.
    auto deepFolder = [&](size_t length) {
        std::string folder = scratch + "\\deep";
        ::CreateDirectoryA(folder.c_str(), nullptr);
        while (folder.size() + 1 < length) {
            const size_t room = length - folder.size() - 2;
            folder += "\\" + std::string(std::min<size_t>(room, 100), 'd');
            const std::wstring wide(folder.begin(), folder.end());
            ::CreateDirectoryW((L"\\\\?\\" + wide).c_str(), nullptr);
        }
        return folder + "\\";
    };
    const auto package = testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions());
    // The platform hands out temporary paths up to its own limit (MAX_PATH); a longer TMP makes
    // it fall back to another folder. Either way the run folder lies in the folder it is given,
    // and a run either runs whole and is cleaned up or stops with the program's boxes.
    for (size_t length : {250, 259, 395}) {
        testkit::RemoveTree(scratch + "\\deep");
        ::DeleteFileA((scratch + "\\viewer-note.txt").c_str());
        const std::string tmp = deepFolder(length);
        ASSERT_EQ(tmp.size(), length);
        SetTemp(tmp);
        char given[MAX_PATH + 1] = {};
        if (::GetTempPathA(sizeof(given), given) > MAX_PATH) given[0] = '\0';
        const std::string givenPath = given;
        const std::string parent =
            givenPath.empty() ? "" : givenPath.substr(0, givenPath.find_last_of('\\', givenPath.size() - 2));
        const auto parentBefore = testkit::Entries(parent);
        const auto run = Drive(Pack(package.fixture, "Project.exe"));
        EXPECT_FALSE(run.timedOut) << length;
        EXPECT_EQ(run.exitCode, 0u) << length;
        const bool ran = Exists(scratch + "\\viewer-note.txt");
        if (given[0] == '\0') {
            // A temporary path with no room for the run folder: the run does not start, and
            // says why rather than end without a word.
            EXPECT_FALSE(ran) << length;
            EXPECT_EQ(Boxes(run),
                      std::vector<std::string>{"The temporary folder is too long to run this project from. / " + tmp})
                << length;
            EXPECT_TRUE(testkit::Entries(tmp).empty()) << length;
            continue;
        }
        if (ran) {
            EXPECT_TRUE(Boxes(run).empty()) << length << ": " << ::testing::PrintToString(Boxes(run));
            EXPECT_TRUE(testkit::Entries(given).empty()) << length << ": the run folder is removed";
        } else {
            EXPECT_FALSE(Boxes(run).empty()) << length << ": a run that stops says so";
        }
        for (const auto& box : Boxes(run)) {
            EXPECT_TRUE(box == "OrvanViewer.exe not found / P" || box == kCopyErrorBox ||
                        box == "The temporary folder is too long to run this project from. / " + givenPath ||
                        box.find("\n\nThe path of this item in the installation folder is too long.") != std::string::npos)
                << length << ": " << box;
        }
        EXPECT_EQ(testkit::Entries(parent), parentBefore) << length << ": nothing beside the temporary folder (" << given << ")";
        std::printf("TMP of %u characters: temporary path of %u, %s, boxes %s\n", static_cast<unsigned>(length),
                    static_cast<unsigned>(std::strlen(given)), ran ? "ran" : "stopped",
                    ::testing::PrintToString(Boxes(run)).c_str());
        for (const auto& folder : testkit::RunFolders(givenPath.substr(0, givenPath.size() - 1))) testkit::RemoveTree(folder);
    }
}

TEST_F(Faults, APathOf32000CharactersStillRunsTheProject) {
    std::string path = savedPath;
    while (path.size() < 32000) path += ";C:\\unused\\folder";
    path.resize(32000);
    ASSERT_TRUE(::SetEnvironmentVariableA("PATH", path.c_str()));
    const auto run = Drive(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions()).fixture, "Project.exe"));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Boxes(run).empty()) << ::testing::PrintToString(Boxes(run));
    EXPECT_TRUE(Exists(scratch + "\\viewer-note.txt")) << "the project ran";
    EXPECT_TRUE(Tree(temp).empty());
}

TEST_F(Faults, FoldersWithSpacesAndAnsiLettersWork) {
    // Letters of the ANSI code page beyond ASCII (in 1252: U with diaeresis, e acute, o slash).
    const std::string letters = "\xDC\xE9\xF8";
    const std::string target = scratch + "\\Mein Ordner " + letters;
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
    // Typed as a user types it; the checks below name it through narrow calls.
    const auto run = Drive(Pack(package.fixture), testkit::Utf8FromAnsi(target));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Test Project"}));
    for (const auto& file : package.files) {
        Bytes onDisk;
        const std::string name = file.first[0] == '\\' ? file.first.substr(1) : file.first;
        EXPECT_TRUE(testkit::ReadFileBytes(target + "\\" + name, onDisk) && onDisk == file.second) << name;
    }
    EXPECT_TRUE(Exists(target + "\\uninstall.nfo"));
    EXPECT_TRUE(UninstallEntryExists());
    RemoveTraces();

    // Run in place from a temporary folder of that kind.
    const std::string tmp = scratch + "\\Temp " + letters;
    ::CreateDirectoryA(tmp.c_str(), nullptr);
    SetTemp(tmp + "\\");
    const auto runInPlace =
        Drive(Pack(testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions()).fixture, "Project.exe"));
    EXPECT_EQ(runInPlace.exitCode, 0u);
    EXPECT_TRUE(Boxes(runInPlace).empty()) << ::testing::PrintToString(Boxes(runInPlace));
    EXPECT_TRUE(Exists(scratch + "\\viewer-note.txt")) << "the project ran";
    EXPECT_TRUE(Tree(tmp).empty());
}

TEST_F(Faults, ProjectNamesAtTheLimit) {
    // 258 characters and the zero: the longest name the program reads.
    auto options = InstallOptions();
    options.projectName = std::string(258, 'n');
    const std::string target = scratch + "\\Target";
    auto run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), target);
    EXPECT_EQ(run.exitCode, 0u);
    // The uninstall entry's key name "Orvan3D" + the name is longer than the registry allows
    // (255): the program says so, and an installation nobody could remove is taken back.
    ASSERT_EQ(Boxes(run).size(), 1u) << ::testing::PrintToString(Boxes(run));
    EXPECT_EQ(Boxes(run)[0].rfind("Error can't write in registry / ", 0), 0u) << Boxes(run)[0];
    EXPECT_FALSE(Exists(target)) << ::testing::PrintToString(Tree(target, true));
    EXPECT_FALSE(UninstallEntryExists(options.projectName));
    RemoveTraces();
    testkit::RemoveTree(target);

    // One more does not fit: the value counts as damaged and nothing is installed.
    options.projectName = std::string(259, 'n');
    run = Drive(Pack(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture), target);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Boxes(run), (std::vector<std::string>{"Crc error corrupt file / PROJECTNAME",
                                                    "Can't find project type ProjectName / Error"}));
    EXPECT_FALSE(run.dialogSeen);
    EXPECT_FALSE(Exists(target));
}

TEST_F(Faults, AReinstallWithADamagedEntryLeavesTheInstalledFileAsItWas) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
    const std::string target = scratch + "\\Target";
    const auto first = Drive(Pack(package.fixture), target);
    ASSERT_EQ(Boxes(first), (std::vector<std::string>{std::string(kInstallSuccessText) + " / Test Project"}));

    // The same package with one byte of a project file flipped, as on a bad download.
    const Bytes& wood = package.files.back().second;
    ASSERT_EQ(package.files.back().first, "\\media\\textures\\wood.bin");
    Bytes image = package.fixture.Image(stub);
    const auto at = std::search(image.begin(), image.end(), wood.begin(), wood.end());
    ASSERT_NE(at, image.end());
    at[wood.size() / 2] ^= 0x01;
    const std::string damaged = scratch + "\\Damaged.exe";
    ASSERT_TRUE(testkit::WriteFileBytes(damaged, image));
    const auto second = Drive(damaged, target);
    EXPECT_FALSE(second.timedOut);

    Bytes onDisk;
    ASSERT_TRUE(testkit::ReadFileBytes(target + "\\media\\textures\\wood.bin", onDisk)) << "the installed file is gone";
    EXPECT_TRUE(onDisk == wood) << "the installed file was changed";
    EXPECT_TRUE(CutFiles(target, package.files).empty()) << ::testing::PrintToString(CutFiles(target, package.files));
    for (const auto& name : Tree(target)) EXPECT_NE(name.back(), '~') << "a temporary file stayed: " << name;
}

TEST_F(Faults, ADamagedItemStopsTheModeWithItsCrcBoxAndTheCopyErrorOnly) {
    const std::string target = scratch + "\\Target";
    const std::string channelItem = "\\channels\\scene.chn";
    const std::string projectFile = "\\media\\scene.dat";
    auto crcBox = [](std::string name) { return "Crc error corrupt file / " + testkit::UpperCase(name); };
    struct Case {
        const char* what;
        bool install;
        std::vector<std::string> damaged;
        std::string firstBox;
        std::string secondBox = kCopyErrorBox;
    } cases[] = {
        {"install, a project file", true, {projectFile}, crcBox(projectFile)},
        {"install, a channel item and a project file", true, {channelItem, projectFile}, crcBox(channelItem)},
        {"run, a channel item and a project file", false, {channelItem, projectFile}, crcBox(channelItem)},
        // The viewer has a box of its own.
        {"run, the viewer", false, {"OrvanViewer.exe"}, crcBox("OrvanViewer.exe"), "OrvanViewer.exe not found / P"},
        {"run, an engine file", false, {"channels\\FolderScan.dll"}, crcBox("channels\\FolderScan.dll")},
    };
    for (const Case& c : cases) {
        ::DeleteFileA((scratch + "\\viewer-note.txt").c_str());
        testkit::InstallPackage install;
        if (c.install) install = testkit::MakeInstallPackage(testkit::OwnFolder(), InstallOptions());
        Bytes image = c.install ? install.fixture.Image(stub)
                                : testkit::MakeComponentPackage(testkit::OwnFolder(), RunOptions()).fixture.Image(stub);
        for (const auto& name : c.damaged) ASSERT_TRUE(testkit::DamageEntry(image, name)) << c.what << ": " << name;
        const std::string exe = scratch + (c.install ? "\\Setup.exe" : "\\Project.exe");
        ASSERT_TRUE(testkit::WriteFileBytes(exe, image));
        const auto run = Drive(exe, target);
        if (c.install) {
            ExpectFailedInstall(run, target, install.files, {c.firstBox, c.secondBox}, c.what);
        } else {
            EXPECT_FALSE(run.timedOut) << c.what;
            EXPECT_EQ(Boxes(run), (std::vector<std::string>{c.firstBox, c.secondBox})) << c.what;
            EXPECT_FALSE(Exists(scratch + "\\viewer-note.txt")) << c.what << ": the project is not run incomplete";
        }
        RemoveTraces();
        testkit::RemoveTree(target);
    }
}
