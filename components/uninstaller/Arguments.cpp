#include "components/uninstaller/Arguments.h"

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "package/AsciiText.h"

namespace uninstall {

namespace {

// Words as the system's own command-line split would give them for our switches: blanks
// separate, double quotes group and are dropped.
std::vector<std::string> SplitWords(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string word;
        bool quoted = false;
        for (; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"') {
                quoted = !quoted;
            } else {
                word.push_back(*p);
            }
        }
        words.push_back(word);
    }
    return words;
}

bool IsSwitch(const std::string& word, char letter) {
    return word.size() == 2 && (word[0] == '/' || word[0] == '-') && (word[1] | 0x20) == (letter | 0x20);
}

// "/LOG=" in any letter case, then the file.
bool IsLogSwitch(const std::string& word) {
    if (word.size() < 5 || word[0] != '/' || word[4] != '=') return false;
    std::string name = word.substr(1, 3);
    for (char& c : name) c = LowerAscii(c);
    return name == "log";
}

}  // namespace

Arguments ParseArguments(const char* commandLine) {
    Arguments out;
    if (commandLine == nullptr) return out;
    const std::vector<std::string> words = SplitWords(commandLine);
    // The first word is the program's own name.
    for (size_t i = 1; i < words.size(); ++i) {
        if (IsSwitch(words[i], 'S')) {
            out.silent = true;
        } else if (IsLogSwitch(words[i])) {
            out.logGiven = true;
            out.logPath = words[i].substr(5);
        } else if (IsSwitch(words[i], 'D') && i + 1 < words.size()) {
            out.isCopy = !words[i + 1].empty();
            out.installFolder = words[++i];
        } else if (IsSwitch(words[i], 'W') && i + 1 < words.size()) {
            out.waitHandle = static_cast<uint32_t>(std::strtoul(words[++i].c_str(), nullptr, 16));
        } else if (IsSwitch(words[i], 'P') && i + 1 < words.size()) {
            out.outcomeHandle = static_cast<uint32_t>(std::strtoul(words[++i].c_str(), nullptr, 16));
        }
    }
    return out;
}

std::string CopyCommandLine(const std::string& copyPath, const std::string& installFolder, uint32_t waitHandle,
                            uint32_t outcomeHandle, bool silent, const std::string& logPath) {
    char handles[40];
    std::snprintf(handles, sizeof(handles), " /W %lx /P %lx", static_cast<unsigned long>(waitHandle),
                  static_cast<unsigned long>(outcomeHandle));
    std::string line = "\"" + copyPath + "\" /D \"" + installFolder + "\"" + handles;
    if (silent) line += " /S";
    if (!logPath.empty()) line += " \"/LOG=" + logPath + "\"";
    return line;
}

}  // namespace uninstall
