#pragma once

namespace win {

// Takes the program's own folder and the current folder out of the library search for the
// rest of the process: a download folder or a shared current folder may hold anything.
// Call it first thing, before any other library is loaded. Afterwards libraries are found in
// the system folder and in folders added with AddDllDirectory only. Returns whether that safe
// search is in force; where the system lacks SetDefaultDllDirectories (an old Windows without
// the update) only the current folder is removed, and libraries must be loaded by full path
// with LOAD_WITH_ALTERED_SEARCH_PATH.
bool HardenDllSearch();

}  // namespace win
