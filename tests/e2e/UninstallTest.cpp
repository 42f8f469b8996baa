// Install, then uninstall with ZRXUnInst.exe, driven like a user would: the machine must be
// as it was, apart from what the user added and the uninstaller's one copy in the
// temporary folder. And a damaged record must never remove anything.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/LittleEndian.h"
#include "testkit/Controls.h"
#include "testkit/InstallPackage.h"
#include "testkit/Files.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordBytes.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

using testkit::Boxes;
using testkit::Bytes;
using testkit::Exists;
using testkit::kTestUninstallKey;

namespace {

// An upper bound for a hang, not a timing: the first install of a fresh Wine session under an
// emulator has been seen to need more than 90 s.
constexpr DWORD kRunLimitMs = 240000;
constexpr char kProjectName[] = "Test Project";
constexpr char kErrorCaption[] = "Orvan3D Uninstall";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Runs commandLine in folder and drives its windows and those of the processes it starts:
// the options dialog goes to onDialog, message boxes to answer. Returns when all have ended;
// onRootEnd, when given, sees the machine at the moment the started program has ended, as a
// caller that waits for it would.
testkit::RunResult DriveTree(const std::string& exe, const std::string& commandLine, const std::string& folder,
                             const std::function<void(HWND)>& onDialog, const testkit::BoxHandler& answer,
                             const std::function<void()>& onRootEnd = nullptr) {
    testkit::DriveOptions options;
    options.commandLine = commandLine;
    options.folder = folder;
    options.timeoutMs = kRunLimitMs;
    options.onOptions = onDialog;
    options.answer = answer;
    options.followChildren = true;
    options.onProgramEnd = onRootEnd;
    return testkit::Drive(exe, options);
}

void NoDialog(HWND) { ADD_FAILURE() << "no options dialog expected"; }

// Every file (size and time of last change) and folder (trailing backslash) below root.
using Tree = std::map<std::string, std::pair<uint64_t, uint64_t>>;

void AddTree(const std::string& folder, const std::set<std::string>& skip, Tree& out) {
    testkit::ForEachEntry(folder, [&](const std::string& name, const WIN32_FIND_DATAA& found) {
        const std::string path = folder + "\\" + name;
        if (skip.count(Lower(path)) != 0) return;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
            out[path + "\\"] = {0, 0};
            AddTree(path, skip, out);
            return;
        }
        const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        const uint64_t time =
            (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
        out[path] = {size, time};
    });
}

// The whole drive, but for folders that lie elsewhere: links (under Wine the user's
// document folders lead to the host's home folder, which other programs change at will).
// Wine itself changes nothing else on the drive while our programs run.
Tree DriveTree() {
    std::set<std::string> skip;
    for (int id : {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO,
                   CSIDL_TEMPLATES}) {
        skip.insert(Lower(testkit::KnownFolder(id)));
    }
    skip.insert(Lower(testkit::KnownFolder(CSIDL_PROFILE) + "\\Downloads"));
    Tree tree;
    AddTree("C:", skip, tree);
    return tree;
}

struct TreeChanges {
    std::vector<std::string> added, removed, changed;
};

TreeChanges Compare(const Tree& before, const Tree& after) {
    TreeChanges out;
    for (const auto& item : after) {
        const auto old = before.find(item.first);
        if (old == before.end()) {
            out.added.push_back(item.first);
        } else if (old->second != item.second) {
            out.changed.push_back(item.first);
        }
    }
    for (const auto& item : before) {
        if (after.count(item.first) == 0) out.removed.push_back(item.first);
    }
    return out;
}

// Every key and value below root\path, by path.
using Registry = std::map<std::string, std::pair<DWORD, Bytes>>;

// The keys an installation of ours writes to, whole. The viewer entry's parent keys are left
// out: the installation creates them when missing, and they stay, empty, as the common place
// of every project's viewer entry. Values anywhere below them still count.
Registry RegistryConcerned() {
    Registry out;
    testkit::AddKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", out);
    testkit::AddKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbor", out);
    for (const char* parent : {"SOFTWARE\\Velbor\\", "SOFTWARE\\Velbor\\Orvan3D Viewers\\",
                               "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\"}) {
        out.erase(parent);
    }
    return out;
}

std::string QueryText(const std::string& keyPath, const char* name) {
    return testkit::QueryText(HKEY_LOCAL_MACHINE, keyPath, name);
}

std::string TempFolder() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    std::string out = temp;
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// The uninstaller's copies in the temporary folder: a run leaves its fresh folder and the copy
// in it (removed at the next restart or the next run); earlier versions left a file.
std::vector<std::string> TempCopies(const Tree& tree) {
    const std::string prefix = Lower(TempFolder() + "\\ZRXUnInst-");
    std::vector<std::string> out;
    for (const auto& item : tree) {
        if (Lower(item.first).compare(0, prefix.size(), prefix) == 0) out.push_back(item.first);
    }
    return out;
}

void RemoveTempCopies() {
    for (const auto& copy : TempCopies(DriveTree())) {
        if (copy.back() == '\\') {
            testkit::RemoveTree(copy.substr(0, copy.size() - 1));
        } else {
            ::DeleteFileA(copy.c_str());
        }
    }
}

// The one run's copy: a folder of 32 random hex digits holding only the uninstaller.
void ExpectOneFreshCopy(const std::vector<std::string>& copies) {
    const std::string prefix = TempFolder() + "\\ZRXUnInst-";
    std::vector<std::string> fresh;
    for (const auto& copy : copies) {
        if (copy.back() == '\\' || copy.find('\\', prefix.size()) != std::string::npos) fresh.push_back(copy);
    }
    ASSERT_EQ(fresh.size(), 2u) << ::testing::PrintToString(copies);
    const std::string name = fresh[0].substr(prefix.size(), fresh[0].size() - prefix.size() - 1);
    EXPECT_EQ(name.size(), 32u) << fresh[0];
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos) << fresh[0];
    EXPECT_EQ(fresh[1], fresh[0] + "ZRXUnInst.exe");
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        target = testkit::KnownFolder(CSIDL_PROGRAM_FILES) + "\\Orvan3D Round Trip";
        startMenuFolder = testkit::KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Orvan3D Test";
        RemoveTraces();
        RemoveTempCopies();
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
        ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\ZRXUnInst.exe", uninstaller));
        testkit::InstallOptions options;
        options.installPath = target;
        setup = scratch + "\\Setup.exe";
        ASSERT_TRUE(testkit::WriteFileBytes(setup, testkit::MakeInstallPackage(testkit::OwnFolder(), options)
                                                       .fixture.Image(stub)));
    }
    void TearDown() override {
        RemoveTraces();
        RemoveTempCopies();
        testkit::RemoveTree(scratch);
    }
    void RemoveTraces() {
        testkit::RemoveTree(target);
        testkit::RemoveTree(startMenuFolder);
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestUninstallKey);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestUninstallKey);
    }
    // Installs the project from the setup program SetUp packed, and checks that it is there.
    void Install() {
        const auto run = DriveTree(setup, "\"" + setup + "\"", scratch, testkit::InstallInto(target), testkit::PressOk);
        ASSERT_FALSE(run.timedOut);
        ASSERT_EQ(run.boxes.size(), 1u) << ::testing::PrintToString(Boxes(run));
        ASSERT_TRUE(Exists(target + "\\uninstall.nfo"));
        ASSERT_TRUE(Exists(target + "\\ZRXUnInst.exe"));
        ASSERT_TRUE(Exists(startMenuFolder + "\\Test Project Uninstall.lnk"));
        ASSERT_FALSE(QueryText(kTestUninstallKey, "UninstallString").empty());
    }
    // Runs the installed uninstaller as its Start-menu link does.
    testkit::RunResult RunUninstaller(const std::string& arguments, const testkit::BoxHandler& answer) {
        const std::string exe = target + "\\ZRXUnInst.exe";
        return DriveTree(exe, "\"" + exe + "\"" + arguments, target, NoDialog, answer);
    }
    void ExpectQuestion(const testkit::RunResult& run) {
        ASSERT_GE(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].caption, kProjectName);
        EXPECT_EQ(run.boxes[0].text, "Remove Test Project and all of its components?");
        std::vector<int> buttons;
        for (const auto& button : run.boxes[0].buttons) buttons.push_back(button.id);
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    }

    std::string scratch;
    std::string target;
    std::string startMenuFolder;
    std::string setup;
    Bytes stub;
    Bytes uninstaller;
};

}  // namespace

TEST_F(Uninstall, ProjectInstallRoundTripKeepsOnlyWhatTheUserAdded) {
    const Tree before = DriveTree();
    const Registry registryBefore = RegistryConcerned();
    Install();
    // The user's own notes in one of the installation's folders.
    const std::string userFile = target + "\\media\\notes.txt";
    ASSERT_TRUE(testkit::WriteFileBytes(userFile, Bytes(100, 'n')));

    const testkit::RunResult run = RunUninstaller("", testkit::Answer(IDYES));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_GE(run.processes.size(), 2u) << "the removal runs from a copy";
    ASSERT_EQ(run.boxes.size(), 2u) << ::testing::PrintToString(Boxes(run));
    ExpectQuestion(run);
    // The final box names each folder that stayed, and why.
    EXPECT_EQ(run.boxes[1].caption, kProjectName);
    const std::string& summary = run.boxes[1].text;
    EXPECT_NE(summary.find("except for these items"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\\media\\\r\n    (kept: it holds files that were not installed)"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find(target + "\\\r\n    (kept: it holds files that were not installed)"), std::string::npos)
        << summary;

    const Tree after = DriveTree();
    const TreeChanges changes = Compare(before, after);
    const std::vector<std::string> copies = TempCopies(after);
    ExpectOneFreshCopy(copies);
    std::vector<std::string> expectedAdded = {target + "\\", target + "\\media\\", userFile};
    expectedAdded.insert(expectedAdded.end(), copies.begin(), copies.end());
    std::sort(expectedAdded.begin(), expectedAdded.end());
    EXPECT_EQ(changes.added, expectedAdded);
    EXPECT_TRUE(changes.removed.empty()) << ::testing::PrintToString(changes.removed);
    EXPECT_TRUE(changes.changed.empty()) << ::testing::PrintToString(changes.changed);
    EXPECT_EQ(RegistryConcerned(), registryBefore);
    Bytes kept;
    EXPECT_TRUE(testkit::ReadFileBytes(userFile, kept));
    EXPECT_EQ(kept, Bytes(100, 'n'));
}

// Version 1 silently, a file of the user's, then version 2 over it (changed, same, new and
// dropped files, a new folder, one no longer used) - silently or through the options dialog - or
// version 1 again, and the quiet uninstall: the machine as before, but for the user's file and
// the folders that hold it. Nothing of either version, no empty folder of ours, exit code 0.
TEST_F(Uninstall, AnUpgradeOrAReinstallThenTheUninstallLeaveOnlyTheUsersFile) {
    auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    auto pack = [&](const std::vector<std::pair<std::string, Bytes>>& files, const std::string& name) {
        testkit::InstallOptions options;
        options.installPath = target;
        options.projectFiles = files;
        const std::string exe = scratch + "\\" + name;
        EXPECT_TRUE(testkit::WriteFileBytes(exe, testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(stub)));
        return exe;
    };
    const std::string v1 = pack({{"\\data\\a.txt", text("a 1")}, {"\\data\\same.txt", text("same")},
                                 {"\\data\\c.txt", text("c 1")}, {"\\old\\x.bin", text("x 1")}},
                                "Version1.exe");
    const std::string v2 = pack({{"\\data\\a.txt", text("a 2")}, {"\\data\\same.txt", text("same")},
                                 {"\\data\\d.txt", text("d 2")}, {"\\fresh\\y.bin", text("y 2")}},
                                "Version2.exe");
    const std::string userFile = target + "\\data\\save.dat";
    const struct {
        const char* what;
        std::string second;
        bool dialog;
    } cases[] = {{"silent upgrade", v2, false}, {"upgrade through the dialog", v2, true}, {"reinstall", v1, false}};
    for (const auto& c : cases) {
        RemoveTempCopies();
        const Tree before = DriveTree();
        const Registry registryBefore = RegistryConcerned();
        ASSERT_EQ(DriveTree(v1, "\"" + v1 + "\" /S /D=" + target, scratch, NoDialog, testkit::PressOk).exitCode, 0u);
        ASSERT_TRUE(testkit::WriteFileBytes(userFile, text("mine")));
        const auto second = c.dialog ? DriveTree(c.second, "\"" + c.second + "\"", scratch, testkit::InstallInto(target),
                                                 testkit::PressOk)
                                     : DriveTree(c.second, "\"" + c.second + "\" /S /D=" + target, scratch, NoDialog,
                                                 testkit::PressOk);
        ASSERT_FALSE(second.timedOut) << c.what;
        EXPECT_EQ(testkit::Exists(target + "\\data\\c.txt"), c.second == v1) << c.what;

        const std::string uninstaller = target + "\\ZRXUnInst.exe";
        const auto run = DriveTree(uninstaller, "\"" + uninstaller + "\" /S", scratch, NoDialog, testkit::Answer(IDCANCEL));
        ASSERT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        // The copy removes the started uninstaller and the record once that has ended.
        for (const DWORD begin = ::GetTickCount(); Exists(uninstaller) && ::GetTickCount() - begin < 60000;) ::Sleep(50);
        const Tree after = DriveTree();
        const TreeChanges changes = Compare(before, after);
        std::vector<std::string> expectedAdded = {target + "\\", target + "\\data\\", userFile};
        for (const auto& copy : TempCopies(after)) expectedAdded.push_back(copy);
        std::sort(expectedAdded.begin(), expectedAdded.end());
        EXPECT_EQ(changes.added, expectedAdded) << c.what;
        EXPECT_TRUE(changes.removed.empty() && changes.changed.empty())
            << c.what << ::testing::PrintToString(changes.removed) << ::testing::PrintToString(changes.changed);
        EXPECT_EQ(RegistryConcerned(), registryBefore) << c.what;
        RemoveTraces();
    }
}

TEST_F(Uninstall, TheSystemsQuietCommandRemovesEverythingWithoutABox) {
    // Copies of earlier runs are cleared at the next start; other files there are not ours.
    const std::string temp = TempFolder();
    const std::string earlierCopy = temp + "\\ZRXUnInst-0badc0de.exe";
    const std::string notACopy = temp + "\\ZRXUnInst-notes.exe";
    const std::string earlierFolder = temp + "\\ZRXUnInst-" + std::string(32, 'a');
    const std::string notOurFolder = temp + "\\ZRXUnInst-" + std::string(32, 'b');
    ASSERT_TRUE(testkit::WriteFileBytes(earlierCopy, uninstaller));
    ASSERT_TRUE(testkit::WriteFileBytes(notACopy, Bytes(10, 'x')));
    for (const std::string& folder : {earlierFolder, notOurFolder}) {
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\ZRXUnInst.exe", uninstaller));
    }
    ASSERT_TRUE(testkit::WriteFileBytes(notOurFolder + "\\notes.txt", Bytes(10, 'x')));
    const Tree before = DriveTree();
    const Registry registryBefore = RegistryConcerned();
    Install();

    // Exactly the command the system's list of programs runs.
    const std::string quiet = QueryText(kTestUninstallKey, "QuietUninstallString");
    ASSERT_EQ(quiet, "\"" + target + "\\ZRXUnInst.exe\" /S");
    // A deployment tool waits for that command and then reinstalls: by then all is gone but at
    // most the uninstaller that was started and its record, which its copy removes right after.
    Tree leftAtEnd;
    bool entryLeftAtEnd = true;
    const testkit::RunResult run = DriveTree(target + "\\ZRXUnInst.exe", quiet, temp, NoDialog, testkit::Answer(IDCANCEL), [&] {
        AddTree(target, {}, leftAtEnd);
        entryLeftAtEnd = !QueryText(kTestUninstallKey, "UninstallString").empty();
    });
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << ::testing::PrintToString(Boxes(run));
    EXPECT_FALSE(entryLeftAtEnd);
    leftAtEnd.erase(target + "\\ZRXUnInst.exe");
    leftAtEnd.erase(target + "\\uninstall.nfo");
    EXPECT_TRUE(leftAtEnd.empty()) << ::testing::PrintToString(leftAtEnd);
    // Those two go with the copy, which may still be at work when the command has ended.
    const DWORD begin = ::GetTickCount();
    while (testkit::Exists(target) && ::GetTickCount() - begin < 60000) ::Sleep(50);

    const Tree after = DriveTree();
    const TreeChanges changes = Compare(before, after);
    const std::vector<std::string> copies = TempCopies(after);
    ASSERT_EQ(copies.size(), 6u) << ::testing::PrintToString(changes.added);
    std::vector<std::string> newCopy;
    for (const auto& copy : copies) {
        if (Lower(copy) != Lower(notACopy) && Lower(copy).find(Lower(notOurFolder)) != 0) newCopy.push_back(copy);
    }
    ExpectOneFreshCopy(newCopy);
    EXPECT_EQ(changes.added, newCopy);
    EXPECT_EQ(changes.removed,
              (std::vector<std::string>{earlierCopy, earlierFolder + "\\", earlierFolder + "\\ZRXUnInst.exe"}));
    EXPECT_TRUE(changes.changed.empty()) << ::testing::PrintToString(changes.changed);
    EXPECT_EQ(RegistryConcerned(), registryBefore);
    ::DeleteFileA(notACopy.c_str());
    testkit::RemoveTree(notOurFolder);
}

TEST_F(Uninstall, NoToTheQuestionChangesNothing) {
    Install();
    const Tree before = DriveTree();
    const Registry registryBefore = RegistryConcerned();
    const testkit::RunResult run = RunUninstaller("", testkit::Answer(IDNO));
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(run.boxes.size(), 1u) << ::testing::PrintToString(Boxes(run));
    ExpectQuestion(run);
    EXPECT_EQ(run.processes.size(), 1u) << "no copy is started";
    const TreeChanges changes = Compare(before, DriveTree());
    EXPECT_TRUE(changes.added.empty()) << ::testing::PrintToString(changes.added);
    EXPECT_TRUE(changes.removed.empty()) << ::testing::PrintToString(changes.removed);
    EXPECT_TRUE(changes.changed.empty()) << ::testing::PrintToString(changes.changed);
    EXPECT_EQ(RegistryConcerned(), registryBefore);
}

// The records of the screen-saver and plug-in modes list copies outside the install folder (the
// system directory, Winamp's plug-in folder) and come with the viewer entry. Laid out here as
// those modes leave them, so that the uninstaller's side is checked on its own. Once a later
// installation of the same name elsewhere has taken the copies over (its viewer entry), they
// are that one's and stay.
TEST_F(Uninstall, ScreenSaverAndPlugInRecordsRemoveTheirCopiesOutsideTheFolder) {
    char system[MAX_PATH] = {};
    ASSERT_NE(::GetSystemDirectoryA(system, sizeof(system)), 0u);
    const std::string plugins = scratch + "\\Winamp\\Plugins";
    ASSERT_TRUE(::CreateDirectoryA((scratch + "\\Winamp").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(plugins.c_str(), nullptr));
    // Where the plug-in install and the uninstaller both find Winamp.
    win::RegKey winamp;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Winamp", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                winamp.put(), nullptr),
              ERROR_SUCCESS);
    const std::string winampFolder = scratch + "\\Winamp";
    ::RegSetValueExA(winamp.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(winampFolder.c_str()),
                     static_cast<DWORD>(winampFolder.size() + 1));
    const std::string viewerKey = std::string("SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\") + kProjectName;
    const std::string screenSaver = std::string(system) + "\\Test Project.scr";
    const std::string plugIn = plugins + "\\vis_Test Project.dll";
    const std::string question = "Remove Test Project and all of its components? / Test Project";
    const std::string taken = "\r\n    (not removed: it now belongs to another installation of the same name)";
    struct Case {
        const char* description;
        std::vector<std::string> files;
        std::string viewerFolder;
        std::vector<std::string> boxes;
    } cases[] = {
        {"screen saver",
         {target + "\\OrvanViewer.exe", target + "\\ZRXUnInst.exe", target + "\\screensaver.cfg", screenSaver},
         target,
         {question, "Test Project was removed from this computer. / Test Project"}},
        {"plug-in", {target + "\\ZRXUnInst.exe", plugIn, target + "\\winamp.cfg"}, target,
         {question, "Test Project was removed from this computer. / Test Project"}},
        {"both, since taken over by another installation",
         {target + "\\ZRXUnInst.exe", screenSaver, plugIn},
         scratch + "\\Another",
         {question, "Test Project was removed from this computer, except for these items:\r\n\r\n" + screenSaver +
                        taken + "\r\n" + plugIn + taken +
                        "\r\n\r\nDelete them yourself if you no longer need them. / Test Project"}},
    };
    for (const Case& c : cases) {
        RemoveTempCopies();
        const Tree before = DriveTree();
        const Registry registryBefore = RegistryConcerned();
        ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr)) << c.description;
        for (const auto& path : c.files) {
            ASSERT_TRUE(testkit::WriteFileBytes(path, path.find("ZRXUnInst") != std::string::npos ? uninstaller
                                                                                                 : Bytes(100, 'i')))
                << path;
        }
        ASSERT_TRUE(testkit::WriteFileBytes(target + "\\uninstall.nfo",
                                            testkit::MakeUninstallRecord(c.files, {target + "\\"}, kProjectName, true)));
        for (const auto& entry : {std::make_pair(std::string(kTestUninstallKey), "\"" + target + "\\ZRXUnInst.exe\""),
                                  std::make_pair(viewerKey, c.viewerFolder)}) {
            win::RegKey key;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.first.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        key.put(), nullptr),
                      ERROR_SUCCESS);
            const char* name = entry.first == kTestUninstallKey ? "UninstallString" : "DisplayName";
            ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.second.c_str()),
                             static_cast<DWORD>(entry.second.size() + 1));
        }

        const testkit::RunResult run = RunUninstaller("", testkit::Answer(IDYES));
        ASSERT_FALSE(run.timedOut) << c.description << ::testing::PrintToString(Boxes(run)) << run.processes.size();
        EXPECT_EQ(Boxes(run), c.boxes) << c.description;
        const bool takenOver = c.viewerFolder != target;
        EXPECT_EQ(run.exitCode, takenOver ? 3u : 0u) << c.description;
        if (takenOver) {
            EXPECT_TRUE(Exists(screenSaver) && Exists(plugIn)) << c.description;
            EXPECT_FALSE(QueryText(viewerKey, "DisplayName").empty()) << "the other installation's entry";
            ::DeleteFileA(screenSaver.c_str());
            ::DeleteFileA(plugIn.c_str());
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, viewerKey.c_str());
        }
        const Tree after = DriveTree();
        const TreeChanges changes = Compare(before, after);
        EXPECT_EQ(changes.added, TempCopies(after)) << c.description;
        ExpectOneFreshCopy(changes.added);
        EXPECT_TRUE(changes.removed.empty()) << c.description << ::testing::PrintToString(changes.removed);
        EXPECT_TRUE(changes.changed.empty()) << c.description << ::testing::PrintToString(changes.changed);
        EXPECT_EQ(RegistryConcerned(), registryBefore) << c.description;
        EXPECT_TRUE(Exists(plugins)) << "Winamp's own folder is not the installation's";
    }
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, viewerKey.c_str());
    winamp.reset();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Winamp");
}

// An installation whose folder needed new parents (C:\Vendor\ of C:\Vendor\Product), and a
// plug-in the user put in a folder chosen in the browser: both go whole, with exit code 0 and
// a box that names nothing. A record forged to list an empty folder outside, as C:\Config.Msi
// is on many machines, does not make it go.
TEST_F(Uninstall, NewParentFoldersAndABrowsedPlugInFolderGoWithTheInstallation) {
    testkit::RegistryDefault command(HKEY_CLASSES_ROOT, "Applications\\Winamp.exe\\shell\\open\\command");
    testkit::RegistryDefault own(HKEY_CURRENT_USER, "Software\\Winamp");
    if (command.Existed() || own.Existed()) GTEST_SKIP() << "this machine has Winamp's registry entries";
    const std::string vendor = "C:\\Orvan3D Vendor Test";
    const std::string folder = vendor + "\\Product";
    const std::string winamp = "C:\\Orvan3D Browsed Winamp";
    const std::string configMsi = "C:\\Config.Msi";
    const bool madeConfigMsi = ::CreateDirectoryA(configMsi.c_str(), nullptr) != FALSE;
    ASSERT_TRUE(testkit::Tree(configMsi).empty()) << "an empty folder, as the test needs it";
    testkit::RemoveTree(vendor);
    ASSERT_TRUE(::CreateDirectoryA(winamp.c_str(), nullptr) && ::CreateDirectoryA((winamp + "\\Plugins").c_str(), nullptr));
    testkit::ComponentInstallOptions plugIn;
    plugIn.projectType = 6;
    plugIn.projectName = kProjectName;
    const std::string plugInSetup = scratch + "\\PlugInSetup.exe";
    ASSERT_TRUE(testkit::WriteFileBytes(plugInSetup, testkit::MakeComponentInstallPackage(testkit::OwnFolder(), plugIn).fixture.Image(stub)));
    const std::string removed = "Test Project was removed from this computer. / Test Project";
    const struct {
        std::string exe;
        bool forged;  // the record also lists configMsi
        std::string summary;
    } cases[] = {
        {setup, false, removed},
        {plugInSetup, false, removed},
        {setup, true, "Test Project was removed from this computer, except for these items:\r\n\r\n" + configMsi +
                          "\\\r\n    (not removed: it lies outside this installation's folder)\r\n\r\nDelete them "
                          "yourself if you no longer need them. / Test Project"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exe + (c.forged ? ", forged" : ""));
        RemoveTempCopies();
        const Tree before = DriveTree();
        const Registry registryBefore = RegistryConcerned();
        testkit::DriveOptions install;
        install.onOptions = testkit::InstallInto(folder);
        install.answer = [](const testkit::MessageBoxInfo& box) { return box.buttons.size() == 2 ? IDYES : IDOK; };
        install.onBrowser = testkit::BrowseTo(winamp);
        ASSERT_FALSE(testkit::Drive(c.exe, install).timedOut);
        if (c.forged) {
            std::vector<std::string> lists[2];  // files, folders
            for (const auto& chunk : testkit::FileChunks(folder + "\\uninstall.nfo")) {
                if (chunk.first == "UNFN" || chunk.first == "UNDN") {
                    lists[chunk.first == "UNDN"].emplace_back(reinterpret_cast<const char*>(chunk.second.data()));
                }
            }
            lists[1].push_back(configMsi + "\\");
            ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo",
                                                testkit::MakeUninstallRecord(lists[0], lists[1], kProjectName, false)));
        }
        const std::string exe = folder + "\\ZRXUnInst.exe";
        const testkit::RunResult run = DriveTree(exe, "\"" + exe + "\"", folder, NoDialog, testkit::Answer(IDYES));
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.forged ? 3u : 0u);
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{"Remove Test Project and all of its components? / Test Project", c.summary}));
        const Tree after = DriveTree();
        const TreeChanges changes = Compare(before, after);
        EXPECT_EQ(changes.added, TempCopies(after));
        EXPECT_TRUE(changes.removed.empty() && changes.changed.empty())
            << ::testing::PrintToString(changes.removed) << ::testing::PrintToString(changes.changed);
        EXPECT_EQ(RegistryConcerned(), registryBefore);
        testkit::RemoveTree(vendor);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\") + kProjectName).c_str());
    }
    testkit::RemoveTree(winamp);
    if (madeConfigMsi) ::RemoveDirectoryA(configMsi.c_str());
}

// A folder of a fake installation outside the drive's usual places, with its uninstaller.
class UninstallRecordDamage : public Uninstall {
protected:
    void SetUp() override {
        Uninstall::SetUp();
        folder = scratch + "\\Installed";
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
        for (const std::string& path : {folder + "\\a.bin", folder + "\\sub\\b.bin", scratch + "\\outside.bin"}) {
            ASSERT_TRUE(testkit::WriteFileBytes(path, Bytes(64, 'f')));
        }
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\ZRXUnInst.exe", uninstaller));
    }
    testkit::RunResult Run(const testkit::BoxHandler& answer) {
        const std::string exe = folder + "\\ZRXUnInst.exe";
        return DriveTree(exe, "\"" + exe + "\"", folder, NoDialog, answer);
    }
    Bytes Record(const std::vector<std::string>& files) const {
        return testkit::MakeUninstallRecord(files, {folder + "\\sub\\", folder + "\\"}, "Damage Test", false);
    }
    std::string folder;
};

TEST_F(UninstallRecordDamage, ADamagedOrMissingRecordRemovesNothing) {
    const Bytes good = Record({folder + "\\a.bin", folder + "\\sub\\b.bin", folder + "\\ZRXUnInst.exe"});
    auto cut = [&](size_t size) { return Bytes(good.begin(), good.begin() + static_cast<long>(size)); };
    auto changed = [&](size_t at, const Bytes& bytes) {
        Bytes out = good;
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<long>(at));
        return out;
    };
    Bytes count(4);
    StoreU32(count.data(), 1000);
    const std::string damaged = "The uninstall record \"" + folder + "\\uninstall.nfo\" is damaged.\r\nNothing was removed.";
    struct Case {
        const char* description;
        bool withRecord;
        Bytes record;
        std::string text;
    } cases[] = {
        {"cut inside the first header", true, cut(3), damaged},
        {"cut inside the first path", true, cut(12 + 8 + 100), damaged},
        {"cut before the project name", true, cut(good.size() - 267), damaged},
        {"cut by one byte", true, cut(good.size() - 1), damaged},
        {"empty", true, Bytes(), damaged},
        {"first tag wrong", true, changed(0, {'U', 'N', 'F', 'X'}), damaged},
        {"file count larger than the file", true, changed(8, count), damaged},
        {"no record", false, Bytes(),
         "The uninstall record \"" + folder + "\\uninstall.nfo\" was not found.\r\nNothing was removed."},
    };
    for (const Case& c : cases) {
        ::DeleteFileA((folder + "\\uninstall.nfo").c_str());
        if (c.withRecord) {
            ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo", c.record));
        }
        const Tree before = DriveTree();
        const testkit::RunResult run = Run(testkit::PressOk);
        ASSERT_FALSE(run.timedOut) << c.description;
        EXPECT_EQ(run.exitCode, 1u) << c.description;
        EXPECT_EQ(Boxes(run), (std::vector<std::string>{c.text + " / " + kErrorCaption})) << c.description;
        EXPECT_EQ(run.processes.size(), 1u) << c.description;
        const TreeChanges changes = Compare(before, DriveTree());
        EXPECT_TRUE(changes.added.empty() && changes.removed.empty() && changes.changed.empty())
            << c.description << ": " << ::testing::PrintToString(changes.added) << ::testing::PrintToString(changes.removed)
            << ::testing::PrintToString(changes.changed);
    }
}

TEST_F(UninstallRecordDamage, CutUnsafeAndDoubledPathsRemoveOnlyWhatIsListed) {
    // A path cut at 259 bytes that names another, existing file.
    const std::string other = folder + "\\" + std::string(259 - folder.size() - 1, 'q');
    ASSERT_EQ(other.size(), 259u);
    ASSERT_TRUE(testkit::WriteFileBytes(other, Bytes(8, 'o')));
    const std::string a = folder + "\\a.bin";
    const std::string stepsOut = folder + "\\..\\outside.bin";
    ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo",
                                        Record({a, other + ".bin", a, folder + "\\sub\\b.bin", stepsOut,
                                                "outside.bin", folder + "\\ZRXUnInst.exe"})));
    const testkit::RunResult run = Run(testkit::Answer(IDYES));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3u) << "paths it was not given to remove were listed";
    ASSERT_EQ(run.boxes.size(), 2u) << ::testing::PrintToString(Boxes(run));
    EXPECT_EQ(run.boxes[0].text, "Remove Damage Test and all of its components?");
    const std::string& summary = run.boxes[1].text;
    const std::string skipped = "\r\n    (not removed: its recorded name is cut short or not a full path)";
    for (const std::string& item : {other + skipped, stepsOut + skipped, "outside.bin" + skipped,
                                    folder + "\\\r\n    (kept: it holds files that were not installed)"}) {
        EXPECT_NE(summary.find(item), std::string::npos) << item << " not in\n" << summary;
    }
    EXPECT_EQ(summary.find("could not be deleted"), std::string::npos) << summary;

    EXPECT_TRUE(Exists(other));
    EXPECT_TRUE(Exists(scratch + "\\outside.bin"));
    for (const std::string& gone : {a, folder + "\\sub\\b.bin", folder + "\\sub", folder + "\\ZRXUnInst.exe",
                                    folder + "\\uninstall.nfo"}) {
        EXPECT_FALSE(Exists(gone)) << gone;
    }
}

// What a caller that waits for the uninstaller gets, and what has gone by then. A record that
// also lists files of others (a scratch file in the system folder, a file in another folder):
// those stay, are named in the final box, and the quiet command ends with 3.
TEST_F(UninstallRecordDamage, AWaitingCallerGetsTheOutcomeAfterTheRemoval) {
    char system[MAX_PATH] = {};
    ASSERT_NE(::GetSystemDirectoryA(system, sizeof(system)), 0u);
    const std::string systemFile = std::string(system) + "\\orvan-uninstall-" + std::to_string(::GetCurrentProcessId());
    const std::string outside = scratch + "\\outside.bin";
    const std::vector<std::string> ours = {folder + "\\a.bin", folder + "\\sub\\b.bin"};
    const std::string notOurs = "\r\n    (not removed: it lies outside this installation's folder)";
    const std::string foreignBox = "Damage Test was removed from this computer, except for these items:\r\n\r\n" +
                                   systemFile + notOurs + "\r\n" + outside + notOurs +
                                   "\r\n\r\nDelete them yourself if you no longer need them. / Damage Test";
    struct Case {
        const char* description;
        bool foreign;        // the record also lists systemFile and outside
        bool damaged;        // the record is cut short
        const char* switches;
        int answer;
        DWORD exitCode;
        std::vector<std::string> boxes;
    } cases[] = {
        {"quiet", false, false, " /S", IDCANCEL, 0, {}},
        {"quiet, damaged record", false, true, " /S", IDCANCEL, 1, {}},
        {"quiet, with paths of others", true, false, " /S", IDCANCEL, 3, {}},
        {"asked, with paths of others", true, false, "", IDYES, 3,
         {"Remove Damage Test and all of its components? / Damage Test", foreignBox}},
        {"asked, answered No", false, false, "", IDNO, 2,
         {"Remove Damage Test and all of its components? / Damage Test"}},
    };
    for (const Case& c : cases) {
        RemoveTempCopies();
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        ::CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
        for (const std::string& path : {ours[0], ours[1], systemFile, outside}) {
            ASSERT_TRUE(testkit::WriteFileBytes(path, Bytes(64, 'f'))) << path;
        }
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\ZRXUnInst.exe", uninstaller));
        std::vector<std::string> listed = {ours[0], ours[1], folder + "\\ZRXUnInst.exe"};
        if (c.foreign) listed.insert(listed.begin() + 1, {systemFile, outside});
        Bytes record = Record(listed);
        if (c.damaged) record.resize(record.size() - 1);
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo", record));

        const std::string exe = folder + "\\ZRXUnInst.exe";
        std::vector<std::string> oursAtEnd;
        const testkit::RunResult run = DriveTree(exe, "\"" + exe + "\"" + c.switches, folder, NoDialog, testkit::Answer(c.answer), [&] {
            for (const auto& path : ours) {
                if (Exists(path)) oursAtEnd.push_back(path);
            }
        });
        ASSERT_FALSE(run.timedOut) << c.description;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.description;
        EXPECT_EQ(Boxes(run), c.boxes) << c.description;
        const bool removes = c.exitCode == 0 || c.exitCode == 3;
        EXPECT_EQ(oursAtEnd, removes ? std::vector<std::string>() : ours) << c.description;
        EXPECT_EQ(Exists(exe), !removes) << c.description;
        EXPECT_TRUE(Exists(systemFile)) << c.description;
        EXPECT_TRUE(Exists(outside)) << c.description;
    }
    ::DeleteFileA(systemFile.c_str());
}

// Install A, then B of the same project elsewhere, which takes over the Start-menu links: the
// uninstall of A removes A's files and leaves B's links and entry alone.
TEST_F(Uninstall, UninstallingAnEarlierInstallationLeavesTheLaterOnesLinks) {
    Install();
    const std::string later = target + " B";
    testkit::RemoveTree(later);
    const auto install = DriveTree(setup, "\"" + setup + "\"", scratch, testkit::InstallInto(later), testkit::PressOk);
    ASSERT_FALSE(install.timedOut);
    ASSERT_EQ(QueryText(kTestUninstallKey, "UninstallString"), "\"" + later + "\\ZRXUnInst.exe\"");
    const std::string links[] = {startMenuFolder + "\\Test Project.lnk", startMenuFolder + "\\Test Project Uninstall.lnk"};
    Tree laterBefore;
    AddTree(later, {}, laterBefore);

    const testkit::RunResult run = RunUninstaller("", testkit::Answer(IDYES));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3u);
    ASSERT_EQ(run.boxes.size(), 2u) << ::testing::PrintToString(Boxes(run));
    for (const auto& link : links) {
        EXPECT_TRUE(Exists(link)) << link;
        EXPECT_NE(run.boxes[1].text.find(link + "\r\n    (not removed: the link now leads to another installation)"),
                  std::string::npos)
            << run.boxes[1].text;
    }
    EXPECT_FALSE(Exists(target + "\\OrvanViewer.exe"));
    Tree laterAfter;
    AddTree(later, {}, laterAfter);
    EXPECT_EQ(laterAfter, laterBefore);
    EXPECT_EQ(QueryText(kTestUninstallKey, "UninstallString"), "\"" + later + "\\ZRXUnInst.exe\"");
    testkit::RemoveTree(later);
}

// A library planted in the temporary folder, where the copy used to run from and be started
// in, is not loaded by the copy. version.dll is no known library on Windows, so the system
// takes it from a program's folder; Wine prefers its own unless told otherwise, which its
// setting below does for the test's time (Windows ignores it; whatever the copy is called). The
// control run shows that the probe is taken from beside a program.
TEST_F(UninstallRecordDamage, NoLibraryIsTakenFromBesideTheCopy) {
    Bytes probe;
    ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\probe-version.dll", probe));
    constexpr char kWineSetting[] = "Software\\Wine\\DllOverrides";
    char had[64] = {};
    DWORD hadSize = sizeof(had) - 1;
    const bool hadSetting = ::RegGetValueA(HKEY_CURRENT_USER, kWineSetting, "version", RRF_RT_REG_SZ, nullptr, had,
                                           &hadSize) == ERROR_SUCCESS;
    {
        win::RegKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kWineSetting, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                    nullptr),
                  ERROR_SUCCESS);
        const char order[] = "native,builtin";
        ::RegSetValueExA(key.get(), "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
    }
    const std::string control = scratch + "\\control";
    const std::string planted = TempFolder() + "\\version.dll";
    struct Case {
        const char* description;
        std::string exe;
        std::string probePath;
        DWORD exitCode;
        bool loaded;
    } cases[] = {
        {"beside a program (control)", control + "\\ZRXUnInst.exe", control + "\\version.dll", 1, true},
        {"in the temporary folder", folder + "\\ZRXUnInst.exe", planted, 0, false},
    };
    ASSERT_TRUE(::CreateDirectoryA(control.c_str(), nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(control + "\\ZRXUnInst.exe", uninstaller));
    ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo",
                                        Record({folder + "\\a.bin", folder + "\\sub\\b.bin", folder + "\\ZRXUnInst.exe"})));
    for (const Case& c : cases) {
        ASSERT_TRUE(testkit::WriteFileBytes(c.probePath, probe));
        const testkit::RunResult run = DriveTree(c.exe, "\"" + c.exe + "\" /S", c.exe.substr(0, c.exe.rfind('\\')), NoDialog, testkit::Answer(IDCANCEL));
        EXPECT_FALSE(run.timedOut) << c.description;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.description;
        EXPECT_EQ(Exists(c.probePath + ".loaded"), c.loaded) << c.description;
        ::DeleteFileA(c.probePath.c_str());
        ::DeleteFileA((c.probePath + ".loaded").c_str());
    }
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kWineSetting, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        if (hadSetting) {
            ::RegSetValueExA(key.get(), "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(had),
                             static_cast<DWORD>(std::string(had).size() + 1));
        } else {
            ::RegDeleteValueA(key.get(), "version");
        }
    }
}
