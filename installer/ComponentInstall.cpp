#include "installer/ComponentSteps.h"

#include "engine/ChunkSchema.h"
#include "installer/ProgressPoints.h"
#include "installer/SavedFile.h"
#include "package/LittleEndian.h"
#include "win/FormatText.h"

namespace {

// What the screen saver and the plug-in are given as their "SCTI" value.
constexpr uint32_t kTimingValue = 20;

}  // namespace

bool Installer::ComponentSteps::Start(Installer& in, const char* projectName, const char* proposedFolder,
                                      bool noClimbing) {
    if (!in.ChooseFolderWithProgress(projectName, proposedFolder, noClimbing) || !in.CheckBeforeWriting(projectName))
        return false;
    if (!in.ExtractEngineFiles()) return false;
    if (!in.LoadEngine()) return false;
    in.SetProgress(progress_point::kEngineStarted);
    return true;
}

bool Installer::ComponentSteps::Finish(Installer& in, const char* configName, const char* projectName,
                                       OptionsWriter optionsWriter) {
    if (!in.CreateFileLoader()) return false;
    if (!in.ExtractChannels() || !in.ExtractProjectFiles()) return false;

    bool recorded = false;
    {
        // Destroyed before the engine that made it is released.
        EngineObject<FileSaverChannel> saver(CreateChannelAs<FileSaverChannel>(in.channelFactory, kFileSaverChannelId));
        if (saver.get() != nullptr) {
            OwnPath configPath;
            SavedFile config(in.transaction, in.OwnFileInFolder(configPath, configName));
            const bool opened = config.Open(saver.get());
            if (opened) {
                // Cannot be cut: the engine files, whose longest name is 37 characters longer
                // than the start file's, were written below this folder within MAX_PATH.
                char startFile[kTextFieldSize] = {};
                (void)win::FormatText(startFile, sizeof(startFile), "%s\\%s", in.installFolder, kStartFile);
                WriteChunk(saver.get(), kConfigStartFileTag, startFile, kTextFieldSize);
                unsigned char timing[4];
                StoreU32(timing, kTimingValue);
                WriteChunk(saver.get(), kConfigTimingTag, timing, sizeof(timing));
                if (optionsWriter != nullptr && !optionsWriter(in, saver.get())) {
                    // The partial file goes with the rest of the run.
                    config.Close(saver.get(), false);
                    return false;
                }
            }
            // False when it was not opened or a write failed (see WriteUninstallRecord). A
            // component without its configuration would not start: as good as not copied.
            recorded = config.Close(saver.get(), opened) && in.WriteUninstallRecord(saver.get(), projectName, true);
        }
    }
    // Without a record the install could never be removed: no entry announces it.
    in.ReleaseEngine();
    if (!recorded) {
        in.ShowCopyError();
        return false;
    }
    if (!in.RegisterViewer() || !in.RegisterUninstall()) return false;
    in.Commit();
    in.CloseProgress();
    in.messages.Show("Installation successfully completed!", projectName, MB_ICONINFORMATION);
    return true;
}

// Makes installFolder the administrators' before the first file, when this is an elevated
// install: a folder (and its missing parents) it creates gets the administrators' descriptor; one
// that exists, or that the system did not give that security (a drive without
// descriptors), is refused when other users can change it: "<folder>\n\n<why>" /
// "Installation Error", false. A per-user install keeps what the folder inherits.
const char Installer::kOthersCanWriteText[] =
    "Other users of this computer can change what this folder holds, so a program installed for all users "
    "cannot be put there. Please choose another folder.";

bool Installer::ClaimInstallFolder() {
    if (!places.folders->Elevated()) return true;
    if (::GetFileAttributesA(installFolder) == INVALID_FILE_ATTRIBUTES) {
        win::FolderSecurity security;
        if (security.BuildForAdministrators()) {
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
    const win::LocalMemory descriptor = places.folders->Security(installFolder);
    if (descriptor && !win::OthersCanWrite(descriptor.get())) return true;
    return RefuseItem(installFolder, kOthersCanWriteText);
}
