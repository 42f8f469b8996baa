#pragma once
#include <cstdint>
#include <string>

// A running program cannot delete its own file, so the uninstaller works from a copy of itself
// in the temporary folder: the copy waits for the original to end, removes the installation
// with the original among its files, and has its own file removed on the next restart; the
// next start of any uninstaller deletes such copies before that.
namespace uninstall {

// The running program's file and the temporary folder, without trailing backslash; empty
// when the system gives none.
std::string OwnPath();
std::string TempFolder();

// Deletes the copies earlier runs left in tempFolder (files "ZRXUnInst-<8 hex digits>.exe"),
// except self. Copies still running stay.
void RemoveEarlierCopies(const std::string& tempFolder, const std::string& self);

// Copies self into tempFolder and starts the copy on installFolder, handing it a handle of
// this process to wait for. False, with no copy left behind, when that cannot be done.
bool StartCopy(const std::string& self, const std::string& tempFolder, const std::string& installFolder, bool silent);

// In the copy: waits, at most half a minute, for the program that started it to end.
void WaitForStarter(uint32_t handle);

// Asks the system to delete self when it next starts.
void ScheduleOwnRemoval(const std::string& self);

// True for a copy's file name as StartCopy makes it.
bool IsCopyName(const std::string& name);

}  // namespace uninstall
