#pragma once
#include <windows.h>

#include <cstdint>

// Whether DirectX 9.0c or later is installed, as the platform records it under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\DirectX "Version" (layout 4.09.00.0904). The root is
// a parameter so that tests read a scratch key instead of the machine's.

// Copies the REG_SZ value valueName of root\SOFTWARE\Microsoft\DirectX into buffer,
// zero-filled up to capacity. False when the key or value is missing, not REG_SZ, or its size
// with the terminator is above capacity; buffer is then unchanged.
bool ReadDirectXValue(HKEY root, const char* valueName, char* buffer, uint32_t capacity);

// True for 9.0c or later: minor above 9, or minor 9 with build >= 904 or sub != 0. The fields
// are cut from fixed positions (minor 2-3, sub 5-6, build 8-11); the major is not consulted.
bool CheckDirectXVersion(HKEY root = HKEY_LOCAL_MACHINE);

// The version rule alone, for a text already read.
bool IsDirectX9cVersionText(const char* version);
