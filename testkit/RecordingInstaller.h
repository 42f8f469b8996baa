#pragma once
#include <string>

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

}  // namespace testkit
