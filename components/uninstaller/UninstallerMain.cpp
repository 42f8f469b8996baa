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
#include "engine/ChunkSchema.h"
#include "package/PackageSchema.h"
#include "win/DllSearch.h"
#include "win/LogFile.h"

namespace {

constexpr char kErrorCaption[] = "Orvan3D Uninstall";
// The uninstaller of a per-user install removes only what such an install writes: below the
// user's own registry and Programs folder.
constexpr bool kPerUser = ORVAN_PER_USER_UNINSTALLER != 0;
const HKEY kEntriesRoot = kPerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;

// Deployment tools read these after running the quiet command; keep them stable.
enum class ExitCode : int { kDone = 0, kBadRecord = 1, kDeclined = 2, kDoneButForeignPaths = 3, kBadCommandLine = 4 };

int Exit(ExitCode code) { return static_cast<int>(code); }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What one removal works on: the record, cut down to this installation's paths, and the log
// ("/LOG=") it notes what it removes and keeps in.
struct Removal {
    uninstall::UninstallRecord record;
    std::string installFolder;
    std::vector<uninstall::LeftItem> left;
    size_t foreign = 0;
    win::LogFile log;

    int Outcome() const { return Exit(foreign == 0 ? ExitCode::kDone : ExitCode::kDoneButForeignPaths); }
    void Log(const char* label, const std::string& text) const { log.Line("%s: %s", label, text.c_str()); }
};

// Opens the log the arguments name, anew or with append to add to it. False when one was asked
// for and cannot be had.
bool OpenLog(const uninstall::Arguments& arguments, Removal& removal, bool append) {
    if (!arguments.logGiven) return true;
    std::wstring path(arguments.logPath.size() + 1, L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, arguments.logPath.c_str(), -1, &path[0],
                                             static_cast<int>(path.size()));
    return !arguments.logPath.empty() && length > 0 && removal.log.Open(path.c_str(), append);
}

void ShowError(const Removal& removal, const std::string& message, bool silent) {
    removal.log.Box(message.c_str(), kErrorCaption);
    if (!silent) ::MessageBoxA(nullptr, message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
}

// What will go and what stays, as decided; noted before the removal begins.
void LogDecisions(const Removal& removal) {
    for (const std::string& path : removal.record.files) removal.Log("file", path);
    for (const std::string& path : removal.record.folders) removal.Log("folder", path);
    for (const std::string& path : removal.record.parentFolders) removal.Log("parent folder", path);
    for (const uninstall::LeftItem& item : removal.left) removal.Log("kept", item.path + " (" + item.reason + ")");
    removal.Log("registry", std::string(kPerUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
                                ": the uninstall and viewer entries of " + removal.record.projectName);
}

// Everything but the uninstaller that was started (still running while this runs in its copy),
// then the installation's entries.
void RemoveAllButStarter(Removal& removal) {
    removal.foreign = uninstall::KeepOnlyOurs(removal.record, removal.installFolder,
                                              uninstall::FindOutsidePlaces(kPerUser), kEntriesRoot, removal.left);
    LogDecisions(removal);
    const std::string starter = removal.installFolder + "\\" + kUninstallerFile;
    uninstall::DeleteListedFiles(removal.record, removal.left, starter);
    // The folders emptied now go before the waiting caller hears the outcome, so that it finds
    // no more than the started uninstaller and its record; the folders holding those go after
    // it ended, and what stays is reported then, once.
    std::vector<uninstall::LeftItem> reportedLater;
    uninstall::RemoveListedFolders(removal.record, reportedLater, starter);
    uninstall::RemoveEntries(kEntriesRoot, removal.record.projectName, removal.installFolder);
}

// The started uninstaller's file, then the record, then the folders left empty. The record
// goes only with the uninstaller next to it, so that one left behind can run again.
void RemoveRest(Removal& removal) {
    uninstall::UninstallRecord starter;
    const std::string uninstaller = removal.installFolder + "\\" + kUninstallerFile;
    for (const std::string& path : removal.record.files) {
        if (::lstrcmpiA(path.c_str(), uninstaller.c_str()) == 0) starter.files.push_back(path);
    }
    uninstall::DeleteListedFiles(starter, removal.left);
    if (!Exists(uninstaller)) {
        // Through the same checks as every other file: its folder may have been swapped meanwhile.
        uninstall::UninstallRecord record;
        record.files.push_back(removal.installFolder + "\\" + kRecordName);
        uninstall::DeleteListedFiles(record, removal.left);
    }
    uninstall::RemoveListedFolders(removal.record, removal.left);
}

void ShowSummary(const Removal& removal, bool silent) {
    const std::string& name = removal.record.projectName;
    const std::string text = uninstall::SummaryText(name, removal.left);
    removal.log.Box(text.c_str(), name.c_str());
    if (silent) return;
    ::MessageBoxA(nullptr, text.c_str(), name.c_str(), MB_OK | (removal.left.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

// The exit code, noted at the end of the log.
int Finish(const Removal& removal, int outcome) {
    removal.Log("outcome", "exit code " + std::to_string(outcome));
    return outcome;
}

// Started by the user or the system, from the install folder.
int RunOriginal(const uninstall::Arguments& arguments, const std::string& self, const std::string& temp) {
    Removal removal;
    if (!OpenLog(arguments, removal, false)) {
        ShowError(removal, "The log file \"" + arguments.logPath + "\" cannot be created.", arguments.silent);
        return Exit(ExitCode::kBadCommandLine);
    }
    removal.installFolder = uninstall::FolderOf(self);
    removal.Log("uninstall", removal.installFolder);
    std::string message;
    if (!uninstall::LoadRecord(removal.installFolder, removal.record, message)) {
        ShowError(removal, message, arguments.silent);
        return Finish(removal, Exit(ExitCode::kBadRecord));
    }
    removal.Log("project", removal.record.projectName);
    if (!arguments.silent) {
        const std::string& name = removal.record.projectName;
        const std::string question = "Remove " + name + " and all of its components?";
        removal.log.Box(question.c_str(), name.c_str());
        if (::MessageBoxA(nullptr, question.c_str(), name.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return Finish(removal, Exit(ExitCode::kDeclined));
        }
    }
    int outcome = 0;
    // The copy works in another folder: it is handed the log by its full path.
    char logPath[MAX_PATH] = {};
    if (arguments.logGiven) ::GetFullPathNameA(arguments.logPath.c_str(), MAX_PATH, logPath, nullptr);
    // The copy adds its lines meanwhile; this program's last one goes after them.
    removal.log.Close();
    const bool copied = uninstall::RunCopy(self, temp, removal.installFolder, arguments.silent, outcome, logPath);
    OpenLog(arguments, removal, true);
    if (copied) return Finish(removal, outcome);
    // Without a copy this program's own file and the record stay; everything else goes.
    RemoveAllButStarter(removal);
    RemoveRest(removal);
    ShowSummary(removal, arguments.silent);
    return Finish(removal, removal.Outcome());
}

// The copy, on the folder given. The program that started it waits for the outcome, which is
// known once everything but that program's own file is gone.
int RunCopy(const uninstall::Arguments& arguments, const std::string& self) {
    uninstall::ScheduleOwnRemoval(self);
    Removal removal;
    OpenLog(arguments, removal, true);
    removal.installFolder = arguments.installFolder;
    std::string message;
    if (!uninstall::LoadRecord(removal.installFolder, removal.record, message)) {
        // The box can wait; the program that started this one must not.
        uninstall::ReportOutcome(arguments.outcomeHandle, Exit(ExitCode::kBadRecord));
        ShowError(removal, message, arguments.silent);
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
