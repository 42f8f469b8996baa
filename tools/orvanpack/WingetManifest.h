#pragma once
#include <ostream>
#include <string>

#include "tools/orvanpack/ExitStatus.h"

// What `orvanpack manifest --winget` is given besides the packed file.
struct WingetRequest {
    std::string packedPath;
    std::string folder;        // the three manifest files are written here (created when missing)
    std::string installerUrl;  // where package managers download the packed file from
    std::string identifier;    // empty: <publisher>.<name>, each without blanks and signs
    std::string license = "Proprietary";
    std::string description;   // empty: the project's name and version
};

// Writes the package manager's multi-file manifest (version, installer, defaultLocale) for a
// packed project install: its name, version, publisher, url and scope from the package, the
// switches of the silent install and the log, the exit codes of package/DeploymentValues.h,
// the uninstall entry's key as ProductCode, and the file's SHA-256. Files are
// <identifier>.yaml, <identifier>.installer.yaml and <identifier>.locale.en-US.yaml, each
// written whole under a temporary name first. Messages go to err:
//   kUsage: the file is no project install, lacks a version or a publisher, or a value does not
//           fit the manifest's fields (the reason names the option or manifest key to change).
//   kFault: the file or the folder cannot be read or written, or the package is damaged.
ExitStatus WriteWingetManifest(const WingetRequest& request, std::ostream& out, std::ostream& err);

// The SHA-256 of a file, 64 upper-case hex digits; false when it cannot be read.
bool FileSha256(const std::string& path, std::string& hex);
