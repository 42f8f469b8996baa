#pragma once
#include <windows.h>

#include <cstdarg>

#include "win/Handle.h"

namespace win {

// A log that a setup program or the uninstaller writes when asked to ("/LOG=<file>"): UTF-8
// lines, written at once, so that a run that ends early leaves what it did. A write that fails
// is not reported: the log never stops what it describes.
class LogFile {
public:
    // Creates the file anew, or with append adds to its end (the uninstaller's copy writes to
    // the log its starter opened, and the starter again once the copy is done). False when it
    // cannot be opened, or it is a link, has another name, or a link on its way leads it
    // elsewhere; nothing is written then, and nothing is changed there.
    bool Open(const wchar_t* path, bool append);
    bool IsOpen() const { return file.valid(); }
    void Close() { file.reset(); }
    // One line, printf-style; the texts are in the ANSI code page (a box's text keeps its line
    // breaks), a line longer than about 1,500 bytes is cut. Nothing happens while not open.
    void Line(const char* format, ...) const __attribute__((format(ms_printf, 2, 3)));
    void LineV(const char* format, va_list arguments) const;
    // A box that was shown, or that a silent run would have shown.
    void Box(const char* text, const char* caption) const { Line("box: %s - %s", caption, text); }

private:
    FileHandle file;
};

}  // namespace win
