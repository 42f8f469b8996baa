#include "tools/orvanpack/ConsoleHost.h"

#include <cerrno>
#include <cstring>

#include "package/StdioPackageFile.h"

namespace {

// The reader's caption is whatever bytes stand where the header should be; keep the
// terminal safe from them.
std::string Printable(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace

std::unique_ptr<PackageFile> ConsoleHost::OpenOwnFile() {
    errno = 0;
    auto file = StdioPackageFile::Open(path);
    if (!file) {
        Fault(std::string("cannot open: ") + (errno != 0 ? std::strerror(errno) : "unknown error"));
        return nullptr;
    }
    return file;
}

void ConsoleHost::ShowMessage(const char* text, const char* caption) {
    ++faults;
    const std::string shownCaption = Printable(caption != nullptr ? caption : "");
    const std::string shownText = Printable(text != nullptr ? text : "");
    err << path << ": ";
    if (!shownCaption.empty()) err << shownCaption << ": ";
    err << shownText << '\n';
}

void ConsoleHost::Fault(const std::string& text) {
    ++faults;
    err << path << ": " << text << '\n';
}
