// A project install as a deployment tool runs it, in-process: which scope's registry it writes,
// what its log names, and the cause each failure reports as the exit code.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "app/SilentInstall.h"
#include "installer/Installer.h"
#include "testkit/InstallPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/RecordingMessages.h"
#include "testkit/Registry.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "win/LogFile.h"

using testkit::Bytes;

namespace {

std::string ReadText(const std::string& path) {
    Bytes bytes;
    testkit::ReadFileBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The Start-menu folder of these tests' links, of either scope.
constexpr char kLinkFolder[] = "Orvan3D Outcome Test";

class SetupOutcome : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        RemoveLinks();
    }
    void TearDown() override {
        RemoveLinks();
        testkit::RemoveTree(scratch);
    }
    static void RemoveLinks() {
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            testkit::RemoveTree(testkit::KnownFolder(csidl) + "\\" + kLinkFolder);
        }
    }
    testkit::InstallOptions Options() const {
        testkit::InstallOptions options;
        options.shortCutName = std::string("\\") + kLinkFolder + "\\Test Project";
        return options;
    }

    // A silent install of image into folder, as RunSilentInstall runs it, logging to log.txt.
    bool InstallSilently(const Bytes& image, const std::string& folder, SetupExit& cause) {
        testkit::MemoryPackageHost host(image);
        QuietMessages quiet(host);
        win::LogFile log;
        EXPECT_TRUE(log.Open(testkit::WidenAnsi(scratch + "\\log.txt").c_str(), false));
        quiet.SetLog(&log);
        Installer installer(quiet, quiet);
        installer.Init(::GetModuleHandleA(nullptr), nullptr);
        installer.SetPlaces({machine.Root(), user.Root()});
        installer.SetLog(&log);
        const bool installed = installer.InstallProjectSilently(folder.c_str(), quiet.Failed()) && !quiet.Failed();
        cause = installer.FailureCause();
        return installed;
    }

    std::string scratch;
    testkit::ScratchKey machine{"OutcomeMachine"};
    testkit::ScratchKey user{"OutcomeUser"};
};

}  // namespace

// Per scope: the entries go below that scope's root alone, and the log names the project, each
// file with its size, the registry values and the record.
TEST_F(SetupOutcome, EachScopeWritesItsOwnRootAndTheLogNamesWhatWasWritten) {
    for (const bool perUser : {false, true}) {
        SCOPED_TRACE(perUser ? "per user" : "for all users");
        auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
        package.fixture.Text("ProjectVersion", "2.5");
        if (perUser) package.fixture.Flag("PerUserInstall", true);
        const std::string folder = scratch + (perUser ? "\\Mine" : "\\Everyone's");
        SetupExit cause = SetupExit::kFailed;
        ASSERT_TRUE(InstallSilently(package.fixture.Image(Bytes(512, 0x90)), folder, cause));
        const testkit::ScratchKey& written = perUser ? user : machine;
        const testkit::ScratchKey& untouched = perUser ? machine : user;
        EXPECT_EQ(testkit::QueryText(written.Root(), testkit::kTestUninstallKey, "DisplayVersion"), "2.5");
        EXPECT_FALSE(testkit::KeyExists(untouched.Root(), "SOFTWARE"));
        EXPECT_TRUE(testkit::Exists(testkit::KnownFolder(perUser ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS) + "\\" +
                                    kLinkFolder + "\\Test Project.lnk"));

        const std::string log = ReadText(scratch + "\\log.txt");
        EXPECT_NE(log.find("project: Test Project 2.5, a package of "), std::string::npos) << log;
        EXPECT_NE(log.find("installation folder: " + folder + "\r\n"), std::string::npos) << log;
        for (const auto& [name, bytes] : package.files) {
            const std::string line = "file: " + folder + "\\" + name + " (" + std::to_string(bytes.size()) + " bytes)\r\n";
            EXPECT_NE(log.find(line), std::string::npos) << line;
        }
        EXPECT_NE(log.find("folder: " + folder + "\\\\media\\textures\\\r\n"), std::string::npos);
        EXPECT_NE(log.find("registry value: DisplayName = Test Project\r\n"), std::string::npos);
        EXPECT_NE(log.find("registry value: NoRepair = 1\r\n"), std::string::npos);
        EXPECT_NE(log.find("record: " + folder + "\\uninstall.nfo\r\n"), std::string::npos);
        EXPECT_EQ(log.find("box:"), std::string::npos) << "a sound install shows no box";
        RemoveLinks();
        ::RegDeleteTreeA(written.Root(), "SOFTWARE");
    }
}

// Each failure a caller can act on reports its own cause; the log holds the box the silent run
// would have shown.
TEST_F(SetupOutcome, EachFailureReportsItsCause) {
    const auto package = testkit::MakeInstallPackage(testkit::OwnFolder(), Options());
    const Bytes image = package.fixture.Image(Bytes(512, 0x90));
    Bytes damaged = image;
    ASSERT_TRUE(testkit::DamageEntry(damaged, package.files.back().first));
    auto noShortcut = Options();
    noShortcut.withShortCutName = false;
    const std::string profiles = testkit::KnownFolder(CSIDL_PROFILE);
    const std::string otherProfile = profiles.substr(0, profiles.find_last_of('\\')) + "\\Someone Else\\Demo";
    win::FileHandle held;
    const struct {
        const char* what;
        const Bytes& image;
        std::string folder;
        std::function<void()> prepare;
        SetupExit cause;
        std::string box;  // a part of the box the log names
    } cases[] = {
        {"a damaged project file", damaged, scratch + "\\Damaged", nullptr, SetupExit::kDamagedPackage,
         "box: \\MEDIA\\TEXTURES\\WOOD.BIN - Crc error corrupt file"},
        {"a key missing", testkit::MakeInstallPackage(testkit::OwnFolder(), noShortcut).fixture.Image(Bytes(512, 0)),
         scratch + "\\Incomplete", nullptr, SetupExit::kDamagedPackage, "box: Error - Can't find project type ShortCutName"},
        {"not a full path", image, "Relative", nullptr, SetupExit::kFolderRefused,
         "The installation folder must be a full path"},
        {"another user's profile", image, otherProfile, nullptr, SetupExit::kFolderRefused,
         "This folder lies in another user's profile."},
        {"a file held open", image, scratch + "\\Held",
         [&] {
             ::CreateDirectoryA((scratch + "\\Held").c_str(), nullptr);
             held.reset(::CreateFileA((scratch + "\\Held\\OrvanViewer.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
         },
         SetupExit::kFileInUse, "box: P - OrvanViewer.exe not found"},
        {"a path too long", image, scratch + "\\" + std::string(390 - scratch.size(), 'p'), nullptr,
         SetupExit::kPathTooLong, "The path of this item in the installation folder is too long."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.prepare) c.prepare();
        SetupExit cause = SetupExit::kInstalled;
        EXPECT_FALSE(InstallSilently(c.image, c.folder, cause));
        EXPECT_EQ(static_cast<int>(cause), static_cast<int>(c.cause));
        const std::string log = ReadText(scratch + "\\log.txt");
        EXPECT_NE(log.find(c.box), std::string::npos) << log;
        EXPECT_FALSE(testkit::KeyExists(machine.Root(), "SOFTWARE")) << "no entry for a failed install";
        EXPECT_FALSE(testkit::Exists(c.folder + "\\uninstall.nfo"));
        held.reset();
    }
    EXPECT_FALSE(testkit::Exists(otherProfile)) << "nothing written there";
}

// Answering No to the DirectX question, or leaving the options dialog, is the user's choice.
TEST_F(SetupOutcome, AnsweringNoIsACancel) {
    class NoDirectX : public Installer {
    public:
        using Installer::Installer;
        bool IsDirectXReady() override { return false; }
    };
    auto options = Options();
    options.checkDx8 = true;
    testkit::MemoryPackageHost host(testkit::MakeInstallPackage(testkit::OwnFolder(), options).fixture.Image(Bytes(64, 0)));
    testkit::RecordingMessages messages;
    messages.answer = IDNO;
    NoDirectX installer(host, messages);
    EXPECT_FALSE(installer.InstallProject());
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(static_cast<int>(installer.FailureCause()), static_cast<int>(SetupExit::kCancelled));
}
