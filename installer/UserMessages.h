#pragma once
#include <windows.h>

// Every box the installer shows goes through here: the program shows real message boxes with
// no owner window, tests record them.
class UserMessages {
public:
    virtual ~UserMessages() = default;
    // Shows text with caption and the MessageBox style; returns the button pressed (IDOK, IDYES...).
    virtual int Show(const char* text, const char* caption, UINT style) = 0;
};

class SystemMessages : public UserMessages {
public:
    int Show(const char* text, const char* caption, UINT style) override {
        return ::MessageBoxA(nullptr, text, caption, style);
    }
};
