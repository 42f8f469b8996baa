#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "UninstallRecord.h"

// What the uninstaller does with a record: delete the listed files, remove the listed folders
// that are then empty, and remove the installation's registry entries. Roots and folders are
// parameters so that tests work in scratch places.
namespace uninstall {

constexpr char kRecordName[] = "uninstall.nfo";
constexpr char kUninstallerName[] = "ZRXUnInst.exe";

// One thing that stayed, with the reason the user is told.
struct LeftItem {
    std::string path;
    std::string reason;
};

// Reads and checks installFolder\uninstall.nfo. False with message set to the text the user
// is shown; record is then empty.
bool LoadRecord(const std::string& installFolder, UninstallRecord& record, std::string& message);

// Deletes each listed file; a file that is already gone counts as removed. What cannot be
// deleted, and every skipped path of the record, is added to left.
void DeleteListedFiles(const UninstallRecord& record, std::vector<LeftItem>& left);

// Removes each listed folder, deepest first, only when it is empty: never anything below it.
void RemoveListedFolders(const UninstallRecord& record, std::vector<LeftItem>& left);

// The uninstall key ...\Uninstall\Orvan3D<name> and the viewer key ...\3.00.000\<name> below
// root, each only when it still describes this installation (its uninstaller, or its folder,
// is installFolder's): a later installation of the same name elsewhere keeps its entries.
// A key with sub-keys of its own is left, as it holds more than an installation writes.
void RemoveEntries(HKEY root, const std::string& projectName, const std::string& installFolder);

// The final box's text: what was removed, or what was left and where.
std::string SummaryText(const std::string& projectName, const std::vector<LeftItem>& left);

// The folder part of path, without the trailing backslash.
std::string FolderOf(const std::string& path);

}  // namespace uninstall
