// ZRXUnInst.exe: removes an installation by its record "uninstall.nfo" in the uninstaller's
// own folder. Asks once (not with "/S"), then works from a copy of itself in a fresh folder of
// the temporary folder so that it can delete its own file, and ends with a box saying what was
// left. The program that was started ends only after the removal, with its outcome.
#include <windows.h>

#include <string>
#include <vector>

#include "components/uninstaller/Arguments.h"
#include "components/uninstaller/Removal.h"
#include "components/uninstaller/SelfRemoval.h"
#include "components/uninstaller/UninstallRecordReader.h"
#include "win/DllSearch.h"

namespace {

constexpr char kErrorCaption[] = "Orvan3D Uninstall";
// The uninstaller of a per-user install removes only what such an install writes: below the
// user's own registry and Programs folder.
constexpr bool kPerUser = ORVAN_PER_USER_UNINSTALLER != 0;
const HKEY kEntriesRoot = kPerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;

// Deployment tools read these after running the quiet command; keep them stable.
enum class ExitCode : int { kDone = 0, kBadRecord = 1, kDeclined = 2, kDoneButForeignPaths = 3 };

int Exit(ExitCode code) { return static_cast<int>(code); }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What one removal works on: the record, cut down to this installation's paths.
struct Removal {
    uninstall::UninstallRecord record;
    std::string installFolder;
    std::vector<uninstall::LeftItem> left;
    size_t foreign = 0;

    int Outcome() const { return Exit(foreign == 0 ? ExitCode::kDone : ExitCode::kDoneButForeignPaths); }
};

void ShowError(const std::string& message, bool silent) {
    if (!silent) ::MessageBoxA(nullptr, message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
}

// Everything but the uninstaller that was started (still running while this runs in its copy),
// then the installation's entries.
void RemoveAllButStarter(Removal& removal) {
    removal.foreign = uninstall::KeepOnlyOurs(removal.record, removal.installFolder,
                                              uninstall::FindOutsidePlaces(kPerUser), kEntriesRoot, removal.left);
    uninstall::DeleteListedFiles(removal.record, removal.left,
                                 removal.installFolder + "\\" + uninstall::kUninstallerName);
    // The folders emptied now go before the waiting caller hears the outcome, so that it finds
    // no more than the started uninstaller and its record; the folders holding those go after
    // it ended, and what stays is reported then, once.
    std::vector<uninstall::LeftItem> reportedLater;
    uninstall::RemoveListedFolders(removal.record, reportedLater);
    uninstall::RemoveEntries(kEntriesRoot, removal.record.projectName, removal.installFolder);
}

// The started uninstaller's file, then the record, then the folders left empty. The record
// goes only with the uninstaller next to it, so that one left behind can run again.
void RemoveRest(Removal& removal) {
    uninstall::UninstallRecord starter;
    const std::string uninstaller = removal.installFolder + "\\" + uninstall::kUninstallerName;
    for (const std::string& path : removal.record.files) {
        if (::lstrcmpiA(path.c_str(), uninstaller.c_str()) == 0) starter.files.push_back(path);
    }
    uninstall::DeleteListedFiles(starter, removal.left);
    if (!Exists(uninstaller)) {
        // Through the same checks as every other file: its folder may have been swapped meanwhile.
        uninstall::UninstallRecord record;
        record.files.push_back(removal.installFolder + "\\" + uninstall::kRecordName);
        uninstall::DeleteListedFiles(record, removal.left);
    }
    uninstall::RemoveListedFolders(removal.record, removal.left);
}

void ShowSummary(const Removal& removal, bool silent) {
    if (silent) return;
    const std::string& name = removal.record.projectName;
    ::MessageBoxA(nullptr, uninstall::SummaryText(name, removal.left).c_str(), name.c_str(),
                  MB_OK | (removal.left.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

// Started by the user or the system, from the install folder.
int RunOriginal(const uninstall::Arguments& arguments, const std::string& self, const std::string& temp) {
    Removal removal;
    removal.installFolder = uninstall::FolderOf(self);
    std::string message;
    if (!uninstall::LoadRecord(removal.installFolder, removal.record, message)) {
        ShowError(message, arguments.silent);
        return Exit(ExitCode::kBadRecord);
    }
    if (!arguments.silent) {
        const std::string& name = removal.record.projectName;
        const std::string question = "Remove " + name + " and all of its components?";
        if (::MessageBoxA(nullptr, question.c_str(), name.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return Exit(ExitCode::kDeclined);
        }
    }
    int outcome = 0;
    if (uninstall::RunCopy(self, temp, removal.installFolder, arguments.silent, outcome)) return outcome;
    // Without a copy this program's own file and the record stay; everything else goes.
    RemoveAllButStarter(removal);
    RemoveRest(removal);
    ShowSummary(removal, arguments.silent);
    return removal.Outcome();
}

// The copy, on the folder given. The program that started it waits for the outcome, which is
// known once everything but that program's own file is gone.
int RunCopy(const uninstall::Arguments& arguments, const std::string& self) {
    uninstall::ScheduleOwnRemoval(self);
    Removal removal;
    removal.installFolder = arguments.installFolder;
    std::string message;
    if (!uninstall::LoadRecord(removal.installFolder, removal.record, message)) {
        // The box can wait; the program that started this one must not.
        uninstall::ReportOutcome(arguments.outcomeHandle, Exit(ExitCode::kBadRecord));
        ShowError(message, arguments.silent);
        return Exit(ExitCode::kBadRecord);
    }
    RemoveAllButStarter(removal);
    uninstall::ReportOutcome(arguments.outcomeHandle, removal.Outcome());
    uninstall::WaitForStarter(arguments.waitHandle);
    RemoveRest(removal);
    ShowSummary(removal, arguments.silent);
    return removal.Outcome();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything else is loaded: neither the program's folder nor the current folder
    // may supply a library.
    win::HardenDllSearch();
    const uninstall::Arguments arguments = uninstall::ParseArguments(::GetCommandLineA());
    const std::string self = uninstall::OwnPath();
    const std::string temp = uninstall::TempFolder();
    uninstall::RemoveEarlierCopies(temp, self);
    return arguments.isCopy ? RunCopy(arguments, self) : RunOriginal(arguments, self, temp);
}
