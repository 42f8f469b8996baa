#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "components/uninstaller/Removal.h"
#include "components/uninstaller/SelfRemoval.h"
#include "components/uninstaller/UninstallRecordReader.h"
#include "installer/Installer.h"
#include "testkit/InstalledContents.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordBytes.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "tests/unit/win/engine/EngineTestHost.h"
#include "win/Handle.h"
#include "win/HeapBuffer.h"

using testkit::Bytes;
using testkit::Exists;

namespace {

using testkit::RecordingInstaller;

std::vector<std::string> Paths(const std::vector<uninstall::LeftItem>& left) {
    std::vector<std::string> out;
    for (const auto& item : left) out.push_back(item.path);
    return out;
}

class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NE(root.Root(), nullptr);
    }
    void TearDown() override { testkit::RemoveTree(scratch); }
    void MakeKey(const std::string& path, const char* name, const std::string& value) {
        ASSERT_TRUE(testkit::SetText(root.Root(), path, name, value));
    }
    bool KeyExists(const std::string& path) { return testkit::KeyExists(root.Root(), path); }

    std::string scratch;
    testkit::ScratchKey root{"Removal"};
};

constexpr char kUninstallBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D";
constexpr char kViewerBase[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\";

}  // namespace

TEST_F(Removal, TheRealWritersRecordReadsBackAsWrittenForEveryMode) {
    enginetest::EngineHost engine;
    ASSERT_TRUE(engine.Load(enginetest::BinFolder(), enginetest::BinFolder()));
    auto saver = engine.Create<FileSaverChannel>(kFileSaverChannelId);
    ASSERT_NE(saver, nullptr);
    testkit::MemoryPackageHost host{testkit::PackageFixture().Image(Bytes(64, 0))};
    testkit::RecordingMessages messages;
    const std::vector<std::string> files = {scratch + "\\OrvanViewer.exe", "C:\\windows\\system32\\Demo.scr",
                                            scratch + "\\" + std::string(300, 'x')};
    const std::vector<std::string> folders = {scratch + "\\A\\", scratch + "\\A\\B\\"};  // creation order
    for (bool marker : {false, true}) {
        RecordingInstaller installer(host, messages);
        ASSERT_TRUE(installer.SetInstallFolder(scratch.c_str()));
        for (const auto& path : files) installer.AddFile(path);
        for (const auto& path : folders) installer.AddFolder(path);
        char name[260] = "Demo";
        EXPECT_TRUE(installer.WriteUninstallRecord(saver.get(), name, marker));

        Bytes written;
        ASSERT_TRUE(testkit::ReadFileBytes(scratch + "\\uninstall.nfo", written));
        // The fixtures and the fuzzer's seeds are made by the same layout.
        EXPECT_EQ(written, testkit::MakeUninstallRecord(files, {folders[1], folders[0]}, "Demo", marker));
        uninstall::UninstallRecord record;
        std::string message;
        ASSERT_TRUE(uninstall::LoadRecord(scratch, record, message)) << message;
        EXPECT_EQ(record.files, (std::vector<std::string>{files[0], files[1]}));
        EXPECT_EQ(record.folders, (std::vector<std::string>{folders[1], folders[0]}));
        EXPECT_EQ(record.skippedPaths, (std::vector<std::string>{files[2].substr(0, 259)}));
        EXPECT_EQ(record.projectName, "Demo");
        EXPECT_EQ(record.hasMarker, marker);
    }
}

TEST_F(Removal, FilesGoFoldersOnlyWhenEmptyAndNothingBelowThemIsTouched) {
    const std::string f = scratch + "\\Install";
    for (const std::string& folder : {f, f + "\\empty", f + "\\kept", f + "\\kept\\deeper", f + "\\file-not-folder"}) {
        if (folder == f + "\\file-not-folder") {
            ASSERT_TRUE(testkit::WriteFileBytes(folder, Bytes(3, 'x')));
        } else {
            ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        }
    }
    for (const std::string& file : {f + "\\a.bin", f + "\\readonly.bin", f + "\\kept\\deeper\\user.txt"}) {
        ASSERT_TRUE(testkit::WriteFileBytes(file, Bytes(10, 'a')));
    }
    ::SetFileAttributesA((f + "\\readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY);

    uninstall::UninstallRecord record;
    record.files = {f + "\\a.bin", f + "\\readonly.bin", f + "\\never-there.bin", f + "\\empty"};
    record.folders = {f + "\\empty\\", f + "\\kept\\", f + "\\file-not-folder\\", f + "\\"};
    record.skippedPaths = {f + "\\cut"};
    std::vector<uninstall::LeftItem> left;
    uninstall::DeleteListedFiles(record, left);
    uninstall::RemoveListedFolders(record, left);

    EXPECT_FALSE(Exists(f + "\\a.bin"));
    EXPECT_FALSE(Exists(f + "\\readonly.bin")) << "read-only is no reason to keep an installed file";
    EXPECT_FALSE(Exists(f + "\\empty"));
    EXPECT_TRUE(Exists(f + "\\kept\\deeper\\user.txt"));
    EXPECT_TRUE(Exists(f + "\\file-not-folder"));
    EXPECT_EQ(Paths(left), (std::vector<std::string>{f + "\\empty", f + "\\cut", f + "\\kept\\", f + "\\"}));
    const std::string summary = uninstall::SummaryText("Demo", left);
    EXPECT_EQ(summary.find("Demo was removed from this computer, except for these items:"), 0u) << summary;
    EXPECT_NE(summary.find(f + "\\kept\\\r\n    (kept: it holds files that were not installed)"), std::string::npos);
    EXPECT_EQ(uninstall::SummaryText("Demo", {}), "Demo was removed from this computer.");
}

TEST_F(Removal, AFileOrFolderHeldForAMomentByAnotherProgramStillGoes) {
    const std::string f = scratch + "\\Install";
    ASSERT_TRUE(::CreateDirectoryA(f.c_str(), nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(f + "\\a.bin", Bytes(10, 'a')));
    // A reader without delete sharing, and a look into the folder as a shell window makes.
    win::FileHandle reader(::CreateFileA((f + "\\a.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.valid());
    WIN32_FIND_DATAA found;
    HANDLE look = ::FindFirstFileA((f + "\\*").c_str(), &found);
    ASSERT_NE(look, INVALID_HANDLE_VALUE);
    std::thread release([&] {
        ::Sleep(300);
        reader.reset();
        ::Sleep(300);
        ::FindClose(look);
    });
    uninstall::UninstallRecord record;
    record.files = {f + "\\a.bin"};
    record.folders = {f + "\\"};
    std::vector<uninstall::LeftItem> left;
    uninstall::DeleteListedFiles(record, left);
    uninstall::RemoveListedFolders(record, left);
    release.join();
    EXPECT_TRUE(left.empty()) << ::testing::PrintToString(Paths(left));
    EXPECT_FALSE(Exists(f));
}

// While the started uninstaller runs, its folder is its current one (as the Start-menu link
// starts it) and holds its file: that folder and its parents are not tried, so nothing waits
// for a folder that cannot go yet; they go once the file has.
TEST_F(Removal, FoldersHoldingTheRunningUninstallerWaitWithoutBeingTried) {
    const std::string vendor = scratch + "\\Vendor";
    const std::string f = vendor + "\\Install";
    for (const std::string& made : {vendor, f, f + "\\sub"}) ASSERT_TRUE(::CreateDirectoryA(made.c_str(), nullptr));
    const std::string starter = f + "\\ZRXUnInst.exe";
    ASSERT_TRUE(testkit::WriteFileBytes(starter, Bytes(4, 'u')));
    char before[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryA(MAX_PATH, before), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA(f.c_str()));
    uninstall::UninstallRecord record;
    record.folders = {f + "\\sub\\", f + "\\"};
    record.parentFolders = {vendor + "\\"};
    int pauses = 0;
    const uninstall::Pause count = [&](const std::string&) { ++pauses; };
    std::vector<uninstall::LeftItem> left;
    uninstall::RemoveListedFolders(record, left, starter, count);
    ::SetCurrentDirectoryA(before);
    EXPECT_EQ(pauses, 0);
    EXPECT_TRUE(left.empty()) << ::testing::PrintToString(Paths(left));
    EXPECT_FALSE(Exists(f + "\\sub"));
    EXPECT_TRUE(Exists(f));

    ASSERT_TRUE(::DeleteFileA(starter.c_str()));
    uninstall::RemoveListedFolders(record, left, "", count);
    EXPECT_EQ(pauses, 0);
    EXPECT_TRUE(left.empty()) << ::testing::PrintToString(Paths(left));
    EXPECT_FALSE(Exists(vendor));
}

TEST_F(Removal, EntriesGoOnlyWhileTheyStillDescribeThisInstallation) {
    const std::string folder = "C:\\Program Files\\Demo";
    struct Case {
        const char* description;
        std::string name;
        std::string uninstallString;  // empty: the key is not made
        std::string viewerFolder;
        bool withSubKey;
        bool uninstallGone, viewerGone;
    } cases[] = {
        {"this installation's, quoted", "Demo", "\"" + folder + "\\ZRXUnInst.exe\"", folder, false, true, true},
        {"unquoted, other case and slashes", "Demo", "c:/program files/DEMO/zrxuninst.exe", folder + "\\", false,
         true, true},
        {"a later installation elsewhere", "Demo", "\"D:\\Other\\ZRXUnInst.exe\"", "D:\\Other", false, false, false},
        {"a key that holds more than an installation writes", "Demo", "\"" + folder + "\\ZRXUnInst.exe\"", folder,
         true, false, false},
        {"an empty name would name every project's parent key", "", "\"" + folder + "\\ZRXUnInst.exe\"", folder,
         false, false, false},
    };
    for (const Case& c : cases) {
        const std::string uninstallKey = kUninstallBase + c.name;
        const std::string viewerKey = kViewerBase + c.name;
        MakeKey(uninstallKey, "UninstallString", c.uninstallString);
        MakeKey(viewerKey, "DisplayName", c.viewerFolder);
        MakeKey(kViewerBase + std::string("Another Project"), "DisplayName", "C:\\Another");
        if (c.withSubKey) {
            MakeKey(uninstallKey + "\\Extra", "x", "y");
            MakeKey(viewerKey + "\\Extra", "x", "y");
        }
        uninstall::RemoveEntries(root.Root(), c.name, folder);
        EXPECT_EQ(!KeyExists(uninstallKey), c.uninstallGone) << c.description;
        EXPECT_EQ(!KeyExists(viewerKey), c.viewerGone) << c.description;
        EXPECT_TRUE(KeyExists(kViewerBase + std::string("Another Project"))) << c.description;
        ::RegDeleteTreeA(root.Root(), "SOFTWARE");
    }
}

TEST_F(Removal, OnlyTheUninstallersOwnCopiesCountAsLeftovers) {
    struct Case {
        const char* name;
        bool isCopy;
    } cases[] = {
        {"ZRXUnInst-0badc0de.exe", true}, {"zrxuninst-0000ABCD.EXE", true}, {"ZRXUnInst-0badc0de.exe.txt", false},
        {"ZRXUnInst-notes.exe", false},   {"ZRXUnInst-0badc0d.exe", false}, {"ZRXUnInst.exe", false},
        {"ZRXUnInst-0badc0dex.exe", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(uninstall::IsCopyName(c.name), c.isCopy) << c.name;
        ASSERT_TRUE(testkit::WriteFileBytes(scratch + "\\" + c.name, Bytes(4, 'c'))) << c.name;
    }
    const std::string self = scratch + "\\ZRXUnInst-00000001.exe";
    ASSERT_TRUE(testkit::WriteFileBytes(self, Bytes(4, 's')));
    uninstall::RemoveEarlierCopies(scratch, self);
    for (const Case& c : cases) EXPECT_EQ(Exists(scratch + "\\" + c.name), !c.isCopy) << c.name;
    EXPECT_TRUE(Exists(self)) << "the running copy is not its own leftover";
}

// An installation I in scratch places laid out as the installing modes leave them, next to a
// second installation O of the same project name and files that are nobody's.
TEST_F(Removal, OnlyThisInstallationsPathsAreKeptForRemoval) {
    const std::string i = scratch + "\\Install";
    const std::string o = scratch + "\\Other";
    uninstall::OutsidePlaces places;
    places.programsFolder = scratch + "\\Programs";
    places.systemFolder = scratch + "\\System";
    places.winampFolder = scratch + "\\Winamp\\";  // as the association command gives it
    for (const std::string& folder : {i, o, places.programsFolder, places.programsFolder + "\\Demo",
                                      places.programsFolder + "\\Other", places.systemFolder, scratch + "\\Winamp",
                                      scratch + "\\Winamp\\Plugins"}) {
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    testkit::MemoryPackageHost host{testkit::PackageFixture().Image(Bytes(64, 0))};
    testkit::RecordingMessages messages;
    for (const std::string& folder : {i, o}) {
        RecordingInstaller installer(host, messages);
        ASSERT_TRUE(installer.SetInstallFolder(folder.c_str()));
        const std::string link = places.programsFolder + (folder == i ? "\\Demo\\Demo.lnk" : "\\Other\\Demo.lnk");
        ASSERT_EQ(installer.CreateShortcut((folder + "\\OrvanViewer.exe").c_str(), link.c_str(), "d", nullptr), S_OK);
    }
    const std::string ours[] = {i + "\\a.bin", places.programsFolder + "\\Demo\\Demo.lnk"};
    const std::string copies[] = {places.systemFolder + "\\Demo.scr", scratch + "\\Winamp\\Plugins\\vis_Demo.dll"};
    const std::vector<std::pair<std::string, const char*>> foreign = {
        {scratch + "\\elsewhere.bin", "it lies outside this installation's folder"},
        {places.systemFolder + "\\Another.scr", "it lies outside this installation's folder"},
        {places.programsFolder + "\\Demo\\notes.txt", "it lies outside this installation's folder"},
        {places.programsFolder + "\\Other\\Demo.lnk", "the link now leads to another installation"},
        {i, "it lies outside this installation's folder"},  // the folder itself, listed as a file
    };
    // A plug-in copied into a folder the user chose in the browser: the viewer entry says where.
    const std::string chosen = scratch + "\\Chosen\\Plugins\\vis_Demo.dll";
    struct Case {
        const char* description;
        std::string viewerFolder;  // what the project's viewer entry names
        bool copiesOurs;
    } cases[] = {
        {"the viewer entry names this installation", i + "\\", true},
        {"a later installation of the same name elsewhere", o, false},
    };
    for (const Case& c : cases) {
        MakeKey(kViewerBase + std::string("Demo"), "DisplayName", c.viewerFolder);
        MakeKey(kViewerBase + std::string("Demo"), "ComponentFile", chosen);
        uninstall::UninstallRecord record;
        record.projectName = "Demo";
        record.files = {ours[0], copies[0], ours[1], copies[1], chosen};
        for (const auto& item : foreign) record.files.push_back(item.first);
        record.folders = {places.programsFolder + "\\Other\\", places.programsFolder + "\\Demo\\", i + "\\sub\\",
                          i + "\\", scratch + "\\"};
        record.skippedPaths = {"relative.bin"};
        std::vector<uninstall::LeftItem> left;
        const size_t count = uninstall::KeepOnlyOurs(record, i, places, root.Root(), left);

        std::vector<std::string> kept = {ours[0], ours[1]};
        std::vector<std::pair<std::string, std::string>> expectedLeft;
        if (c.copiesOurs) {
            kept = {ours[0], copies[0], ours[1], copies[1], chosen};
        } else {
            for (const auto& copy : {copies[0], copies[1], chosen}) {
                expectedLeft.push_back({copy, "not removed: it now belongs to another installation of the same name"});
            }
        }
        for (const auto& item : foreign) expectedLeft.push_back({item.first, std::string("not removed: ") + item.second});
        expectedLeft.push_back({places.programsFolder + "\\Other\\", "not removed: it lies outside this installation's folder"});
        EXPECT_EQ(record.files, kept) << c.description;
        EXPECT_EQ(record.folders,
                  (std::vector<std::string>{places.programsFolder + "\\Demo\\", i + "\\sub\\", i + "\\"}))
            << c.description;
        EXPECT_EQ(record.parentFolders, std::vector<std::string>{scratch + "\\"}) << c.description;
        std::vector<std::pair<std::string, std::string>> gotLeft;
        for (const auto& item : left) gotLeft.push_back({item.path, item.reason});
        std::sort(gotLeft.begin(), gotLeft.end());
        std::sort(expectedLeft.begin(), expectedLeft.end());
        EXPECT_EQ(gotLeft, expectedLeft) << c.description;
        EXPECT_EQ(count, expectedLeft.size() + 1) << c.description << ": the skipped path counts too";
    }
    ::RegDeleteTreeA(root.Root(), "SOFTWARE");
}

// Host links stand in for junctions and symbolic links: nothing behind them is touched. (A
// host link to a file shows to Windows calls under Wine as the file itself, so a listed file
// link is not tried here.)
TEST_F(Removal, NothingIsRemovedThroughALink) {
    const std::string f = scratch + "\\Install";
    const std::string target = scratch + "\\Target";
    for (const std::string& folder : {f, target, target + "\\empty"}) {
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    ASSERT_TRUE(testkit::WriteFileBytes(target + "\\t.bin", Bytes(5, 't')));
    if (!testkit::MakeHostLink(f + "\\linked", target)) GTEST_SKIP() << "no host links here";
    ASSERT_NE(::GetFileAttributesA((f + "\\linked").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    uninstall::UninstallRecord record;
    record.files = {f + "\\linked\\t.bin"};
    record.folders = {f + "\\linked\\empty\\", f + "\\linked\\"};
    std::vector<uninstall::LeftItem> left;
    uninstall::DeleteListedFiles(record, left);
    uninstall::RemoveListedFolders(record, left);
    const bool linkKept = Exists(f + "\\linked");
    testkit::RemoveHostLink(f + "\\linked");

    EXPECT_TRUE(Exists(target + "\\t.bin"));
    EXPECT_TRUE(Exists(target + "\\empty"));
    EXPECT_TRUE(linkKept);
    EXPECT_EQ(Paths(left), (std::vector<std::string>{f + "\\linked\\t.bin", f + "\\linked\\empty\\", f + "\\linked\\"}));
    for (const auto& item : left) {
        EXPECT_EQ(item.reason, "not removed: it or a folder on its path is a link to another place") << item.path;
    }
}

// Folders the installation made above its folder are its own; a record may list more, but a
// folder outside that line, a drive's root or a folder the shell knows is never one of them.
TEST_F(Removal, ParentsMadeForTheFolderGoOnceEmptyAndNeverAnyOtherFolder) {
    const std::string vendor = scratch + "\\Vendor";
    const std::string i = vendor + "\\Product";
    const std::string configMsi = scratch + "\\Config.Msi";
    uninstall::OutsidePlaces places;
    // The scratch folder stands for a shell folder such as the Documents folder, listed in
    // another spelling than the shell's.
    places.knownFolders = {testkit::WidenAnsi(scratch)};
    const std::vector<std::string> foreign = {configMsi + "\\", testkit::UpperCase(scratch) + "/", "C:\\"};
    for (const bool otherProduct : {false, true}) {
        for (const std::string& folder : {vendor, i, configMsi, vendor + (otherProduct ? "\\Other" : "")}) {
            ::CreateDirectoryA(folder.c_str(), nullptr);
        }
        uninstall::UninstallRecord record;
        record.projectName = "Demo";
        record.folders = {i + "\\", vendor + "\\"};  // deepest first, as recorded
        record.folders.insert(record.folders.end(), foreign.begin(), foreign.end());
        std::vector<uninstall::LeftItem> left;
        EXPECT_EQ(uninstall::KeepOnlyOurs(record, i, places, root.Root(), left), 3u);
        EXPECT_EQ(record.parentFolders, std::vector<std::string>{vendor + "\\"});
        EXPECT_EQ(Paths(left), foreign);
        left.clear();
        uninstall::RemoveListedFolders(record, left);
        EXPECT_TRUE(left.empty()) << otherProduct << ": " << ::testing::PrintToString(Paths(left));
        EXPECT_FALSE(Exists(i));
        EXPECT_EQ(Exists(vendor), otherProduct) << "kept, unnamed, while it holds another product";
        EXPECT_TRUE(Exists(configMsi)) << "an empty folder outside stays";
        testkit::RemoveTree(vendor);
        testkit::RemoveTree(configMsi);
    }
}

// The race of a standard user against an elevated uninstall: hold an installed file so that
// its delete is tried again, swap its folder for a link to a folder with a file of the same
// name while the uninstaller waits, and let go. The file behind the link stays, named as left.
TEST_F(Removal, AFolderSwappedForALinkDuringTheWaitLeadsNowhere) {
    const std::string f = scratch + "\\Install";
    const std::string canaries = scratch + "\\Canaries";
    if (!testkit::MakeHostLink(scratch + "\\probe", scratch)) GTEST_SKIP() << "no host links here";
    testkit::RemoveHostLink(scratch + "\\probe");
    // A file, or an empty folder held by a look into it.
    for (const bool folder : {false, true}) {
        for (const std::string& made : {f, f + "\\sub", canaries}) ASSERT_TRUE(::CreateDirectoryA(made.c_str(), nullptr));
        const std::string item = f + "\\sub\\item";
        const std::string listed = folder ? item + "\\" : item;
        for (const std::string& made : {item, canaries + "\\item"}) {
            ASSERT_TRUE(folder ? ::CreateDirectoryA(made.c_str(), nullptr) != FALSE : testkit::WriteFileBytes(made, Bytes(4, 'i')));
        }
        win::FileHandle held(::CreateFileA(item.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(held.valid());
        int pauses = 0;
        const uninstall::Pause swap = [&](const std::string& path) {
            if (pauses++ != 0) return;
            EXPECT_EQ(path, listed);
            held.reset();
            ASSERT_TRUE(::MoveFileA((f + "\\sub").c_str(), (f + "\\moved").c_str()));
            ASSERT_TRUE(testkit::MakeHostLink(f + "\\sub", canaries));
        };
        uninstall::UninstallRecord record;
        (folder ? record.folders : record.files).push_back(listed);
        std::vector<uninstall::LeftItem> left;
        folder ? uninstall::RemoveListedFolders(record, left, "", swap)
               : uninstall::DeleteListedFiles(record, left, "", swap);
        testkit::RemoveHostLink(f + "\\sub");
        EXPECT_EQ(pauses, 1) << folder;
        EXPECT_TRUE(Exists(canaries + "\\item")) << folder << ": the canary";
        ASSERT_EQ(left.size(), 1u) << folder;
        EXPECT_EQ(left[0].path, listed);
        EXPECT_EQ(left[0].reason, "not removed: it or a folder on its path is a link to another place");
        testkit::RemoveTree(f);
        testkit::RemoveTree(canaries);
    }
}
