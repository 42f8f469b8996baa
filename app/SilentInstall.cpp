#include "app/SilentInstall.h"

#include "app/CommandLine.h"
#include "app/Launcher.h"
#include "installer/Installer.h"
#include "package/LittleEndian.h"
#include "win/ExactPath.h"

SilentOutcome RunSilentInstall(PackageHost& host, HINSTANCE instance, HWND hostWindow,
                               const CommandLineOptions& options) {
    QuietMessages quiet(host);
    Launcher launcher(quiet, quiet);
    launcher.SetInstanceAndWindow(instance, hostWindow);
    unsigned char raw[4] = {};
    if (!launcher.GetPackageValue("ProjectType", raw, sizeof(raw))) return SilentOutcome::kFailed;
    if (static_cast<int32_t>(LoadU32(raw)) != 2) return SilentOutcome::kOtherMode;
    if (options.folderTooLong) return SilentOutcome::kFailed;
    // The folder in its exact narrow form; one without such a form would be another folder,
    // so the install fails before anything is written.
    char folder[CommandLineOptions::kFolderCapacity] = {};
    if (!win::ToExactPath(options.folder, folder, sizeof(folder))) return SilentOutcome::kFailed;

    Installer installer(quiet, quiet);
    installer.Init(instance, hostWindow);
    const bool installed = installer.InstallProjectSilently(folder, quiet.Failed());
    return installed && !quiet.Failed() ? SilentOutcome::kInstalled : SilentOutcome::kFailed;
}
