#pragma once
#include <set>
#include <string>

namespace testkit {

// Whether a box is one the program may show for a damaged package: its fixed texts, a missing
// entry (named as the text), or a damaged name that would leave its folder or not fit it.
inline bool IsDamagedPackageBox(const std::string& text, const std::string& caption) {
    static const std::set<std::string> texts = {
        "Data header not found!",
        "Crc error corrupt file",
        "Can't find project type",
        "Can't find project type CheckDx8",
        "OrvanViewer.exe not found",
        "Can't init fileloader",
        "Can't find ChannelCount",
        "Can't find FileCount",
        "Error decompress",
        "Unable to start orvanviewer.exe",
        "There was an error while trying to copy one of the installation files.\n"
        "Please make sure no applications are running that might be locking some files.",
    };
    if (texts.count(text) != 0) return true;
    if (caption == "Could not find resource") return true;
    return caption == "Installation Error" &&
           (text.find("\n\nThis item would be written outside the installation folder.") != std::string::npos ||
            text.find("\n\nThe path of this item in the installation folder is too long.") != std::string::npos);
}

}  // namespace testkit
