// ZRXUnInst.exe: removes an installation by its record "uninstall.nfo" in the uninstaller's
// own folder. Asks once (not with "/S"), then works from a copy of itself in the temporary
// folder so that it can delete its own file, and ends with a box saying what was left.
#include <windows.h>

#include <string>
#include <vector>

#include "Arguments.h"
#include "Removal.h"
#include "SelfRemoval.h"
#include "UninstallRecord.h"

namespace {

constexpr char kErrorCaption[] = "Orvan3D Uninstall";

enum class ExitCode : int { kDone = 0, kBadRecord = 1, kDeclined = 2 };

int Exit(ExitCode code) { return static_cast<int>(code); }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The installation's files, then the record, then the folders left empty, then the entries.
// The record goes only with the uninstaller next to it, so that one left behind can run again.
void RemoveInstallation(const uninstall::UninstallRecord& record, const std::string& installFolder,
                        std::vector<uninstall::LeftItem>& left) {
    uninstall::DeleteListedFiles(record, left);
    if (!Exists(installFolder + "\\" + uninstall::kUninstallerName)) {
        ::DeleteFileA((installFolder + "\\" + uninstall::kRecordName).c_str());
    }
    uninstall::RemoveListedFolders(record, left);
    uninstall::RemoveEntries(HKEY_LOCAL_MACHINE, record.projectName, installFolder);
}

int ShowSummary(const uninstall::UninstallRecord& record, const std::vector<uninstall::LeftItem>& left, bool silent) {
    if (!silent) {
        ::MessageBoxA(nullptr, uninstall::SummaryText(record.projectName, left).c_str(), record.projectName.c_str(),
                      MB_OK | (left.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
    return Exit(ExitCode::kDone);
}

// Started by the user or the system, from the install folder.
int RunOriginal(const uninstall::Arguments& arguments, const std::string& self, const std::string& temp) {
    const std::string folder = uninstall::FolderOf(self);
    uninstall::UninstallRecord record;
    std::string message;
    if (!uninstall::LoadRecord(folder, record, message)) {
        if (!arguments.silent) ::MessageBoxA(nullptr, message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
        return Exit(ExitCode::kBadRecord);
    }
    if (!arguments.silent) {
        const std::string question = "Remove " + record.projectName + " and all of its components?";
        if (::MessageBoxA(nullptr, question.c_str(), record.projectName.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return Exit(ExitCode::kDeclined);
        }
    }
    if (uninstall::StartCopy(self, temp, folder, arguments.silent)) return Exit(ExitCode::kDone);
    // Without a copy this program's own file and the record stay; everything else goes.
    std::vector<uninstall::LeftItem> left;
    RemoveInstallation(record, folder, left);
    return ShowSummary(record, left, arguments.silent);
}

// The copy in the temporary folder, on the folder given.
int RunCopy(const uninstall::Arguments& arguments, const std::string& self) {
    uninstall::WaitForStarter(arguments.waitHandle);
    uninstall::ScheduleOwnRemoval(self);
    uninstall::UninstallRecord record;
    std::string message;
    if (!uninstall::LoadRecord(arguments.installFolder, record, message)) {
        if (!arguments.silent) ::MessageBoxA(nullptr, message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
        return Exit(ExitCode::kBadRecord);
    }
    std::vector<uninstall::LeftItem> left;
    RemoveInstallation(record, arguments.installFolder, left);
    return ShowSummary(record, left, arguments.silent);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const uninstall::Arguments arguments = uninstall::ParseArguments(::GetCommandLineA());
    const std::string self = uninstall::OwnPath();
    const std::string temp = uninstall::TempFolder();
    uninstall::RemoveEarlierCopies(temp, self);
    return arguments.isCopy ? RunCopy(arguments, self) : RunOriginal(arguments, self, temp);
}
