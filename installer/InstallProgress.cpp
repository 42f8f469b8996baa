// What the install modes share: the options dialog and the progress window they open with,
// and the bar a silent install does without.
#include "installer/Installer.h"
#include "installer/ProgressPoints.h"
#include "ui/OptionsDialog.h"
#include "ui/ProgressWindow.h"

// The prologue the install modes share: the options dialog for projectName proposing
// proposedFolder, then the progress window at 0 with "Installing...", and the chosen folder
// as installFolder and current folder. False when the dialog is left. With noClimbing a
// confirmed folder with a ".." step or a stream colon is refused (StaysInPlace's box) and
// the dialog shows again; so is one ClaimInstallFolder refuses.
bool Installer::ChooseFolderWithProgress(const char* projectName, const char* proposedFolder, bool noClimbing) {
    OptionsDialog dialog;
    dialog.SetProjectName(projectName);
    if (!ShowOptionsDialog(dialog, projectName, proposedFolder, noClimbing)) return false;
    progress = std::make_unique<ProgressWindow>();
    progress->SetText("Installing...");
    progress->Create(instance, hostWindow);
    progress->SetProgress(progress_point::kShown);
    // Fails while the folder does not exist yet; the first extraction creates it.
    ::SetCurrentDirectoryA(installFolder);
    return true;
}

void Installer::SetProgress(float value) {
    if (progress) progress->SetProgress(value);
}

void Installer::CloseProgress() {
    if (!progress) return;
    progress->SetProgress(progress_point::kFinished);
    progress.reset();  // its destructor closes the window
}
