#include "CommandLine.h"

#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CommandLineOptions ParseCommandLine(const char* arguments) {
    CommandLineOptions options;
    if (arguments == nullptr) return options;
    const char* p = arguments;
    while (*p != '\0') {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') break;
        if (std::strncmp(p, "/D=", 3) == 0) {
            // The folder is the rest of the line: it may hold spaces and is never quoted by
            // the tools that write this form, though a quoted one is accepted.
            const char* begin = p + 3;
            const char* end = begin + std::strlen(begin);
            while (end > begin && IsBlank(end[-1])) --end;
            if (end - begin >= 2 && *begin == '"' && end[-1] == '"') {
                ++begin;
                --end;
            }
            const size_t length = static_cast<size_t>(end - begin);
            if (length >= sizeof(options.folder)) {
                options.folderTooLong = true;
            } else {
                std::memcpy(options.folder, begin, length);
                options.folder[length] = '\0';
            }
            break;
        }
        const char* start = p;
        while (*p != '\0' && !IsBlank(*p)) ++p;
        if (p - start == 2 && start[0] == '/' && start[1] == 'S') options.silent = true;
    }
    return options;
}
