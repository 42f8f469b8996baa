// Whole project installs in-process (silent, below a scratch registry root): an upgrade over a
// previous installation, and a run that fails at any of its steps, which must change nothing.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "testkit/ComponentPackage.h"
#include "testkit/Files.h"
#include "testkit/InstallPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/RecordBytes.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

// Counts the run's steps (each file, link, the engine, the uninstall entry) and fails the one
// numbered failAt (from 1; kLast: the uninstall entry, the last): a write that fails there, with
// what was written before it.
class StepInstaller : public Installer {
public:
    using Installer::Installer;
    ExtractResult ExtractFile(const char* name, bool decode) override {
        return Fails(name) ? ExtractResult::kFailed : Installer::ExtractFile(name, decode);
    }
    HRESULT CreateShortcut(const char* target, const char* link, const char* description, const char* arguments) override {
        return Fails(link) ? E_FAIL : Installer::CreateShortcut(target, link, description, arguments);
    }
    bool LoadEngine() override { return !Fails("engine") && Installer::LoadEngine(); }
    // Fails after its values are written.
    bool RegisterUninstall() override { return Installer::RegisterUninstall() && !Fails("uninstall entry"); }
    static constexpr size_t kLast = SIZE_MAX;
    std::vector<std::string> steps;
    size_t failAt = 0;

private:
    bool Fails(const std::string& step) {
        steps.push_back(step);
        return steps.size() == failAt || (failAt == kLast && step == "uninstall entry");
    }
};

// Notes that a box was shown, as the silent install does, and lets a test act when one is.
class Messages : public testkit::RecordingMessages {
public:
    int Show(const char* text, const char* caption, UINT style) override {
        failed = true;
        if (onShow) onShow();
        return RecordingMessages::Show(text, caption, style);
    }
    bool failed = false;
    std::function<void()> onShow;
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// What an installation changes, by name: the files below the scratch folder and the Start-menu
// folder with their bytes, and the registry below the scratch root with its values.
using Snapshot = std::map<std::string, Bytes>;

// The names whose entries differ between two snapshots, for the failure message.
std::string Differences(const Snapshot& a, const Snapshot& b) {
    std::string out;
    for (const auto& item : a) out += b.count(item.first) == 0 || b.at(item.first) != item.second ? " -" + item.first : "";
    for (const auto& item : b) out += a.count(item.first) == 0 ? " +" + item.first : "";
    return out;
}

class InstallRun : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder = scratch + "\\Vendor\\Demo";
        linkName = "Orvan3D InstallRun " + std::to_string(::GetCurrentProcessId());
        // An install for all users links for all users.
        linkFolder = testkit::KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\" + linkName;
    }
    void TearDown() override {
        testkit::RemoveTree(scratch);
        testkit::RemoveTree(linkFolder);
    }
    Bytes Package(const std::vector<std::pair<std::string, Bytes>>& projectFiles, bool withSaver = true) const {
        testkit::InstallOptions options;
        options.shortCutName = "\\" + linkName + "\\Demo";
        options.projectName = "InstallRun Demo";
        options.projectFiles = projectFiles;
        if (!withSaver) options.substitutes["channels\\ChunkSaver.dll"] = "channels\\ChunkLoader.dll";
        return testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(512, 0x90));
    }
    // Installs image into into (empty: folder) failing step failAt (see StepInstaller); false
    // when the install failed (and was taken back). Its steps are then in steps. Not silent, a
    // box (answered with messages.answer) is no failure of its own.
    bool Run(const Bytes& image, size_t failAt = 0, const std::string& into = "", bool silent = true) {
        testkit::MemoryPackageHost host(image);
        messages.shown.clear();
        messages.failed = false;
        StepInstaller installer(host, messages);
        installer.Init(::GetModuleHandleA(nullptr), nullptr);
        installer.SetPlaces({root.Root()});
        installer.failAt = failAt;
        const bool interactive = false;
        const bool done = installer.InstallProjectSilently((into.empty() ? folder : into).c_str(),
                                                           silent ? messages.failed : interactive);
        steps = installer.steps;
        return done;
    }
    Snapshot Take() const {
        Snapshot s = testkit::TreeContents(scratch);
        for (const auto& link : testkit::TreeContents(linkFolder)) s["link " + link.first] = link.second;
        std::map<std::string, testkit::RegistryValue> registry;
        testkit::AddKeyTree(root.Root(), "SOFTWARE", registry);
        for (const auto& value : registry) s[value.first] = value.second.second;
        return s;
    }
    std::vector<std::string> RecordFiles() const {
        std::vector<std::string> out;
        for (const auto& chunk : testkit::FileChunks(folder + "\\uninstall.nfo")) {
            if (chunk.first == "UNFN" || chunk.first == "UNDN") out.push_back(reinterpret_cast<const char*>(chunk.second.data()));
        }
        return out;
    }

    std::string scratch, folder, linkName, linkFolder;
    testkit::ScratchKey root{"InstallRun"};
    Messages messages;
    std::vector<std::string> steps;
};

const std::vector<std::pair<std::string, Bytes>> kVersion1 = {
    {"\\data\\a.txt", Text("a, version 1")}, {"\\data\\same.txt", Text("same")},
    {"\\data\\c.txt", Text("c, version 1 only")}, {"\\old\\x.bin", Text("x, in a folder version 2 no longer uses")}};
const std::vector<std::pair<std::string, Bytes>> kVersion2 = {
    {"\\data\\a.txt", Text("a, version 2")}, {"\\data\\same.txt", Text("same")}, {"\\data\\d.txt", Text("d, new")},
    {"\\fresh\\y.bin", Text("y, in a new folder")}};

}  // namespace

TEST_F(InstallRun, EveryStepOfAFreshInstallAndOfAnUpgradeIsTakenBackWhenItFails) {
    const Bytes v1 = Package(kVersion1), v2 = Package(kVersion2);
    // The key every machine has; the entry is created below it.
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    auto makeUninstallKey = [&](DWORD options) {
        ::RegDeleteKeyA(root.Root(), uninstall.c_str());
        win::RegKey key;
        return ::RegCreateKeyExA(root.Root(), uninstall.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, key.put(),
                                 nullptr) == ERROR_SUCCESS;
    };
    ASSERT_TRUE(makeUninstallKey(REG_OPTION_NON_VOLATILE));
    for (const bool upgrade : {false, true}) {
        if (upgrade) {
            ASSERT_TRUE(Run(v1));
            ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\data\\save.dat", Text("the user's")));
        }
        const Snapshot before = Take();
        // The last step names them all.
        EXPECT_FALSE(Run(v2, StepInstaller::kLast));
        const std::vector<std::string> all = steps;
        for (size_t step = 1; step <= all.size(); ++step) {
            EXPECT_FALSE(Run(v2, step)) << all[step - 1];
            EXPECT_EQ(Differences(before, Take()), "") << (upgrade ? "upgrade, " : "fresh, ") << all[step - 1];
        }
        EXPECT_FALSE(Run(Package(kVersion2, false)));
        EXPECT_EQ(Differences(before, Take()), "") << "the record cannot be written";
        // A registry value that cannot be written (no lasting key below a volatile one), or whose
        // old value cannot be noted (too long for any of ours), after the values before it.
        if (upgrade) {
            ASSERT_TRUE(testkit::SetText(root.Root(), uninstall + "\\Orvan3DInstallRun Demo", "DisplayIcon",
                                         std::string(2000, 'i')));
        } else {
            ASSERT_TRUE(makeUninstallKey(REG_OPTION_VOLATILE));
        }
        const Snapshot blocked = Take();
        EXPECT_FALSE(Run(v2));
        EXPECT_EQ(Differences(blocked, Take()), "") << (upgrade ? "upgrade" : "fresh") << ", a registry value";
        ASSERT_TRUE(makeUninstallKey(REG_OPTION_NON_VOLATILE));
    }
}

// Version 2 over version 1: what version 2 no longer ships goes with the folder it empties, the
// user's file stays, and the record lists what the installation owns now, version 1's folders
// included. A previous record that is not believed makes a fresh install: nothing it lists goes.
TEST_F(InstallRun, AnUpgradeReplacesWhatTheRecordListsAndOnlyThat) {
    const std::string outside = scratch + "\\outside.bin", elsewhere = scratch + "\\elsewhere";
    ASSERT_TRUE(::CreateDirectoryA(elsewhere.c_str(), nullptr));
    const std::string cut = folder + "\\" + std::string(259 - folder.size() - 1, 'q');
    struct Case {
        const char* what;
        std::function<void(Bytes& record)> change;  // to version 1's record, before version 2
        bool upgrade;     // data\c.txt, listed but no longer shipped, goes
        bool oldGoes;     // old\x.bin and the folder it leaves empty
        bool listsOurs;   // version 1's folders (Vendor\ it created for the folder)
        bool listsOutside;
    } cases[] = {
        {"sound", [](Bytes&) {}, true, true, true, false},
        {"cut short", [](Bytes& r) { r.resize(r.size() - 1); }, false, false, false, false},
        {"another project's", [](Bytes& r) { r[r.size() - 259] ^= 0x20; }, false, false, false, false},
        {"forged: outside, '..', cut and through a link",
         [&](Bytes& r) {
             r = testkit::MakeUninstallRecord({outside, folder + "\\..\\outside.bin", cut, folder + "\\linked\\f.bin",
                                               folder + "\\data\\c.txt"},
                                              {folder + "\\"}, "InstallRun Demo", false);
         },
         true, false, false, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Run(Package(kVersion1))) << c.what;
        for (const std::string& path : {outside, cut, elsewhere + "\\f.bin", folder + "\\data\\save.dat"}) {
            ASSERT_TRUE(testkit::WriteFileBytes(path, Text("not version 2's")));
        }
        ASSERT_TRUE(testkit::MakeHostLink(folder + "\\linked", elsewhere)) << "no host for links";
        Bytes record;
        ASSERT_TRUE(testkit::ReadFileBytes(folder + "\\uninstall.nfo", record));
        c.change(record);
        ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\uninstall.nfo", record));

        ASSERT_TRUE(Run(Package(kVersion2))) << c.what << ::testing::PrintToString(messages.shown);
        for (const auto& file : kVersion2) EXPECT_EQ(testkit::FileBytesOrDie(folder + file.first), file.second) << c.what;
        for (const std::string& path : {outside, cut, elsewhere + "\\f.bin", folder + "\\data\\save.dat"}) {
            EXPECT_TRUE(testkit::Exists(path)) << c.what << ": " << path;
        }
        EXPECT_EQ(testkit::Exists(folder + "\\data\\c.txt"), !c.upgrade) << c.what;
        EXPECT_EQ(testkit::Exists(folder + "\\old"), !c.oldGoes) << c.what;
        const std::vector<std::string> listed = RecordFiles();
        auto lists = [&](const std::string& path) { return std::find(listed.begin(), listed.end(), path) != listed.end(); };
        EXPECT_TRUE(lists(folder + "\\\\fresh\\") && lists(folder + "\\\\data\\d.txt")) << c.what;
        EXPECT_FALSE(lists(folder + "\\data\\c.txt") || lists(folder + "\\\\data\\c.txt")) << c.what;
        EXPECT_EQ(lists(scratch + "\\Vendor\\"), c.listsOurs) << c.what;
        EXPECT_EQ(lists(outside), c.listsOutside) << c.what << ": for the uninstaller to judge";
        testkit::RemoveHostLink(folder + "\\linked");
        testkit::RemoveTree(scratch + "\\Vendor");
        ::RegDeleteTreeA(root.Root(), "SOFTWARE");
    }
}

// Before the first write: a path the program cannot write, a file of the previous installation
// that another program holds (Retry, once it is released, goes on). One box, nothing changed.
TEST_F(InstallRun, WhatCanBeKnownUpFrontIsRefusedBeforeTheFirstWrite) {
    ASSERT_TRUE(Run(Package(kVersion1)));
    const std::string viewer = folder + "\\OrvanViewer.exe";
    const std::string inUse = viewer + "\n\nThis file is in use by another program. Close that program, then choose "
                                       "Retry; Cancel ends the installation. / InstallRun Demo";
    struct Case {
        const char* what;
        std::string into;
        int answer;
        std::vector<std::string> boxes;
        bool installs;  // the Retry case is the one a user has: silently any box is a failure
    } cases[] = {
        {"a path too long", scratch + "\\" + std::string(200 - scratch.size(), 'l'), IDOK,
         {"CHANNELS\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.DLL\n\nThe path of this item in the installation folder is "
          "too long. / Installation Error"},
         false},
        {"the viewer still running, Cancel", folder, IDCANCEL, {inUse}, false},
        {"the viewer still running, Retry once it ended", folder, IDRETRY, {inUse}, true},
    };
    const Bytes v2 = Package(kVersion2);
    for (const Case& c : cases) {
        win::FileHandle running(::CreateFileA(viewer.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(running.valid());
        messages.answer = c.answer;
        messages.onShow = [&] { running.reset(); };
        const Snapshot before = Take();
        EXPECT_EQ(Run(v2, 0, c.into, !c.installs), c.installs) << c.what;
        EXPECT_EQ(messages.shown, c.boxes) << c.what;
        if (!c.installs) {
            EXPECT_EQ(Differences(before, Take()), "") << c.what;
        }
    }
}

// Nothing is written through a link or at one: a folder swapped for a link to another place, a
// link left at a target, or at the temporary names a replacing write used to take.
TEST_F(InstallRun, NothingIsWrittenThroughALinkOrAtOne) {
    const std::string elsewhere = scratch + "\\elsewhere", ghost = scratch + "\\ghost";
    ASSERT_TRUE(::CreateDirectoryA(elsewhere.c_str(), nullptr));
    const struct {
        const char* what;
        bool upgrade;
        std::vector<std::string> links;  // to elsewhere when a folder, else to a file that is gone
        int installs;  // -1: either (Windows refuses a link at a target; Wine replaces the link)
    } cases[] = {
        {"channels a link to another folder", false, {"\\channels"}, 0},
        {"a link at a target", false, {"\\ZRXStart.zrx"}, -1},
        {"links at the old temporary names of replaced files", true, {"\\data\\a.txt.orvan~", "\\uninstall.nfo.orvan~"},
         1},
    };
    for (const auto& c : cases) {
        testkit::RemoveTree(scratch + "\\Vendor");
        if (c.upgrade) {
            ASSERT_TRUE(Run(Package(kVersion1)));
        }
        ::CreateDirectoryA((scratch + "\\Vendor").c_str(), nullptr);
        ::CreateDirectoryA(folder.c_str(), nullptr);
        for (const auto& link : c.links) {
            const bool toFolder = link == "\\channels";
            ::CreateDirectoryA(ghost.c_str(), nullptr);
            ASSERT_TRUE(testkit::WriteFileBytes(ghost + "\\target", Text("ghost")));
            ASSERT_TRUE(testkit::MakeHostLink(folder + link, toFolder ? elsewhere : ghost + "\\target")) << "no host";
            testkit::RemoveTree(ghost);
        }
        const bool installed = Run(Package(kVersion2));
        if (c.installs >= 0) {
            EXPECT_EQ(installed, c.installs == 1) << c.what << ::testing::PrintToString(messages.shown);
        }
        EXPECT_TRUE(testkit::Entries(elsewhere).empty()) << c.what;
        EXPECT_FALSE(testkit::Exists(ghost)) << c.what;
        for (const auto& link : c.links) testkit::RemoveHostLink(folder + link);
    }
}

// One full, normal form of the folder, whatever way it was written: the record, the entry and the
// uninstaller name it alike.
TEST_F(InstallRun, TheFolderIsNamedInOneFullNormalForm) {
    testkit::MemoryPackageHost host(Package(kVersion1));
    Installer installer(host, messages);
    for (const std::string& spelled : {folder, folder + "\\", scratch + "\\\\Vendor\\\\Demo", scratch + "/Vendor/Demo",
                                       scratch + "\\Vendor\\Demo. ", scratch + "\\Vendor\\.\\x\\..\\Demo"}) {
        EXPECT_TRUE(installer.SetInstallFolder(spelled.c_str())) << spelled;
        EXPECT_EQ(installer.InstallFolder(), folder) << spelled;
    }
    ASSERT_TRUE(Run(Package(kVersion1), 0, scratch + "\\\\Vendor//Demo\\"));
    EXPECT_EQ(testkit::QueryText(root.Root(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DInstallRun Demo",
                                 "InstallLocation"),
              folder);
    EXPECT_EQ(RecordFiles().front(), folder + "\\OrvanViewer.exe");
}

// A run that ends while it writes a file (the system closes its handles) leaves nothing of it,
// neither under the file's own name nor under a temporary one.
TEST_F(InstallRun, AFileCutShortByTheEndOfTheRunIsNotLeft) {
    struct Exposed : StepInstaller {
        using StepInstaller::StepInstaller;
        InstallTransaction& Transaction() { return transaction; }
    };
    testkit::MemoryPackageHost host(Package(kVersion1));
    Exposed installer(host, messages);
    ASSERT_TRUE(::CreateDirectoryA((scratch + "\\Vendor").c_str(), nullptr) && ::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(folder + "\\old.bin", Text("a good file")));
    ASSERT_TRUE(installer.SetInstallFolder(folder.c_str()));
    for (const char* name : {"\\new.bin", "\\old.bin"}) {
        bool beside = false;
        win::FileHandle file = installer.Transaction().Create((folder + name).c_str(), beside);
        DWORD written = 0;
        ASSERT_TRUE(file && ::WriteFile(file.get(), "cut", 3, &written, nullptr)) << name;
    }
    EXPECT_EQ(testkit::Tree(folder), std::vector<std::string>{"old.bin"});
    EXPECT_EQ(testkit::FileBytesOrDie(folder + "\\old.bin"), Text("a good file"));
}
