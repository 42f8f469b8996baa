#include "app/CommandLine.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The value of a switch that begins at p: up to its closing quote when it begins with one, else
// up to the next blank followed by "/" (another switch) or, with toLineEnd, the end of the line,
// trailing blanks removed. Copied into out when it fits, else out stays empty and tooLong is
// set. Returns where the value ended.
const wchar_t* TakeValue(const wchar_t* p, bool toLineEnd, wchar_t (&out)[CommandLineOptions::kFolderCapacity],
                         bool& tooLong) {
    const bool quoted = *p == L'"';
    const wchar_t* begin = quoted ? p + 1 : p;
    const wchar_t* end = begin;
    while (*end != L'\0' && (quoted ? *end != L'"' : toLineEnd || !(IsBlank(end[0]) && end[1] == L'/'))) ++end;
    const wchar_t* after = quoted && *end == L'"' ? end + 1 : end;
    while (end > begin && IsBlank(end[-1])) --end;
    const size_t length = static_cast<size_t>(end - begin);
    tooLong = length >= CommandLineOptions::kFolderCapacity;
    if (!tooLong) {
        std::wmemcpy(out, begin, length);
        out[length] = L'\0';
    }
    return after;
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
            TakeValue(p + 3, true, options.folder, options.folderTooLong);
            break;
        }
        if (p[0] == L'/' && p[1] == L'L' && p[2] == L'O' && p[3] == L'G' && p[4] == L'=') {
            // A log file that does not fit is none: the run is refused.
            bool tooLong = false;
            p = TakeValue(p + 5, false, options.log, tooLong);
            options.logGiven = true;
            continue;
        }
        const wchar_t* start = p;
        while (*p != L'\0' && !IsBlank(*p)) ++p;
        if (p - start == 2 && start[0] == L'/' && start[1] == L'S') options.silent = true;
    }
    return options;
}
