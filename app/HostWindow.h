#pragma once
#include <windows.h>

#include "installer/HostWindowClass.h"

// The invisible host window: it gives the progress window an owner and the engine a
// window and class to attach to. It is never shown and never destroyed by the program.

// Registers the host class; false when registration failed (the caller goes on regardless).
bool RegisterHostWindowClass(HINSTANCE instance);
// Creates the 25 x 25 host window without showing it; null on failure.
HWND CreateHostWindow(HINSTANCE instance);
