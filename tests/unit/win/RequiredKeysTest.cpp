// Each install mode, in this process, over a package that lacks one of the keys it cannot go
// without: one box naming the key, no dialog, nothing written.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "installer/Installer.h"
#include "testkit/InstallPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"

using testkit::Bytes;

namespace {

// Cancels every dialog this process shows while it lives, noting its title: a mode that went
// on past a missing key fails the test instead of waiting for a user.
class DialogCanceller {
public:
    DialogCanceller() : watcher([this] { Watch(); }) {}
    DialogCanceller(const DialogCanceller&) = delete;
    DialogCanceller& operator=(const DialogCanceller&) = delete;
    ~DialogCanceller() {
        done = true;
        watcher.join();
    }
    std::vector<std::string> Titles() {
        std::lock_guard<std::mutex> lock(guard);
        return titles;
    }

private:
    void Watch() {
        while (!done) {
            for (const testkit::WindowInfo& window : testkit::TopLevelWindows(::GetCurrentProcessId())) {
                if (!window.visible || window.className != "#32770") continue;
                {
                    std::lock_guard<std::mutex> lock(guard);
                    titles.push_back(window.title);
                }
                testkit::CancelOptions(window.window);
            }
            ::Sleep(50);
        }
    }

    std::atomic<bool> done{false};
    std::mutex guard;
    std::vector<std::string> titles;
    std::thread watcher;  // last: it starts once the rest is made
};

class RequiredKeys : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        proposed = scratch + "\\Proposed Folder";
        systemFolder = scratch + "\\system";
    }
    void TearDown() override { testkit::RemoveTree(scratch); }

    // Runs mode on an Installer over image with every root it writes below the scratch folder
    // and key; each box is recorded, each dialog cancelled.
    struct Outcome {
        bool done = true;
        std::vector<std::string> boxes;
        std::vector<std::string> dialogs;
        int created = 0;  // files and folders recorded
    };
    Outcome Run(const Bytes& image, bool (Installer::*mode)()) {
        testkit::MemoryPackageHost host(image);
        testkit::RecordingMessages messages;
        Outcome outcome;
        {
            DialogCanceller dialogs;
            Installer installer(host, messages);
            installer.Init(::GetModuleHandleA(nullptr), nullptr);
            installer.SetPlaces({root.Root(), root.Root(), systemFolder.c_str(), root.Root(), root.Root()});
            outcome.done = (installer.*mode)();
            outcome.created = installer.CreatedFiles().Count() + installer.CreatedFolders().Count();
            outcome.dialogs = dialogs.Titles();
        }
        outcome.boxes = messages.shown;
        for (const std::string& box : host.messages) outcome.boxes.push_back(box);
        return outcome;
    }
    void ExpectRefused(const Outcome& outcome, const std::string& box, const std::string& what) {
        EXPECT_FALSE(outcome.done) << what;
        EXPECT_EQ(outcome.boxes, std::vector<std::string>{box + " / Error"}) << what;
        EXPECT_EQ(outcome.dialogs, std::vector<std::string>{}) << what;
        EXPECT_EQ(outcome.created, 0) << what;
        EXPECT_FALSE(testkit::Exists(proposed)) << what;
        EXPECT_FALSE(testkit::Exists(systemFolder)) << what;
        EXPECT_FALSE(testkit::KeyExists(root.Root(), "SOFTWARE")) << what;
    }

    std::string scratch;
    std::string proposed;
    std::string systemFolder;
    testkit::ScratchKey root{"RequiredKeys"};
};

}  // namespace

TEST_F(RequiredKeys, TheProjectInstallNamesEachMissingKeyInReadingOrder) {
    testkit::InstallOptions cumulative;
    cumulative.installPath = proposed;
    for (const auto& c : testkit::kProjectKeys) {
        testkit::InstallOptions options;
        options.installPath = proposed;
        options.*c.with = false;
        cumulative.*c.with = false;
        const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(512, 0x90));
        ExpectRefused(Run(image, &Installer::InstallProject), std::string("Can't find project type ") + c.key, c.key);
    }
    // With every key missing only the first one read is reported.
    const Bytes image = testkit::MakeInstallPackage(testkit::OwnFolder(), cumulative).fixture.Image(Bytes(512, 0x90));
    ExpectRefused(Run(image, &Installer::InstallProject), "Can't find project type CheckDx8", "every key missing");
}

TEST_F(RequiredKeys, TheComponentInstallsNameEachMissingKey) {
    using Options = testkit::ComponentInstallOptions;
    struct Case {
        int32_t projectType;
        bool Options::*remove;  // the key left out
        std::string box;
    };
    std::vector<Case> cases;
    for (const auto& key : testkit::kScreensaverKeys) {
        cases.push_back({5, key.with, std::string("Can't find project type ") + key.key});
    }
    cases.push_back({6, &Options::withCheckDx8, "Can't find project type CheckDx8"});
    cases.push_back({6, &Options::withStartupDirectory, "Can't find project type StartupDirectory"});
    cases.push_back({6, &Options::withProjectName, "Can't find project type ProjectName"});
    cases.push_back({6, &Options::withWinampVersion, "Can't find winamp version"});
    for (const Case& c : cases) {
        Options options;
        options.projectType = c.projectType;
        options.installPath = proposed;
        options.startupDirectory = proposed;
        options.*c.remove = false;
        const Bytes image =
            testkit::MakeComponentInstallPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(512, 0x90));
        ExpectRefused(Run(image, c.projectType == 5 ? &Installer::InstallScreensaver : &Installer::InstallWinampPlugin),
                      c.box, "ProjectType " + std::to_string(c.projectType) + ": " + c.box);
    }
}
