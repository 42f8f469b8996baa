#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/DialogTemplate.h"
#include "testkit/UiDriver.h"
#include "win/Handle.h"

using testkit::DialogControlTemplate;
using testkit::DialogTemplate;

namespace {

constexpr WORD kEnglishUnitedStates = 0x0409;

// Both hosts link the resource object library the way the program does; if the linker dropped
// the templates, these lookups fail.
std::string HostFile(const char* name) { return testkit::OwnFolder() + "\\" + name; }

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    DWORD style;
    int x, y, cx, cy;
};

void ExpectControls(const DialogTemplate& dialog, const std::vector<ExpectedControl>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const DialogControlTemplate& got = dialog.controls[i];
        const ExpectedControl& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + " \"" + want.text + "\"");
        EXPECT_EQ(got.id, want.id);
        // Class names are matched without regard to case by the platform, and the resource
        // compiler stores a named class upper-cased; the live control is checked exactly elsewhere.
        EXPECT_EQ(_stricmp(got.className.c_str(), want.className), 0) << got.className;
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
    }
}

void ExpectFrame(const DialogTemplate& dialog, DWORD style, int cx, int cy, const char* caption) {
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, style) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, cx);
    EXPECT_EQ(dialog.cy, cy);
    EXPECT_EQ(dialog.menu, "");
    EXPECT_EQ(dialog.windowClass, "");
    EXPECT_EQ(dialog.caption, caption);
    EXPECT_TRUE(dialog.hasFont);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.fontName, "MS Sans Serif");
}

}  // namespace

TEST(DialogResources, TemplatesAreStoredByNameInUsEnglishOnly) {
    for (const char* host : {"progress_host.exe", "options_host.exe", "Orvan3DExe.exe"}) {
        for (const char* name : {"IDD_PROGRESSBAR", "IDD_ISNTALLDIALOG"}) {
            SCOPED_TRACE(std::string(host) + " " + name);
            EXPECT_EQ(testkit::DialogLanguages(HostFile(host), name), std::vector<WORD>{kEnglishUnitedStates});
        }
    }
}

TEST(DialogResources, ProgressTemplate) {
    // The program itself carries the same templates as the test hosts.
    for (const char* file : {"progress_host.exe", "Orvan3DExe.exe"}) {
        SCOPED_TRACE(file);
        DialogTemplate dialog;
        ASSERT_TRUE(testkit::LoadDialogTemplate(HostFile(file), "IDD_PROGRESSBAR", kEnglishUnitedStates, dialog));
        // Pop-up, visible, caption, modal frame, centred, own font; no system menu, so no close box.
        ExpectFrame(dialog, 0x90C008C0, 257, 31, "Installing...");
        EXPECT_EQ(dialog.style & WS_SYSMENU, 0u);
        ExpectControls(dialog, {{1003, "msctls_progress32", "Progress1", 0x50800000, 7, 7, 243, 14}});
    }
}

TEST(DialogResources, OptionsTemplate) {
    for (const char* file : {"options_host.exe", "Orvan3DExe.exe"}) {
        SCOPED_TRACE(file);
        DialogTemplate dialog;
        ASSERT_TRUE(testkit::LoadDialogTemplate(HostFile(file), "IDD_ISNTALLDIALOG", kEnglishUnitedStates, dialog));
        ExpectFrame(dialog, 0x90C808C0, 239, 86, "Installation Options");
        // Template order is the tab order.
        ExpectControls(dialog, {
                                   {1, "Button", "Install", 0x50010001, 127, 64, 50, 14},
                                   {1000, "Edit", "", 0x50810080, 14, 35, 157, 14},
                                   {1001, "Button", "Browse...", 0x50010000, 176, 35, 50, 14},
                                   {1002, "Button", "Cancel", 0x50010000, 182, 64, 50, 14},
                                   {-1, "Button", "Target installation directory", 0x50000007, 7, 7, 225, 51},
                                   {-1, "Static", "Please select the target folder for installation.", 0x50020000, 14,
                                    21, 141, 8},
                               });
    }
}

TEST(DialogTemplateParser, RejectsEveryTruncationOfARealTemplate) {
    win::Module module(::LoadLibraryExA(HostFile("options_host.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    HRSRC resource = ::FindResourceA(module.get(), "IDD_ISNTALLDIALOG", RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(::LockResource(::LoadResource(module.get(), resource)));
    const size_t size = ::SizeofResource(module.get(), resource);
    // The last item ends with its extra-data count; the resource may pad beyond it.
    DialogTemplate whole;
    ASSERT_TRUE(testkit::ParseDialogTemplate(bytes, size, whole));
    size_t needed = size;
    while (needed > 0 && testkit::ParseDialogTemplate(bytes, needed - 1, whole)) --needed;
    EXPECT_GE(needed + 4, size);
    for (size_t cut = 0; cut < needed; ++cut) {
        DialogTemplate parsed;
        EXPECT_FALSE(testkit::ParseDialogTemplate(bytes, cut, parsed)) << "cut at " << cut;
    }
}

TEST(DialogTemplateParser, ReadsExtendedTemplates) {
    // DIALOGEX, 1 control: help id, ex style 0x200, style WS_CHILD|WS_VISIBLE, id 70000 (32 bits),
    // class by ordinal 0x85, text by ordinal 5; dialog font with weight 700 and italic.
    const unsigned char bytes[] = {
        0x01, 0x00, 0xFF, 0xFF, 0, 0, 0, 0,                          // version, signature, help id
        0x08, 0, 0, 0, 0x40, 0x00, 0xC8, 0x90,                       // ex style 8, style DS_SETFONT|...
        0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00,  // 1 item, 2, 3, 4 × 5
        0xFF, 0xFF, 0x07, 0x00,                                      // menu #7
        0x00, 0x00,                                                  // standard class
        'H', 0, 'i', 0, 0, 0,                                        // caption
        0x09, 0x00, 0xBC, 0x02, 0x01, 0x00, 'F', 0, 0, 0,            // 9 pt, 700, italic, "F"; ends on 32 bits
        0, 0, 0, 0, 0x00, 0x02, 0, 0, 0, 0, 0, 0x50,                 // help id, ex style, style
        0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00,              // 10, 11, 12 × 13
        0x70, 0x11, 0x01, 0x00,                                      // id 70000
        0xFF, 0xFF, 0x85, 0x00, 0xFF, 0xFF, 0x05, 0x00,              // ComboBox, #5
        0x02, 0x00, 0xAA, 0xBB,                                      // 2 bytes of creation data
    };
    DialogTemplate dialog;
    ASSERT_TRUE(testkit::ParseDialogTemplate(bytes, sizeof(bytes), dialog));
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.style, 0x90C80040u);
    EXPECT_EQ(dialog.exStyle, 8u);
    EXPECT_EQ(dialog.x, 2);
    EXPECT_EQ(dialog.cy, 5);
    EXPECT_EQ(dialog.menu, "#7");
    EXPECT_EQ(dialog.caption, "Hi");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.weight, 700);
    EXPECT_TRUE(dialog.italic);
    EXPECT_EQ(dialog.fontName, "F");
    ASSERT_EQ(dialog.controls.size(), 1u);
    const DialogControlTemplate& control = dialog.controls[0];
    EXPECT_EQ(control.id, 70000);
    EXPECT_EQ(control.className, "ComboBox");
    EXPECT_EQ(control.text, "#5");
    EXPECT_EQ(control.style, 0x50000000u);
    EXPECT_EQ(control.exStyle, 0x200u);
    EXPECT_EQ(control.x, 10);
    EXPECT_EQ(control.cy, 13);
}
