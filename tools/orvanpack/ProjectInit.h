#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "tools/orvanpack/ExitStatus.h"

// The folder of the running program (empty when it cannot be told); argv0 is the fallback.
std::filesystem::path ProgramFolder(const std::string& argv0);

// Writes a commented starter manifest for the project folder `folder` beside it, as
// "<folder's name>.toml": type "run", the folder's name as project name, and as components
// the first of programFolder and the Windows build's bin folder seen from a native build tree
// that holds the viewer (else a placeholder to fill in). Asks nothing; prints the path written.
//   kUsage: folder is not a folder, or the manifest exists already (never overwritten).
//   kFault: the manifest cannot be written.
ExitStatus InitProject(const std::string& folder, const std::filesystem::path& programFolder, std::ostream& out,
                       std::ostream& err);
