#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "PackageFixture.h"

namespace testkit {

// A complete project-install package (ProjectType 2) made from the built components of
// binFolder. Each configuration key can be left out to provoke its message.
struct InstallOptions {
    bool withCheckDx8 = true;
    bool checkDx8 = false;
    bool withRunAfterInstall = true;
    bool runAfterInstall = false;
    bool withInstallPath = true;
    std::string installPath = "C:\\Program Files\\Orvan3D Test";
    bool withShortCutName = true;
    std::string shortCutName = "\\Orvan3D Test\\Test Project";
    bool withProjectName = true;
    std::string projectName = "Test Project";
    // Where the viewer writes its report; empty: none.
    std::string note;
};

struct InstallPackage {
    PackageFixture fixture;
    // Every file the installation writes below its folder, named as in the package (a name
    // may begin with a backslash), in the order they are extracted, with the content each
    // must have on disk.
    std::vector<std::pair<std::string, Bytes>> files;
};

InstallPackage MakeInstallPackage(const std::string& binFolder, const InstallOptions& options);

}  // namespace testkit
