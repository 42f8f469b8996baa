#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "package/PackageSchema.h"
#include "testkit/PackageFixture.h"

namespace testkit {

// The boxes and entry of the test project's installation, as Boxes gives them.
constexpr char kCopyErrorBox[] =
    "There was an error while trying to copy one of the installation files.\nPlease make sure no applications are "
    "running that might be locking some files. / Installation Error";
constexpr char kInstallSuccessText[] =
    "Installation successfully completed!\r\nYou are able to find the installed program in the Start menu.";
constexpr char kTestUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3DTest Project";

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
    // The project files (name below the folder, content) instead of the two of the test project.
    std::vector<std::pair<std::string, Bytes>> projectFiles;
    // Entry name -> file of binFolder packed under that name instead of its own.
    std::map<std::string, std::string> substitutes;
};

struct InstallPackage {
    PackageFixture fixture;
    // Every file the installation writes below its folder, named as in the package (a name
    // may begin with a backslash), in the order they are extracted, with the content each
    // must have on disk.
    std::vector<std::pair<std::string, Bytes>> files;
};

InstallPackage MakeInstallPackage(const std::string& binFolder, const InstallOptions& options);

// A configuration key the mode must find, and the option that leaves it out.
template <typename Options>
struct RequiredKey {
    const char* key;
    bool Options::*with;
};
// The keys of the project mode, in the order the mode reads them.
extern const RequiredKey<InstallOptions> kProjectKeys[5];

// A screen-saver (ProjectType 5) or Winamp plug-in (ProjectType 6) package made from the
// built components of binFolder: the keys each mode reads, each of which can be left out, the
// engine, the uninstaller, the mode's component and the project. No viewer: these
// modes never start it.
struct ComponentInstallOptions {
    int32_t projectType = static_cast<int32_t>(ProjectType::kScreensaver);
    bool withCheckDx8 = true;
    bool checkDx8 = false;
    std::string projectName = "Test Project";
    bool withProjectName = true;
    // The screen saver's keys.
    bool withRunAfterInstall = true;
    bool withInstallPath = true;
    std::string installPath = "C:\\Program Files\\Orvan3D Test";
    bool withDoQuitCgr = true;
    unsigned char doQuitCgr = 1;
    bool withDoSmallPreview = true;
    unsigned char doSmallPreview = 0;
    // The plug-in's keys.
    bool withStartupDirectory = true;
    std::string startupDirectory = "C:\\Program Files\\Orvan3D Test";
    bool withWinampVersion = true;
    unsigned char winampVersion = 5;
    // Component entry name -> file of binFolder packed under that name instead of its own, to
    // build broken installations; entries named in leftOut are not packed at all.
    std::map<std::string, std::string> substitutes;
    std::vector<std::string> leftOut;
};

InstallPackage MakeComponentInstallPackage(const std::string& binFolder, const ComponentInstallOptions& options);

// The keys of the screen-saver mode, in reading order.
extern const RequiredKey<ComponentInstallOptions> kScreensaverKeys[4];

}  // namespace testkit
