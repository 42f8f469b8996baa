#include "win/ExactPath.h"

#include <cwchar>

namespace win {

namespace {

constexpr size_t kWideCapacity = 1024;

bool ToExactAnsi(const wchar_t* wide, int length, char* path, size_t capacity) {
    return ToExactNarrow(wide, length, path, capacity, ::GetACP(), ::WideCharToMultiByte);
}

}  // namespace

bool ToExactNarrow(const wchar_t* wide, int length, char* path, size_t capacity, UINT codePage,
                   WideToNarrowCall convert) {
    // Three bytes a character fit UTF-8, two every other ANSI code page.
    if (capacity == 0 || capacity > kWideCapacity * 3 || length < 0 || static_cast<size_t>(length) >= kWideCapacity) {
        return false;
    }
    // UTF-8 refuses both the flag and the default-character pointer, and needs neither: every
    // character has a form there, and the round trip still catches a lone surrogate.
    const bool utf8 = codePage == CP_UTF8;
    BOOL lossy = FALSE;
    const int n = convert(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, length, path, static_cast<int>(capacity) - 1,
                          nullptr, utf8 ? nullptr : &lossy);
    if ((n == 0 && length != 0) || lossy) return false;
    path[n] = '\0';
    wchar_t back[kWideCapacity];
    const int m = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path, n, back, kWideCapacity);
    return m == length && std::wmemcmp(back, wide, static_cast<size_t>(length)) == 0;
}

bool ToExactPath(const wchar_t* wide, char* path, size_t capacity) {
    const size_t length = std::wcslen(wide);
    if (length >= kWideCapacity) return false;
    if (ToExactAnsi(wide, static_cast<int>(length), path, capacity)) return true;
    // Shorten the longest existing part; what follows it must convert as it stands.
    wchar_t head[kWideCapacity];
    std::wmemcpy(head, wide, length + 1);
    for (size_t cut = length; cut > 0; --cut) {
        if (cut < length && wide[cut] != L'\\' && wide[cut] != L'/') continue;
        head[cut] = L'\0';
        wchar_t shortHead[kWideCapacity];
        const DWORD n = ::GetShortPathNameW(head, shortHead, kWideCapacity);
        head[cut] = wide[cut];
        if (n == 0 || n >= kWideCapacity) continue;
        const size_t rest = length - cut;
        if (n + rest >= kWideCapacity) return false;
        std::wmemcpy(shortHead + n, wide + cut, rest + 1);
        return ToExactAnsi(shortHead, static_cast<int>(n + rest), path, capacity);
    }
    return false;
}

bool ExactModulePath(HMODULE module, char* path, size_t capacity) {
    wchar_t wide[kWideCapacity];
    const DWORD n = ::GetModuleFileNameW(module, wide, kWideCapacity);
    // A result that fills the buffer may have been cut.
    return n != 0 && n < kWideCapacity - 1 && ToExactPath(wide, path, capacity);
}

bool ExactSystemFolder(char* path, size_t capacity) {
    wchar_t wide[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(wide, MAX_PATH);
    return n != 0 && n < MAX_PATH && ToExactPath(wide, path, capacity);
}

void ShowNoExactPath(HWND owner, const wchar_t* folder) {
    wchar_t text[sizeof(kNoExactPathText)];
    ::MultiByteToWideChar(CP_ACP, 0, kNoExactPathText, -1, text, sizeof(kNoExactPathText));
    ::MessageBoxW(owner, text, folder, MB_OK | MB_ICONERROR);
}

}  // namespace win
