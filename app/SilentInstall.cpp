#include "app/SilentInstall.h"

#include "app/CommandLine.h"
#include "app/Launcher.h"
#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "package/PackageSchema.h"
#include "win/ExactPath.h"

SilentOutcome RunSilentInstall(PackageHost& host, HINSTANCE instance, HWND hostWindow,
                               const CommandLineOptions& options, const win::LogFile& log, SetupExit& exit) {
    QuietMessages quiet(host);
    quiet.SetLog(&log);
    Launcher launcher(quiet, quiet);
    launcher.SetInstanceAndWindow(instance, hostWindow);
    unsigned char raw[4] = {};
    exit = SetupExit::kDamagedPackage;
    if (!launcher.GetPackageValue(kProjectTypeKey, raw, sizeof(raw))) return SilentOutcome::kReported;
    if (static_cast<ProjectType>(LoadU32(raw)) != ProjectType::kInstall) return SilentOutcome::kOtherMode;
    // The folder in its exact narrow form; one without such a form would be another folder,
    // so the install fails before anything is written.
    exit = SetupExit::kFolderRefused;
    char folder[CommandLineOptions::kFolderCapacity] = {};
    if (options.folderTooLong || !win::ToExactPath(options.folder, folder, sizeof(folder))) {
        return SilentOutcome::kReported;
    }

    Installer installer(quiet, quiet);
    installer.Init(instance, hostWindow);
    installer.SetLog(&log);
    const bool installed = installer.InstallProjectSilently(folder, quiet.Failed());
    exit = installed && !quiet.Failed() ? SetupExit::kInstalled : installer.FailureCause();
    return SilentOutcome::kReported;
}
