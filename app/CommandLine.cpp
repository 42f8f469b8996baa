#include "app/CommandLine.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

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
        const wchar_t* start = p;
        while (*p != L'\0' && !IsBlank(*p)) ++p;
        if (p - start == 2 && start[0] == L'/' && start[1] == L'S') options.silent = true;
    }
    return options;
}
