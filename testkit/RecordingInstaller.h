#pragma once
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "win/HeapBuffer.h"

namespace testkit {

// An Installer whose lists of created files and folders a test fills directly, as if an
// installation had made them.
class RecordingInstaller : public Installer {
public:
    using Installer::Installer;
    void AddFile(const std::string& path) { createdFiles.Add(win::DuplicateText(path.c_str())); }
    void AddFolder(const std::string& path) { createdFolders.Add(win::DuplicateText(path.c_str())); }
};

// The texts of a list of created files or folders, in order.
inline std::vector<std::string> Strings(const PointerList& list) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.Count(); ++i) out.push_back(static_cast<const char*>(list.Get(i)));
    return out;
}

}  // namespace testkit
