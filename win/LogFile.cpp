#include "win/LogFile.h"

#include <cstdio>
#include <utility>

namespace win {

namespace {

// A log line: a label, a path or a box's text, and a few words.
constexpr int kLineCapacity = 1536;
// The log's path, in full.
constexpr DWORD kPathCapacity = 1024;

// Whether file is the one full names: no link, no junction on the way and no other name (a
// hard link) leads it elsewhere. A privileged run may be given a log in a folder others can
// write; they must not make it overwrite a file of their choice. On a network drive the final
// path is the share's, so there only the file itself is checked.
bool IsNamedFile(HANDLE file, const wchar_t* full) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        info.nNumberOfLinks != 1) {
        return false;
    }
    const wchar_t root[] = {full[0], L':', L'\\', L'\0'};
    if (full[1] == L':' && ::GetDriveTypeW(root) == DRIVE_REMOTE) return true;
    wchar_t named[kPathCapacity];
    wchar_t final[kPathCapacity];
    const DWORD namedLength = ::GetLongPathNameW(full, named, kPathCapacity);
    const DWORD finalLength = ::GetFinalPathNameByHandleW(file, final, kPathCapacity, FILE_NAME_NORMALIZED);
    if (namedLength == 0 || namedLength >= kPathCapacity || finalLength < 4 || finalLength >= kPathCapacity)
        return false;
    // "\\?\C:\..." and "\\?\UNC\server\..." against "C:\..." and "\\server\...".
    const wchar_t* found = final + 4;
    const wchar_t* expected = named;
    if (::CompareStringOrdinal(found, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL) {
        found += 4;
        expected += 2;
    }
    return ::CompareStringOrdinal(found, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool LogFile::Open(const wchar_t* path, bool append) {
    file.reset();
    wchar_t full[kPathCapacity];
    const DWORD length = ::GetFullPathNameW(path, kPathCapacity, full, nullptr);
    if (length == 0 || length >= kPathCapacity) return false;
    // Opened before it is emptied: a file found to lie elsewhere is left as it was. Shared for
    // deleting, as every opener of the log asks for that right.
    FileHandle opened(::CreateFileW(full, (append ? FILE_APPEND_DATA : GENERIC_WRITE) | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return false;
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!IsNamedFile(opened.get(), full)) {
        // Made through a link, it is not left where the link led.
        FILE_DISPOSITION_INFO gone = {TRUE};
        if (created) ::SetFileInformationByHandle(opened.get(), FileDispositionInfo, &gone, sizeof(gone));
        return false;
    }
    if (!append && !::SetEndOfFile(opened.get())) return false;
    file = std::move(opened);
    return true;
}

void LogFile::Line(const char* format, ...) const {
    va_list arguments;
    va_start(arguments, format);
    LineV(format, arguments);
    va_end(arguments);
}

void LogFile::LineV(const char* format, va_list arguments) const {
    if (!file.valid()) return;
    char line[kLineCapacity];
    // The system C library's formatter, as win/FormatText.h; a cut line keeps its end of line.
    const int length = ::_vsnprintf(line, kLineCapacity - 2, format, arguments);
    const int end = length < 0 || length > kLineCapacity - 2 ? kLineCapacity - 2 : length;
    line[end] = '\r';
    line[end + 1] = '\n';
    wchar_t wide[kLineCapacity];
    char utf8[kLineCapacity * 3];
    const int count = ::MultiByteToWideChar(CP_ACP, 0, line, end + 2, wide, kLineCapacity);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, count, utf8, sizeof(utf8), nullptr, nullptr);
    DWORD written = 0;
    if (bytes > 0) ::WriteFile(file.get(), utf8, static_cast<DWORD>(bytes), &written, nullptr);
}

}  // namespace win
