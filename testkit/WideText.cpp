#include "testkit/WideText.h"

#include <vector>

#include "win/Handle.h"

namespace testkit {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::string Utf8FromAnsi(const std::string& ansi) {
    if (ansi.empty()) return std::string();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
    return Utf8(wide);
}

bool ExistsWide(const std::string& path) { return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFoldersWide(const std::string& path) {
    const std::wstring wide = Widen(path);
    for (size_t i = 3; i <= wide.size(); ++i) {
        if (i < wide.size() && wide[i] != L'\\') continue;
        ::CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
    }
    return (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0 && ExistsWide(path);
}

void RemoveTreeWide(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        WIN32_FIND_DATAW found;
        std::vector<std::string> names;
        {
            win::FindHandle find(::FindFirstFileW((wide + L"\\*").c_str(), &found));
            if (find) {
                do {
                    const std::wstring name = found.cFileName;
                    if (name != L"." && name != L"..") names.push_back(path + "\\" + Utf8(name));
                } while (::FindNextFileW(find.get(), &found));
            }
        }
        for (const std::string& name : names) RemoveTreeWide(name);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::RemoveDirectoryW(wide.c_str());
    } else {
        ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(wide.c_str());
    }
}

ScopedEnvironment::ScopedEnvironment(const char* variable, const std::string& value) : name(Widen(variable)) {
    wchar_t old[32768];
    const DWORD n = ::GetEnvironmentVariableW(name.c_str(), old, 32768);
    existed = n != 0 && n < 32768;
    if (existed) saved.assign(old, n);
    ::SetEnvironmentVariableW(name.c_str(), Widen(value).c_str());
}

ScopedEnvironment::~ScopedEnvironment() { ::SetEnvironmentVariableW(name.c_str(), existed ? saved.c_str() : nullptr); }

}  // namespace testkit
