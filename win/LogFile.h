#pragma once
#include <windows.h>

#include "win/Handle.h"

namespace win {

// A log that a setup program or the uninstaller writes when asked to ("/LOG=<file>"): UTF-8
// lines "label: text", written at once, so that a run that ends early leaves what it did. A
// write that fails is not reported: the log never stops what it describes.
class LogFile {
public:
    // Creates the file anew, or with append adds to it (the uninstaller's copy writes to the log
    // its starter opened). False when it cannot be opened; nothing is written then.
    bool Open(const wchar_t* path, bool append);
    bool IsOpen() const { return file.valid(); }
    // One line, "label: " and the parts, which are in the ANSI code page (a box's text keeps its
    // line breaks). Nothing happens while the log is not open.
    void Line(const char* label, const char* text, const char* more = "", const char* last = "") const;

    // "box: <caption> - <text>": a box that was shown, or that a silent run would have shown.
    void Box(const char* text, const char* caption) const { Line("box", caption, " - ", text); }

private:
    FileHandle file;
};

}  // namespace win
