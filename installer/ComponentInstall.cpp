// What the screen-saver and plug-in installations share: their start, and their common end
// once their component is in place.
#include "engine/ChunkSchema.h"
#include "installer/Installer.h"
#include "installer/ProgressPoints.h"
#include "package/LittleEndian.h"
#include "win/FormatText.h"

namespace {

// What the screen saver and the plug-in are given as their "SCTI" value.
constexpr uint32_t kTimingValue = 20;

}  // namespace

bool Installer::StartComponentInstall(const char* projectName, const char* proposedFolder, bool noClimbing) {
    if (!ChooseFolderWithProgress(projectName, proposedFolder, noClimbing) || !CheckBeforeWriting(projectName)) return false;
    if (!ExtractEngineFiles()) return false;
    if (!LoadEngine()) return false;
    SetProgress(progress_point::kEngineStarted);
    return true;
}

bool Installer::FinishComponentInstall(const char* configName, const char* projectName,
                                       bool (Installer::*optionsWriter)(FileSaverChannel*)) {
    if (!CreateFileLoader()) return false;
    if (!ExtractChannels() || !ExtractProjectFiles()) return false;

    bool recorded = false;
    {
        // Destroyed before the engine that made it is released.
        EngineObject<FileSaverChannel> saver(CreateChannelAs<FileSaverChannel>(channelFactory, kFileSaverChannelId));
        if (saver.get() != nullptr) {
            OwnPath configPath;
            SavedFile config;
            const bool opened = OpenSaved(saver.get(), OwnFileInFolder(configPath, configName), config);
            if (opened) {
                // Cannot be cut: the engine files, whose longest name is 37 characters longer
                // than the start file's, were written below this folder within MAX_PATH.
                char startFile[kTextFieldSize] = {};
                (void)win::FormatText(startFile, sizeof(startFile), "%s\\%s", installFolder, kStartFile);
                WriteChunk(saver.get(), kConfigStartFileTag, startFile, kTextFieldSize);
                unsigned char timing[4];
                StoreU32(timing, kTimingValue);
                WriteChunk(saver.get(), kConfigTimingTag, timing, sizeof(timing));
                if (!(this->*optionsWriter)(saver.get())) {
                    // The partial file goes with the rest of the run.
                    CloseSaved(saver.get(), configPath, config, false);
                    return false;
                }
            }
            // False when it was not opened or a write failed (see WriteUninstallRecord). A
            // component without its configuration would not start: as good as not copied.
            recorded = CloseSaved(saver.get(), configPath, config, opened) &&
                       WriteUninstallRecord(saver.get(), projectName, true);
        }
    }
    // Without a record the install could never be removed: no entry announces it.
    ReleaseEngine();
    if (!recorded) {
        ShowCopyError();
        return false;
    }
    if (!RegisterViewer() || !RegisterUninstall()) return false;
    Commit();
    CloseProgress();
    messages.Show("Installation successfully completed!", projectName, MB_ICONINFORMATION);
    return true;
}

bool Installer::ClaimInstallFolder() {
    if (!folders->Elevated()) return true;
    if (::GetFileAttributesA(installFolder) == INVALID_FILE_ATTRIBUTES) {
        win::AdminFolderSecurity security;
        if (security.Build()) {
            // Created now, before the first file, so that nobody else's file can be in it.
            char inside[kFolderCapacity + 1];
            (void)win::FormatText(inside, sizeof(inside), "%s\\", installFolder);  // one more than installFolder holds
            newFolderSecurity = security.Attributes();
            // One that cannot be made is refused below, or fails at the first file.
            (void)CreateFoldersOf(inside, kFolderCapacity - 1);
            newFolderSecurity = nullptr;
        }
    }
    // One that cannot be made fails at the first file, as it always has.
    if (::GetFileAttributesA(installFolder) == INVALID_FILE_ATTRIBUTES) return true;
    // Read back, also for a folder just made: a drive without descriptors keeps none.
    const win::LocalMemory descriptor = folders->Security(installFolder);
    if (descriptor && !win::OthersCanWrite(descriptor.get())) return true;
    return RefuseItem(installFolder, kOthersCanWriteText);
}
