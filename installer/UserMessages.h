#pragma once
#include <windows.h>

#include "win/LogFile.h"

// Every box the installer shows goes through here: the program shows real message boxes with
// no owner window, tests record them. The program's own kinds note each box in the install
// log first, a silent run's too (the box it would have shown).
class UserMessages {
public:
    virtual ~UserMessages() = default;
    // Shows text with caption and the MessageBox style; returns the button pressed (IDOK, IDYES...).
    virtual int Show(const char* text, const char* caption, UINT style) = 0;
    // The log boxes are noted in; none: not noted. The caller keeps it open meanwhile.
    void SetLog(const win::LogFile* file) { log = file; }

protected:
    void Note(const char* text, const char* caption) const {
        if (log != nullptr) log->Box(text, caption);
    }

private:
    const win::LogFile* log = nullptr;
};

class SystemMessages : public UserMessages {
public:
    int Show(const char* text, const char* caption, UINT style) override {
        Note(text, caption);
        return ::MessageBoxA(nullptr, text, caption, style);
    }
};
