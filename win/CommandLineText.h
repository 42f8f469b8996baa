#pragma once

// The arguments of a whole command line, narrow or wide: what follows the program's name
// (quoted, or up to the first blank) and the blanks after it. An unclosed quote takes the rest.
namespace win {

template <typename Char>
const Char* SkipProgramName(const Char* commandLine) {
    const Char* p = commandLine;
    if (*p == Char('"')) {
        ++p;
        while (*p != Char('\0') && *p != Char('"')) ++p;
        if (*p == Char('"')) ++p;
    } else {
        while (*p != Char('\0') && *p != Char(' ') && *p != Char('\t')) ++p;
    }
    while (*p == Char(' ') || *p == Char('\t')) ++p;
    return p;
}

}  // namespace win
