// The options dialog at 96 and 144 dots per inch (100 % and 150 %): laid out in dialog units,
// it grows with the system's font and every control stays inside it. Wine takes the setting
// for each new process; Windows only after the next sign-in, so there both runs see the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/Controls.h"
#include "testkit/PackageFixture.h"
#include "testkit/UiDriver.h"
#include "ui/ResourceIds.h"
#include "win/Handle.h"

using testkit::Bytes;

namespace {

constexpr int kFolderEdit = IDC_FOLDER_EDIT;
constexpr int kCancel = IDC_CANCEL_INSTALL;

struct Layout {
    bool seen = false;
    SIZE client = {};
    std::vector<RECT> controls;  // in client coordinates
};

BOOL CALLBACK CollectControl(HWND control, LPARAM param) {
    auto* out = reinterpret_cast<std::pair<HWND, Layout*>*>(param);
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, out->first, reinterpret_cast<POINT*>(&r), 2);
    out->second->controls.push_back(r);
    return TRUE;
}

// The dialog's layout once it is up; then the dialog is cancelled.
Layout DialogLayout(const std::string& exe) {
    Layout layout;
    testkit::ChildProcess child;
    if (!child.Start(exe, "\"" + exe + "\"")) return layout;
    HWND dialog = nullptr;
    for (int i = 0; i < 600 && dialog == nullptr; ++i) {
        HWND candidate = testkit::WaitForWindow(child.Id(), "#32770", 50);
        if (candidate != nullptr && testkit::FindControl(candidate, kFolderEdit) != nullptr) dialog = candidate;
    }
    if (dialog == nullptr) return layout;
    RECT client;
    ::GetClientRect(dialog, &client);
    layout.client = {client.right, client.bottom};
    std::pair<HWND, Layout*> context{dialog, &layout};
    ::EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&context));
    layout.seen = true;
    testkit::PostCommand(dialog, kCancel);
    child.Wait(10000);
    return layout;
}

// HKCU\Control Panel\Desktop LogPixels for new processes, put back on destruction.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi) {
        ::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr);
        DWORD size = sizeof(saved);
        hadValue = ::RegQueryValueExA(key.get(), "LogPixels", nullptr, &savedType, reinterpret_cast<BYTE*>(&saved),
                                      &size) == ERROR_SUCCESS;
        ::RegSetValueExA(key.get(), "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }
    ~SystemDpi() {
        if (hadValue) {
            ::RegSetValueExA(key.get(), "LogPixels", 0, savedType, reinterpret_cast<const BYTE*>(&saved), sizeof(saved));
        } else {
            ::RegDeleteValueA(key.get(), "LogPixels");
        }
    }

private:
    win::RegKey key;
    DWORD saved = 0;
    DWORD savedType = REG_DWORD;
    bool hadValue = false;
};

}  // namespace

TEST(HighDpi, OptionsDialogGrowsWithTheSystemFontAndCutsNoControl) {
    const std::string scratch = testkit::MakeScratchFolder("HighDpi");
    Bytes stub;
    ASSERT_TRUE(testkit::ReadFileBytes(testkit::OwnFolder() + "\\Orvan3DExe.exe", stub));
    const std::string exe = scratch + "\\Setup.exe";
    ASSERT_TRUE(testkit::WriteFileBytes(exe, testkit::PackageFixture()
                                                 .Number("ProjectType", 2)
                                                 .Flag("CheckDx8", false)
                                                 .Flag("RunAfterInstall", false)
                                                 .Text("InstallPath", scratch + "\\Target")
                                                 .Text("ShortCutName", "\\HighDpi\\HighDpi")
                                                 .Text("ProjectName", "HighDpi")
                                                 .Image(stub)));
    std::vector<Layout> layouts;
    for (DWORD dpi : {96u, 144u}) {
        SystemDpi setting(dpi);
        layouts.push_back(DialogLayout(exe));
        const Layout& layout = layouts.back();
        ASSERT_TRUE(layout.seen) << dpi;
        EXPECT_EQ(layout.controls.size(), 6u) << dpi;
        for (const RECT& r : layout.controls) {
            EXPECT_GE(r.left, 0) << dpi;
            EXPECT_GE(r.top, 0) << dpi;
            EXPECT_LE(r.right, layout.client.cx) << dpi;
            EXPECT_LE(r.bottom, layout.client.cy) << dpi;
        }
        std::printf("%lu dpi: client %ld x %ld\n", dpi, layout.client.cx, layout.client.cy);
    }
    EXPECT_GE(layouts[1].client.cx, layouts[0].client.cx);
    EXPECT_GE(layouts[1].client.cy, layouts[0].client.cy);
    testkit::RemoveTree(scratch);
    ::RemoveDirectoryA(scratch.c_str());
}
