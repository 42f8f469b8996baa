#include "testkit/WideText.h"

#include <vector>

#include "testkit/Files.h"

namespace testkit {

namespace {

std::wstring WidenFrom(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

}  // namespace

std::wstring Widen(const std::string& utf8) { return WidenFrom(CP_UTF8, utf8); }

std::wstring WidenAnsi(const std::string& ansi) { return WidenFrom(CP_ACP, ansi); }

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::string Utf8FromAnsi(const std::string& ansi) { return Utf8(WidenAnsi(ansi)); }

bool ExistsWide(const std::string& path) { return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFoldersWide(const std::string& path) {
    const std::wstring wide = Widen(path);
    for (size_t i = 3; i <= wide.size(); ++i) {
        if (i < wide.size() && wide[i] != L'\\') continue;
        ::CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
    }
    return (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0 && ExistsWide(path);
}

void RemoveTreeWide(const std::string& path) { RemoveTree(Widen(path)); }

ScopedEnvironment::ScopedEnvironment(const char* variable) : name(Widen(variable)) {
    std::wstring old(32768, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name.c_str(), &old[0], 32768);
    existed = n != 0 && n < 32768;
    if (existed) saved.assign(old, 0, n);
}

ScopedEnvironment::ScopedEnvironment(const char* variable, const std::string& value) : ScopedEnvironment(variable) {
    Set(value);
}

void ScopedEnvironment::Set(const std::string& value) { ::SetEnvironmentVariableW(name.c_str(), Widen(value).c_str()); }

ScopedEnvironment::~ScopedEnvironment() { ::SetEnvironmentVariableW(name.c_str(), existed ? saved.c_str() : nullptr); }

}  // namespace testkit
