#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "testkit/PackageFixture.h"

// Files, folders and shell links as a test sees them from outside the program under test.
namespace testkit {

bool Exists(const std::string& path);

// Calls visit with each entry of folder ("." and ".." left out) and its find data.
void ForEachEntry(const std::string& folder, const std::function<void(const std::string& name, const WIN32_FIND_DATAA&)>& visit);

// Files below folder, relative, with backslashes, sorted; withFolders adds every folder too,
// named with a trailing backslash. Nothing behind a link to a folder is listed.
std::vector<std::string> Tree(const std::string& folder, bool withFolders = false);
// The names of folder's own entries, sorted; empty when it cannot be listed.
std::vector<std::string> Entries(const std::string& folder);

// Every file below folder, named as Tree names it, with its bytes.
std::map<std::string, Bytes> TreeContents(const std::string& folder);

// A fresh scratch folder under the temporary path, removed with everything below it.
std::string MakeScratchFolder(const std::string& name);
// Removes folder and everything below it, however deep (narrow names are the ANSI code
// page's). A link (reparse point), the folder itself or below it, is removed as a link, never
// entered: what it leads to is not the test's.
void RemoveTree(const std::string& folder);
void RemoveTree(const std::wstring& folder);
// A symbolic link made by the host system under Wine; one to a folder shows to Windows calls as
// a folder with FILE_ATTRIBUTE_REPARSE_POINT (Wine itself cannot make junctions). False where
// there is no such host (on Windows), and the test should skip.
bool MakeHostLink(const std::string& link, const std::string& target);
bool RemoveHostLink(const std::string& link);
bool RemoveHostLink(const std::wstring& link);
// The run folders below temp (testkit::IsRunFolderName), as full paths, sorted.
std::vector<std::string> RunFolders(const std::string& temp);
// The folder holding the running test program (the build's bin folder).
std::string OwnFolder();
// A shell folder by its CSIDL; empty when the shell has none.
std::string KnownFolder(int csidl);
// An environment variable of this process; empty when unset.
std::string Environment(const char* name);

// What another process manages to do to a file: rename it (it is renamed back at once), and
// open it for writing with every sharing allowed.
struct Tampering {
    bool renamed = false;
    bool openedForWriting = false;
};
Tampering TryToTamper(const std::string& path);

// A shell link as the shell's own link object reads it back.
struct LinkInfo {
    std::string target, arguments, workingFolder, description;
    bool operator==(const LinkInfo& o) const {
        return target == o.target && arguments == o.arguments && workingFolder == o.workingFolder &&
               description == o.description;
    }
};
// False when the link cannot be loaded.
bool ReadLink(const std::string& path, LinkInfo& info);

}  // namespace testkit
