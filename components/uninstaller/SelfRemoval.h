#pragma once
#include <cstdint>
#include <string>

// A running program cannot delete its own file, so the uninstaller works from a copy of itself
// in a folder of the temporary folder that it creates under a name nobody can guess: the copy
// removes the installation, tells the original the outcome, waits for it to end, removes the
// original's file, and has its own file and folder removed on the next restart; the next
// start of any uninstaller deletes such copies before that.
namespace uninstall {

// The running program's file, the temporary and the system folder, without trailing
// backslash; empty when the system gives none.
std::string OwnPath();
std::string TempFolder();
std::string SystemFolder();

// Deletes the copies earlier runs left in tempFolder - folders "ZRXUnInst-<32 hex digits>"
// holding only "ZRXUnInst.exe", and earlier versions' files "ZRXUnInst-<8 hex digits>.exe" -
// except self and its folder. Copies still running stay; links are never followed.
void RemoveEarlierCopies(const std::string& tempFolder, const std::string& self);

// Copies self into a new folder of tempFolder and starts the copy on installFolder, handing it
// a handle of this process to wait for and a pipe for its outcome; then waits for that outcome
// (the copy's exit code); the copy adds to the log at logPath (a full path; empty: none). False, with no copy left behind, when the copy cannot be made or
// started; outcome is then untouched.
bool RunCopy(const std::string& self, const std::string& tempFolder, const std::string& installFolder, bool silent,
             int& outcome, const std::string& logPath = "");

// In the copy: hands the outcome to the program that started it, through the pipe handle it
// was given, and closes the pipe.
void ReportOutcome(uint32_t handle, int outcome);

// In the copy: waits, at most half a minute, for the program that started it to end.
void WaitForStarter(uint32_t handle);

// Asks the system to delete self, and then its folder, when it next starts.
void ScheduleOwnRemoval(const std::string& self);

// True for an earlier version's copy's file name, and for a copy's folder name.
bool IsCopyName(const std::string& name);
bool IsCopyFolderName(const std::string& name);

}  // namespace uninstall
