#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/orvanpack/Manifest.h"
#include "tools/orvanpack/Toml.h"

// One problem found in a manifest: its line and what is wrong.
using ManifestProblem = std::pair<uint32_t, std::string>;

// Expands the short form, a [project] table, into the entries its long form would list, in
// the order the program extracts them: the configuration values of the project's type, the
// type's components (uninstaller, screen saver, plug-in, viewer), the engine files, the start
// file, the channel lists and the project files (sorted by path). manifestFolder resolves
// `files` and `components`. Appends every problem found to problems; entries are then
// incomplete. stubPath receives the components folder's Orvan3DExe.exe, the stub used when
// neither --stub nor [stub] names one.
void ExpandProject(const toml::table& project, uint32_t projectLine, const std::filesystem::path& manifestFolder,
                   Manifest& manifest, std::vector<ManifestProblem>& problems);

// Checks a project file's path below the files folder ('/'-separated) against what the program
// can store and extract; false with the reason when it would refuse it or write it elsewhere.
bool CheckProjectPath(const std::string& relative, std::string& reason);

// Whether link, followed to its end, names a file or folder below folder.
bool LeadsInside(const std::filesystem::path& link, const std::filesystem::path& folder);

// Whether one part of a path is a name Windows opens as a device in every folder: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9, in any case and with any extension.
bool IsDeviceName(const std::string& part);
