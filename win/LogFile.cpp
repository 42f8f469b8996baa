#include "win/LogFile.h"

#include <cstdio>

namespace win {

namespace {

// A log line: a label, a path or a box's text, and a few words.
constexpr int kLineCapacity = 1536;

}  // namespace

bool LogFile::Open(const wchar_t* path, bool append) {
    file.reset(::CreateFileW(path, append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
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
