#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/Controls.h"
#include "testkit/UiDriver.h"
#include "ui/ProgressWindow.h"
#include "win/Handle.h"

using testkit::ProgressInfo;

namespace {

constexpr DWORD kStepTimeoutMs = 20000;

// Runs progress_host with a script and stops with it at each of its "wait" steps.
class ProgressHostRun {
public:
    explicit ProgressHostRun(const std::vector<std::string>& steps) {
        static int runs = 0;
        const std::string prefix =
            "orvan-progress-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++runs);
        ready.reset(::CreateEventA(nullptr, FALSE, FALSE, (prefix + "-ready").c_str()));
        next.reset(::CreateEventA(nullptr, FALSE, FALSE, (prefix + "-next").c_str()));
        std::string line = "progress_host.exe " + prefix;
        for (const std::string& step : steps) line += " \"" + step + "\"";
        started = child.Start(testkit::OwnFolder() + "\\progress_host.exe", line);
    }

    // True when the host reached its next "wait" step.
    bool AtStep() {
        if (!started) return false;
        HANDLE events[] = {ready.get()};
        const DWORD start = ::GetTickCount();
        while (::WaitForMultipleObjects(1, events, FALSE, 50) != WAIT_OBJECT_0) {
            if (child.Wait(0) || ::GetTickCount() - start > kStepTimeoutMs) return false;
        }
        return true;
    }
    void Continue() { ::SetEvent(next.get()); }
    // The host's visible dialog window; null when it shows none.
    HWND Window() {
        for (const testkit::WindowInfo& window : testkit::TopLevelWindows(child.Id())) {
            if (window.visible && window.className == "#32770") return window.window;
        }
        return nullptr;
    }
    HWND Bar() { return testkit::FindControl(Window(), 1003); }
    ProgressInfo Progress() {
        ProgressInfo info;
        info.position = -1;
        testkit::ReadProgressBar(Bar(), info);
        return info;
    }
    // Exit code once the host ended by itself.
    DWORD Finish() {
        Continue();
        return child.Wait(kStepTimeoutMs) ? child.ExitCode() : 0xFFFFFFFF;
    }

private:
    win::Handle ready, next;
    testkit::ChildProcess child;
    bool started = false;
};

}  // namespace

TEST(ProgressWindow, BarFollowsFractionsTruncatedOnARangeOf500) {
    struct Case {
        const char* fraction;
        int position;
    } cases[] = {
        {"0", 0},     {"0.05", 25}, {"0.1", 50}, {"0.25", 125}, {"0.3", 150},
        {"0.95", 474},  // 0.949999988 as a float: truncated, not rounded
        {"1.0", 500},
        {"1.5", 500},   // not checked by the window: the bar clamps
        {"-0.2", 0},
    };
    std::vector<std::string> steps = {"text=Copying files", "create", "wait"};
    for (const Case& c : cases) {
        steps.push_back(std::string("p=") + c.fraction);
        steps.push_back("wait");
    }
    ProgressHostRun host(steps);

    ASSERT_TRUE(host.AtStep());
    HWND window = host.Window();
    ASSERT_NE(window, nullptr) << "the window shows without a separate ShowWindow";
    EXPECT_EQ(testkit::WindowText(window), "Copying files");
    testkit::ControlInfo bar;
    ASSERT_TRUE(testkit::ReadControl(host.Bar(), bar));
    EXPECT_EQ(bar.className, "msctls_progress32");
    ProgressInfo start = host.Progress();
    EXPECT_EQ(start.minimum, 0);
    EXPECT_EQ(start.maximum, 500);
    EXPECT_EQ(start.position, 0);
    for (const Case& c : cases) {
        host.Continue();
        ASSERT_TRUE(host.AtStep()) << c.fraction;
        EXPECT_EQ(host.Window(), window);
        EXPECT_EQ(host.Progress().position, c.position) << "fraction " << c.fraction;
    }
    EXPECT_EQ(host.Finish(), 0u);
}

TEST(ProgressWindow, CaptionIsStoredBeforeCreateAndAppliedDirectlyAfter) {
    const std::string longText(300, 'x');
    ProgressHostRun host({"create", "wait",                       // no SetText: the template's caption
                          "close", "text=First", "create", "wait",  // stored text
                          "text=Second", "wait",                   // applied at once
                          "close", "create", "wait",               // the stored text again, not the last set
                          "close", "text=" + longText, "create", "wait"});
    const char* expected[] = {"Installing...", "First", "Second", "First"};
    for (const char* caption : expected) {
        ASSERT_TRUE(host.AtStep()) << caption;
        ASSERT_NE(host.Window(), nullptr) << caption;
        EXPECT_EQ(testkit::WindowText(host.Window()), caption);
        host.Continue();
    }
    ASSERT_TRUE(host.AtStep());
    EXPECT_EQ(testkit::WindowText(host.Window()), longText.substr(0, 259));
    EXPECT_EQ(host.Finish(), 0u);
}

TEST(ProgressWindow, WithoutAWindowProgressAndCloseDoNoHarm) {
    ProgressHostRun host({"p=0.5", "close", "create", "wait",    // progress before Create is lost
                          "close", "p=0.7", "close", "close", "wait",  // and after Close
                          "create", "close", "renew", "p=0.2", "close"});
    ASSERT_TRUE(host.AtStep());
    ASSERT_NE(host.Window(), nullptr);
    EXPECT_EQ(host.Progress().position, 0);
    host.Continue();
    ASSERT_TRUE(host.AtStep());
    EXPECT_EQ(host.Window(), nullptr);
    EXPECT_EQ(host.Finish(), 0u);
}

TEST(ProgressWindow, ProgressTakesQueuedInputOffWithoutChangingTheWindow) {
    ProgressHostRun host({"text=Busy", "create", "p=0.25", "wait", "p=0.3", "drained", "wait"});
    ASSERT_TRUE(host.AtStep());
    HWND window = host.Window();
    ASSERT_NE(window, nullptr);
    // What a user might throw at a busy window; the window ends only when the mode closes it.
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    testkit::PostKey(window, VK_ESCAPE);
    testkit::PostKey(host.Bar(), VK_RETURN);
    ::PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    host.Continue();
    ASSERT_TRUE(host.AtStep()) << "messages for the window were still queued after SetProgress";
    EXPECT_EQ(host.Window(), window);
    EXPECT_EQ(testkit::WindowText(window), "Busy");
    EXPECT_EQ(host.Progress().position, 150);
    EXPECT_EQ(host.Finish(), 0u);
}

// Only a new position repaints and pumps: asking for the same step again costs nothing.
TEST(ProgressWindow, OnlyANewPositionRepaintsAndANewWindowStartsOver) {
    ProgressHostRun host({"create", "p=0.3", "wait", "p=0.3001", "queued", "p=0.31", "drained",  // 150, 150, 155
                          "close", "create", "p=0.31", "wait"});
    ASSERT_TRUE(host.AtStep());
    ::PostMessageA(host.Window(), WM_USER + 1, 0, 0);
    host.Continue();
    ASSERT_TRUE(host.AtStep()) << "the posted message was taken off for an unchanged position, or kept for a new one";
    EXPECT_EQ(host.Progress().position, 155) << "a new window took the old window's position for its own";
    EXPECT_EQ(host.Finish(), 0u);
}

// The object's own state, without a window.
TEST(ProgressWindowObject, TextIsKeptUntilCreate) {
    struct Case {
        const char* description;
        std::vector<const char*> texts;
        std::string expected;
    } cases[] = {
        {"new object", {}, "Installing..."},
        {"null changes nothing", {"Setup", nullptr}, "Setup"},
        {"last one wins", {"One", "Two"}, "Two"},
        {"empty is a text", {""}, ""},
    };
    for (const Case& c : cases) {
        ProgressWindow progress;
        for (const char* text : c.texts) progress.SetText(text);
        EXPECT_EQ(std::string(progress.text), c.expected) << c.description;
        EXPECT_EQ(progress.window, nullptr) << c.description;
    }
    ProgressWindow progress;
    const std::string longText = std::string(259, 'a') + "bcdef";
    progress.SetText(longText.c_str());
    EXPECT_EQ(std::string(progress.text), longText.substr(0, 259));
}
