#include "win/LogFile.h"

#include "win/FormatText.h"

namespace win {

namespace {

// A log line: a label, a path or a box's text, and a few words.
constexpr int kLineCapacity = 1536;

}  // namespace

bool LogFile::Open(const wchar_t* path, bool append) {
    // Written at its end only, whoever writes: the uninstaller and its copy add to one log.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // A new log starts empty; the handle that emptied it closes at once.
    if (!append) FileHandle(::CreateFileW(path, GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    file.reset(::CreateFileW(path, FILE_APPEND_DATA, kShare, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

void LogFile::Line(const char* label, const char* text, const char* more, const char* last) const {
    if (!file.valid()) return;
    // A line that does not fit is cut: the log describes, it records nothing that is acted on.
    char line[kLineCapacity];
    FormatText(line, sizeof(line), "%s: %s%s%s\r\n", label, text, more, last);
    wchar_t wide[kLineCapacity];
    char utf8[kLineCapacity * 3];
    const int length = ::MultiByteToWideChar(CP_ACP, 0, line, -1, wide, kLineCapacity) - 1;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof(utf8), nullptr, nullptr);
    DWORD written = 0;
    if (bytes > 0) ::WriteFile(file.get(), utf8, static_cast<DWORD>(bytes), &written, nullptr);
}

}  // namespace win
