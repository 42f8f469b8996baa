#include "app/CommandLine.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Copies [begin, end) without trailing blanks into out when it fits; else out stays empty.
void TakeValue(const wchar_t* begin, const wchar_t* end, wchar_t (&out)[CommandLineOptions::kFolderCapacity]) {
    while (end > begin && IsBlank(end[-1])) --end;
    const size_t length = static_cast<size_t>(end - begin);
    if (length < CommandLineOptions::kFolderCapacity) {
        std::wmemcpy(out, begin, length);
        out[length] = L'\0';
    }
}

// The log file after "/LOG=", as CommandLineOptions describes it; returns where it ended.
const wchar_t* TakeLogFile(const wchar_t* p, CommandLineOptions& options) {
    options.logGiven = true;
    if (*p == L'"') {
        const wchar_t* end = ++p;
        while (*end != L'\0' && *end != L'"') ++end;
        TakeValue(p, end, options.log);
        return *end == L'"' ? end + 1 : end;
    }
    const wchar_t* end = p;
    while (*end != L'\0' && !(IsBlank(end[0]) && end[1] == L'/')) ++end;
    TakeValue(p, end, options.log);
    return end;
}

}  // namespace

CommandLineOptions ParseCommandLine(const wchar_t* arguments) {
    CommandLineOptions options;
    if (arguments == nullptr) return options;
    const wchar_t* p = arguments;
    while (*p != L'\0') {
        while (IsBlank(*p)) ++p;
        if (*p == L'\0') break;
        if (p[0] == L'/' && p[1] == L'D' && p[2] == L'=') {
            // The folder is the rest of the line: it may hold spaces and is never quoted by
            // the tools that write this form, though a quoted one is accepted.
            const wchar_t* begin = p + 3;
            const wchar_t* end = begin + std::wcslen(begin);
            while (end > begin && IsBlank(end[-1])) --end;
            if (end - begin >= 2 && *begin == L'"' && end[-1] == L'"') {
                ++begin;
                --end;
            }
            const size_t length = static_cast<size_t>(end - begin);
            if (length >= CommandLineOptions::kFolderCapacity) {
                options.folderTooLong = true;
            } else {
                std::wmemcpy(options.folder, begin, length);
                options.folder[length] = L'\0';
            }
            break;
        }
        if (p[0] == L'/' && p[1] == L'L' && p[2] == L'O' && p[3] == L'G' && p[4] == L'=') {
            p = TakeLogFile(p + 5, options);
            continue;
        }
        const wchar_t* start = p;
        while (*p != L'\0' && !IsBlank(*p)) ++p;
        if (p - start == 2 && start[0] == L'/' && start[1] == L'S') options.silent = true;
    }
    return options;
}
