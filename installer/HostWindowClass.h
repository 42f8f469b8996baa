#pragma once

// The host window's class and title; the engine is initialised against the class name.
constexpr const char* kHostWindowClass = "Orvan3DExe Window";
constexpr const char* kHostWindowTitle = "Orvan3DExe";
