#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/Controls.h"
#include "testkit/UiDriver.h"
#include "testkit/WideText.h"
#include "ui/OptionsDialog.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr int kInstall = 1;
constexpr int kEdit = 1000;
constexpr int kBrowse = 1001;
constexpr int kCancel = 1002;

// What one Show returned, as options_host reports it.
struct ShowResult {
    bool accepted = false;
    std::string folder;
};

// Runs options_host and hands its dialogs to the test, one per Show.
class OptionsHostRun {
public:
    explicit OptionsHostRun(const std::vector<std::string>& args) {
        static int runs = 0;
        report = testkit::MakeScratchFolder("options-" + std::to_string(++runs));
        std::string line = "options_host.exe \"" + report + "\\report.txt\"";
        for (const std::string& arg : args) line += " \"" + arg + "\"";
        started = child.Start(testkit::OwnFolder() + "\\options_host.exe", line);
    }
    ~OptionsHostRun() { testkit::RemoveTree(report); }

    // The next dialog the host shows; null when none appears.
    HWND NextDialog() {
        if (!started) return nullptr;
        HWND dialog = testkit::WaitForWindow(child.Id(), "#32770", kTimeoutMs, previous);
        // A new Show may get the handle of the dialog just ended; wait for it to be a new one.
        if (dialog != nullptr) previous = dialog;
        return dialog;
    }
    DWORD Id() const { return child.Id(); }
    // The results of every Show, once the host ended by itself.
    std::vector<ShowResult> Finish() {
        std::vector<ShowResult> results;
        if (!child.Wait(kTimeoutMs) || child.ExitCode() != 0) return results;
        std::ifstream in(report + "\\report.txt", std::ios::binary);
        std::string line;
        while (std::getline(in, line)) results.push_back({line.compare(0, 2, "1 ") == 0, line.substr(2)});
        return results;
    }

private:
    std::string report;
    testkit::ChildProcess child;
    bool started = false;
    HWND previous = nullptr;
};

// Install pressed on the host's last dialog: the one Show it made accepted folder.
void ExpectAccepted(OptionsHostRun& host, HWND dialog, const std::string& folder) {
    testkit::PostCommand(dialog, kInstall);
    const std::vector<ShowResult> results = host.Finish();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].accepted);
    EXPECT_EQ(results[0].folder, folder);
}

std::string EditText(HWND dialog) { return testkit::WindowText(testkit::FindControl(dialog, kEdit)); }

void Type(HWND dialog, const std::string& text) { ASSERT_TRUE(testkit::SetEditText(testkit::FindControl(dialog, kEdit), text)); }

// Types folder, presses Install, expects the refusal box (text, caption) and OK's it; the dialog
// that shows again, checked to hold what was typed, or null.
HWND RefusedAndShownAgain(OptionsHostRun& host, HWND dialog, const std::string& folder, const std::string& text,
                          const std::string& caption) {
    if (!testkit::SetEditText(testkit::FindControl(dialog, kEdit), folder)) return nullptr;
    testkit::PostCommand(dialog, kInstall);
    HWND box = host.NextDialog();
    testkit::MessageBoxInfo info;
    if (box == nullptr || !testkit::ReadMessageBox(box, info)) return nullptr;
    EXPECT_EQ(info.text, text);
    EXPECT_EQ(info.caption, caption) << "named as typed, never mangled";
    testkit::ClickButton(box, testkit::PressOk(info));
    HWND again = host.NextDialog();
    if (again != nullptr) {
        EXPECT_EQ(EditText(again), folder) << "what was typed is kept";
    }
    return again;
}

}  // namespace

TEST(OptionsDialog, OpensWithTheProjectCaptionAndTheProposedFolder) {
    struct Case {
        const char* description;
        std::vector<std::string> args;
        std::string caption;
        std::string edit;
    } cases[] = {
        {"named project", {"name=Demo", "folder=C:\\Program Files\\Demo"}, "Demo Installation Options",
         "C:\\Program Files\\Demo"},
        {"no name, no folder", {}, "Installation Options", ""},
        {"long folder cut to 259", {"longfolder=300"}, "Installation Options", "C:\\" + std::string(256, 'f')},
        {"long name cut so the suffix shows", {"longname=400"},
         std::string(278, 'N') + " Installation Options", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        OptionsHostRun host(c.args);
        HWND dialog = host.NextDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(testkit::WindowText(dialog), c.caption);
        EXPECT_EQ(EditText(dialog), c.edit);
        // The parent handed to Show is not used.
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), nullptr);
        EXPECT_EQ(::GetParent(dialog), nullptr);
        testkit::ControlInfo install;
        ASSERT_TRUE(testkit::ReadControl(testkit::FindControl(dialog, kInstall), install));
        EXPECT_EQ(install.text, "Install");
        // An empty folder is refused on Install (see below): those dialogs are cancelled.
        const bool full = !c.edit.empty();
        ASSERT_TRUE(testkit::SendCommand(dialog, full ? kInstall : kCancel));
        const std::vector<ShowResult> results = host.Finish();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].accepted, full);
        EXPECT_EQ(results[0].folder, c.edit);
    }
}

TEST(OptionsDialog, EndsThroughInstallCancelAndTheCloseBoxOnly) {
    using Action = std::function<void(HWND dialog)>;
    struct Case {
        const char* description;
        Action end;
        bool accepted;
    } cases[] = {
        {"Install button", [](HWND d) { testkit::PostCommand(d, kInstall); }, true},
        {"Install clicked", [](HWND d) { ::PostMessageA(testkit::FindControl(d, kInstall), BM_CLICK, 0, 0); }, true},
        {"Enter in the edit box", [](HWND d) { testkit::PostKey(testkit::FindControl(d, kEdit), VK_RETURN); }, true},
        {"Cancel button", [](HWND d) { testkit::PostCommand(d, kCancel); }, false},
        {"close box", [](HWND d) { ::PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, false},
        // Escape issues the standard cancel command, which is ignored: the Install behind it counts.
        {"Escape, then Install",
         [](HWND d) {
             testkit::PostKey(testkit::FindControl(d, kEdit), VK_ESCAPE);
             testkit::PostCommand(d, IDCANCEL);
             testkit::PostCommand(d, kInstall);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        OptionsHostRun host({"name=Demo", "folder=C:\\Demo"});
        HWND dialog = host.NextDialog();
        ASSERT_NE(dialog, nullptr);
        Type(dialog, "D:\\Games\\Typed");
        c.end(dialog);
        const std::vector<ShowResult> results = host.Finish();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].accepted, c.accepted);
        // Cancelled or not, the folder typed so far is held.
        EXPECT_EQ(results[0].folder, "D:\\Games\\Typed");
    }
}

TEST(OptionsDialog, AFolderThatIsNoFullPathIsRefusedAndTheDialogShowsAgain) {
    // Each would install below the root of whatever drive is current, beyond uninstalling.
    for (const std::string typed : {"", "Relative\\Folder", "C:Games", "\\Games", "\\\\"}) {
        SCOPED_TRACE("typed: " + typed);
        OptionsHostRun host({"name=Demo", "folder=C:\\Demo"});
        HWND dialog = host.NextDialog();
        ASSERT_NE(dialog, nullptr);
        HWND again = RefusedAndShownAgain(host, dialog, typed,
                                          "Please enter a full folder path, for example C:\\Program Files\\Demo.", "Demo");
        ASSERT_NE(again, nullptr);
        Type(again, "\\\\server\\share\\Demo");
        ExpectAccepted(host, again, "\\\\server\\share\\Demo");
    }
}

// Letters outside the ANSI code page would reach the install as "?". A folder that exists is
// handed over by a narrow name that names it (its short name); one that does not exist yet has
// none and is refused with a box naming it as typed, and the dialog shows again.
TEST(OptionsDialog, AFolderNamedOutsideTheAnsiCodePageIsTakenExactlyOrRefused) {
    const std::string scratch = testkit::MakeScratchFolder("options-code-page");
    const std::string existing = scratch + u8"\\Łódź";
    const std::string missing = scratch + u8"\\Łódź Nowa";
    ASSERT_TRUE(testkit::MakeFoldersWide(existing));
    OptionsHostRun host({"name=Demo", "folder=C:\\Demo", "shows=2"});
    HWND dialog = host.NextDialog();
    ASSERT_NE(dialog, nullptr);
    Type(dialog, existing);
    testkit::PostCommand(dialog, kInstall);

    HWND second = host.NextDialog();
    ASSERT_NE(second, nullptr);
    HWND again = RefusedAndShownAgain(host, second, missing,
                                      "This folder's name has letters outside the system's code page and no short "
                                      "name, so the program cannot use it.",
                                      missing);
    ASSERT_NE(again, nullptr);
    testkit::PostCommand(again, kCancel);

    const std::vector<ShowResult> results = host.Finish();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].accepted);
    wchar_t named[MAX_PATH] = {};
    ASSERT_NE(::GetLongPathNameW(testkit::Widen(results[0].folder).c_str(), named, MAX_PATH), 0u) << results[0].folder;
    EXPECT_EQ(testkit::Utf8(named), existing) << results[0].folder;
    EXPECT_FALSE(results[1].accepted);
    EXPECT_FALSE(testkit::ExistsWide(missing));
    testkit::RemoveTreeWide(scratch);
}

TEST(OptionsDialog, EscapeAndTheStandardCancelLeaveTheDialogOpen) {
    OptionsHostRun host({"folder=C:\\Demo"});
    HWND dialog = host.NextDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(testkit::SendCommand(dialog, IDCANCEL));
    testkit::PostKey(testkit::FindControl(dialog, kEdit), VK_ESCAPE);
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    // The posted messages are handled before anything sent after them.
    ASSERT_TRUE(testkit::Synchronise(dialog));
    ASSERT_TRUE(testkit::SendCommand(dialog, 0));
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(EditText(dialog), "C:\\Demo");
    testkit::PostCommand(dialog, kCancel);
    const std::vector<ShowResult> results = host.Finish();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].accepted);
}

TEST(OptionsDialog, EditsOverLongAreCutTo259) {
    OptionsHostRun host({});
    HWND dialog = host.NextDialog();
    ASSERT_NE(dialog, nullptr);
    const std::string typed = "C:\\" + std::string(297, 't');
    Type(dialog, typed);
    ExpectAccepted(host, dialog, typed.substr(0, 259));
}

TEST(OptionsDialog, OnceAcceptedASecondShowStaysAccepted) {
    OptionsHostRun host({"folder=C:\\Demo", "shows=2"});
    HWND first = host.NextDialog();
    ASSERT_NE(first, nullptr);
    testkit::PostCommand(first, kInstall);
    ASSERT_TRUE(testkit::WaitForWindowGone(first, kTimeoutMs));
    HWND second = host.NextDialog();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(EditText(second), "C:\\Demo");
    Type(second, "C:\\Elsewhere");
    testkit::PostCommand(second, kCancel);
    const std::vector<ShowResult> results = host.Finish();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].accepted);
    EXPECT_TRUE(results[1].accepted);
    EXPECT_EQ(results[1].folder, "C:\\Elsewhere");
}

namespace {

// Presses Browse and returns the folder browser it opens (a dialog of the host owned by the
// options dialog), or null. The browser runs its own modal loop inside the command: the press
// is posted, not waited for.
HWND OpenBrowser(const OptionsHostRun& host, HWND dialog) {
    testkit::PostCommand(dialog, kBrowse);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kTimeoutMs) {
        for (const testkit::WindowInfo& window : testkit::TopLevelWindows(host.Id())) {
            if (window.visible && window.window != dialog && ::GetWindow(window.window, GW_OWNER) == dialog) {
                return window.window;
            }
        }
        ::Sleep(20);
    }
    return nullptr;
}

BOOL CALLBACK FindText(HWND child, LPARAM param) {
    auto* wanted = reinterpret_cast<std::pair<std::string, bool>*>(param);
    if (testkit::WindowText(child) == wanted->first) wanted->second = true;
    return TRUE;
}

bool ShowsText(HWND window, const std::string& text) {
    std::pair<std::string, bool> wanted(text, false);
    ::EnumChildWindows(window, FindText, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
}

}  // namespace

TEST(OptionsDialog, CancelledFolderBrowserChangesNothing) {
    OptionsHostRun host({"folder=C:\\Demo"});
    HWND dialog = host.NextDialog();
    ASSERT_NE(dialog, nullptr);
    HWND browser = OpenBrowser(host, dialog);
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(ShowsText(browser, "Select Installation Directory"));
    testkit::ClickButton(browser, IDCANCEL);
    ASSERT_TRUE(testkit::WaitForWindowGone(browser, kTimeoutMs));
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_EQ(EditText(dialog), "C:\\Demo");
    ExpectAccepted(host, dialog, "C:\\Demo");
}

TEST(OptionsDialog, FolderChosenInTheBrowserReplacesTheEditText) {
    OptionsHostRun host({"folder=C:\\Demo"});
    HWND dialog = host.NextDialog();
    ASSERT_NE(dialog, nullptr);
    HWND browser = OpenBrowser(host, dialog);
    ASSERT_NE(browser, nullptr);
    // OK takes the browser's initial selection, a file-system folder (the browser offers only those).
    testkit::ClickButton(browser, IDOK);
    ASSERT_TRUE(testkit::WaitForWindowGone(browser, kTimeoutMs));
    const std::string chosen = EditText(dialog);
    EXPECT_NE(chosen, "C:\\Demo");
    const DWORD attributes = ::GetFileAttributesA(chosen.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << chosen;
    ExpectAccepted(host, dialog, chosen);
}

// The object's own state, without a dialog.
TEST(OptionsDialogObject, ProjectNameMakesTheTitle) {
    const std::string suffix = " Installation Options";
    struct Case {
        const char* description;
        const char* name;
        std::string title;
    } cases[] = {
        {"null keeps the default", nullptr, "Installation Options"},
        {"plain name", "Demo", "Demo" + suffix},
        {"empty name", "", suffix},
    };
    for (const Case& c : cases) {
        OptionsDialog dialog;
        dialog.SetProjectName(c.name);
        EXPECT_EQ(std::string(dialog.title), c.title) << c.description;
        EXPECT_STREQ(dialog.GetFolder(), "") << c.description;
        EXPECT_FALSE(dialog.accepted) << c.description;
    }
    // 278 characters fill the title exactly; longer names lose their end, never the suffix.
    for (size_t length : {277u, 278u, 279u, 299u, 600u}) {
        OptionsDialog dialog;
        const std::string name(length, 'n');
        dialog.SetProjectName(name.c_str());
        EXPECT_EQ(std::string(dialog.title), name.substr(0, 278) + suffix) << length;
    }
}

TEST(OptionsDialogObject, ShowWithoutTemplateCountsAsCancelled) {
    // This test program holds no dialog templates.
    OptionsDialog dialog;
    EXPECT_FALSE(dialog.Show(::GetModuleHandleA(nullptr), nullptr, "C:\\Proposed"));
    EXPECT_STREQ(dialog.GetFolder(), "C:\\Proposed");
    dialog.OnFolderEdited(nullptr);
    EXPECT_STREQ(dialog.GetFolder(), "C:\\Proposed");
}
