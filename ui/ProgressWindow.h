#pragma once
#include <windows.h>

// The modeless progress window that the installing modes show while they work: a caption and
// one bar with the range 0 to 500. No message loop runs meanwhile, so the bar repaints itself
// after each change.
class ProgressWindow {
public:
    ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    // Destroys the window if there still is one.
    virtual ~ProgressWindow();

    // With a window: sets its caption at once and leaves `text` alone. Without one: stores at
    // most 259 characters of text in `text` for the next Create. Null changes nothing.
    virtual void SetText(const char* text);
    // Puts the bar at fraction × 500, truncated; the bar control clamps it to its range.
    // Without a window, or when the bar already stands there, it does nothing.
    virtual void SetProgress(float fraction);
    // Creates the window from the template IDD_PROGRESSBAR of instance, owned by parent, and
    // returns it (also kept in `window`); null when it cannot be created, which is not reported.
    virtual HWND Create(HINSTANCE instance, HWND parent);
    // Called by the dialog procedure while the window is created.
    virtual void OnInitDialog(HWND dialog);
    // Destroys the window; harmless when there is none.
    virtual void Close();

    HWND window = nullptr;
    char text[260];

private:
    int shownPosition = -1;  // where the bar was last put; none yet on a new window
};
