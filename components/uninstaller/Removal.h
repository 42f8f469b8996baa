#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "components/uninstaller/UninstallRecordReader.h"

// What the uninstaller does with a record: delete the listed files, remove the listed folders
// that are then empty, and remove the installation's registry entries. Roots and folders are
// parameters so that tests work in scratch places.
namespace uninstall {

// One thing that stayed, with the reason the user is told.
struct LeftItem {
    std::string path;
    std::string reason;
};

// Reads and checks installFolder\uninstall.nfo. False with message set to the text the user
// is shown; record is then empty.
bool LoadRecord(const std::string& installFolder, UninstallRecord& record, std::string& message);

// The fixed places outside the install folder where the installing modes put files, found
// again by the lookups those modes make. An empty string: the system names no such place.
struct OutsidePlaces {
    std::string programsFolder;  // the Start-menu Programs folder of the install's scope
    // An install for all users made before its links moved to the all-users Programs folder
    // put them in the installing user's own; empty for a per-user install.
    std::string earlierProgramsFolder;
    std::string systemFolder;
    std::string winampFolder;
    // Every folder the shell knows by name (Program Files, Windows, the profile folders...):
    // never a parent an installation made for its folder, empty or not.
    std::vector<std::wstring> knownFolders;
};
// perUser: the places of an install for the user who runs this (the user's Programs folder);
// else those of an install for all users (the all-users Programs folder, and the user's).
OutsidePlaces FindOutsidePlaces(bool perUser = false);

// The record may lie in a folder that others can write, so it is not believed: keeps in record
// only the paths this installation made - inside installFolder, one of the outside paths the
// installing modes create for record.projectName that still belongs to installFolder, or a
// parent made for installFolder (moved to record.parentFolders; see the rules in the source).
// Every other path is moved to left with its reason. Returns how many listed paths were not
// this installation's, the record's skipped paths included (DeleteListedFiles reports those).
size_t KeepOnlyOurs(UninstallRecord& record, const std::string& installFolder, const OutsidePlaces& places,
                    HKEY viewerRoot, std::vector<LeftItem>& left);

// Waits between two tries of a removal that another program refused for sharing (about two
// seconds in all), with the path; null: a plain pause. A test's pause can act in it.
using Pause = std::function<void(const std::string& path)>;

// Deletes each listed file; a file that is already gone counts as removed. A file that is a
// link is removed as a link; none is deleted through a folder on its path that is a link to
// another place. Each try opens the file itself and deletes it through that handle, and only
// when the opened file still lies in the folder that was checked for links: a folder swapped
// for a link while another program held the file leads nowhere. except, when given, is left
// for later. What cannot be deleted, and every skipped path of the record, is added to left.
void DeleteListedFiles(const UninstallRecord& record, std::vector<LeftItem>& left, const std::string& except = "",
                       const Pause& pause = nullptr);

// Removes each listed folder, deepest first, then the parent folders, only when it is empty:
// never anything below it, and never a folder that is, or lies below, a link to another place.
// Tried and checked as DeleteListedFiles does. A parent folder that stays is not reported.
// A folder that holds except, when given, is not tried: it cannot be empty while that file is
// there, and the program running from it may hold it as its current folder, which would only
// make the tries wait their two seconds for nothing.
void RemoveListedFolders(const UninstallRecord& record, std::vector<LeftItem>& left, const std::string& except = "",
                         const Pause& pause = nullptr);

// The uninstall key ...\Uninstall\Orvan3D<name> and the viewer key ...\3.00.000\<name> below
// root, each only when it still describes this installation (its uninstaller, or its folder,
// is installFolder's): a later installation of the same name elsewhere keeps its entries.
// A key with sub-keys of its own is left, as it holds more than an installation writes.
void RemoveEntries(HKEY root, const std::string& projectName, const std::string& installFolder);

// The final box's text: what was removed, or what was left and where.
std::string SummaryText(const std::string& projectName, const std::vector<LeftItem>& left);

// The folder part of path, without the trailing backslash.
std::string FolderOf(const std::string& path);

// True when path is, or lies below, a link to another place (a junction or a symbolic link):
// each folder from the drive's root down to path is looked at.
bool CrossesLink(const std::string& path);

}  // namespace uninstall
