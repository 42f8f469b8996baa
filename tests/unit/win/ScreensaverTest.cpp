#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "testkit/ComponentPackage.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"
#include "testkit/RecordingInstaller.h"
#include "testkit/RecordingMessages.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

using testkit::Bytes;
using testkit::Strings;

namespace {

// An installer whose install folder someone else can write: each extracted file is replaced
// right after it was written.
class OverwrittenInstaller : public Installer {
public:
    using Installer::Installer;
    ExtractResult ExtractFile(const char* name, bool decode) override {
        const ExtractResult result = Installer::ExtractFile(name, decode);
        testkit::WriteFileBytes(std::string(InstallFolder()) + "\\" + name, Bytes{'p', 'l', 'a', 'n', 't', 'e', 'd'});
        return result;
    }
};

// The copy into the system folder, with a scratch folder standing in for it.
class ScreensaverCopy : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = testkit::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        install = scratch + "\\install";
        system = scratch + "\\system";
        ASSERT_TRUE(::CreateDirectoryA(install.c_str(), nullptr));
        saver = testkit::FileBytesOrDie(testkit::OwnFolder() + "\\ZRXSvr.scr");
    }
    void TearDown() override { testkit::RemoveTree(scratch); }

    template <typename Made = Installer>
    std::unique_ptr<Installer> Make(bool withName) {
        testkit::PackageFixture fixture;
        fixture.Raw("ZRXSvr.scr", testkit::ZlibStored(saver));
        if (withName) fixture.Text("ProjectName", "Demo");
        host = std::make_unique<testkit::MemoryPackageHost>(fixture.Image(Bytes(512, 0x90)));
        std::unique_ptr<Installer> installer = std::make_unique<Made>(*host, messages);
        installer->Init(::GetModuleHandleA(nullptr), nullptr);
        EXPECT_TRUE(installer->SetInstallFolder(install.c_str()));
        installer->SetPlaces({HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, system.c_str()});
        return installer;
    }

    std::string scratch, install, system;
    Bytes saver;
    std::unique_ptr<testkit::MemoryPackageHost> host;
    testkit::RecordingMessages messages;
};

TEST_F(ScreensaverCopy, ReplacesTheProjectsSaverAndRecordsIt) {
    ASSERT_TRUE(::CreateDirectoryA(system.c_str(), nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(system + "\\Demo.scr", Bytes{'o', 'l', 'd'}));
    auto installer = Make(true);
    installer->CopyScreensaverToSystem();
    EXPECT_TRUE(messages.shown.empty()) << ::testing::PrintToString(messages.shown);
    Bytes copy;
    ASSERT_TRUE(testkit::ReadFileBytes(system + "\\Demo.scr", copy));
    EXPECT_TRUE(copy == saver);
    EXPECT_EQ(Strings(installer->CreatedFiles()),
              (std::vector<std::string>{install + "\\ZRXSvr.scr", system + "\\Demo.scr"}));
}

// What every user runs comes from the package, not from a folder someone may have changed.
TEST_F(ScreensaverCopy, TheSystemCopyIsMadeFromThePackageNotFromTheInstallFolder) {
    ASSERT_TRUE(::CreateDirectoryA(system.c_str(), nullptr));
    auto installer = Make<OverwrittenInstaller>(true);
    EXPECT_TRUE(installer->CopyScreensaverToSystem());
    Bytes copy;
    ASSERT_TRUE(testkit::ReadFileBytes(system + "\\Demo.scr", copy));
    EXPECT_TRUE(copy == saver);
}

TEST_F(ScreensaverCopy, WithoutAProjectNameNothingIsCopiedOrRecorded) {
    ASSERT_TRUE(::CreateDirectoryA(system.c_str(), nullptr));
    auto installer = Make(false);
    installer->CopyScreensaverToSystem();
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't find project type ProjectName / Error"});
    EXPECT_EQ(Strings(installer->CreatedFiles()), std::vector<std::string>{install + "\\ZRXSvr.scr"});
    WIN32_FIND_DATAA found;
    win::FindHandle copies(::FindFirstFileA((system + "\\*.scr").c_str(), &found));
    EXPECT_FALSE(copies) << found.cFileName;
}

// The screen saver in the display settings' preview: a child of the window it is given, and
// gone with it.
TEST(ScreensaverPreview, RunsInsideTheGivenWindowAndEndsWithIt) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Orvan3D Test Preview Area";
    ::RegisterClassA(&windowClass);
    HWND area = ::CreateWindowExA(0, windowClass.lpszClassName, "preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  150, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(area, nullptr);
    const std::string exe = testkit::OwnFolder() + "\\ZRXSvr.scr";
    testkit::ChildProcess saver;
    ASSERT_TRUE(saver.Start(exe, "\"" + exe + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(area))));
    HWND child = nullptr;
    for (int i = 0; i < 200 && child == nullptr; ++i) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
        child = ::FindWindowExA(area, nullptr, "Orvan3D Screen Saver", nullptr);
        if (child == nullptr) ::Sleep(50);
    }
    ASSERT_NE(child, nullptr) << "no preview inside the given window";
    EXPECT_FALSE(saver.Wait(500)) << "ended by itself";
    ::DestroyWindow(area);
    ASSERT_TRUE(saver.Wait(10000)) << "still running after its window was gone";
    // Beside no "screensaver.cfg" and without a viewer entry it runs blank, and says so.
    EXPECT_EQ(saver.ExitCode(), 2u);
}

TEST(ScreensaverPreview, WithoutAWindowToDrawInItEndsAtOnce) {
    const std::string exe = testkit::OwnFolder() + "\\ZRXSvr.scr";
    testkit::ChildProcess saver;
    ASSERT_TRUE(saver.Start(exe, "\"" + exe + "\" /p 0"));
    ASSERT_TRUE(saver.Wait(10000));
    EXPECT_EQ(saver.ExitCode(), 1u);
}

}  // namespace
