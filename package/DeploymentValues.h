#pragma once
#include <cstddef>

#include "package/PackageSchema.h"

// What the program, the uninstaller, the packer and deployment tools agree on beyond the
// package's keys: the uninstall entry's name, versions, and the exit codes of a setup run that
// reports its outcome.

// The viewer's entry of a project is this key followed by its ProjectName: its DisplayName
// names the installation folder, and its ComponentFile the screen saver's or plug-in's copy
// outside it. The installing modes write it; the uninstaller, the screen saver and the plug-in
// find the installation by it.
inline constexpr char kViewerKeyBase[] = "SOFTWARE\\Velbor\\Orvan3D Viewers\\3.00.000\\";
inline constexpr char kDisplayNameValue[] = "DisplayName";
inline constexpr char kComponentFileValue[] = "ComponentFile";
inline constexpr char kUninstallStringValue[] = "UninstallString";

// The Windows uninstall entry of a project is this key followed by its ProjectName; package
// managers know the entry by its last part ("Orvan3D<name>").
inline constexpr char kUninstallKeyBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D";

// A version is printable ASCII without the characters file names and package managers'
// version fields refuse, at most this long.
constexpr size_t kMaxVersionLength = 128;
// The numbers a dotted version begins with ("1.4.2-beta": 1, 4, 2), at most four, each at most
// 65535 (what the system's version fields hold); how many were found, 0 when it does not
// begin with one. The uninstall entry and the packed file's version resource read it alike.
inline int DottedVersion(const char* text, unsigned (&numbers)[4]) {
    int count = 0;
    for (const char* p = text; count < 4 && *p >= '0' && *p <= '9'; ++count) {
        unsigned value = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (value > 65535) return count;
        }
        numbers[count] = value;
        if (*p != '.') return count + 1;
        ++p;
    }
    return count;
}

// An install path beginning with this is taken below the running user's local application
// data folder (the per-user default).
constexpr char kLocalAppDataPrefix[] = "%LOCALAPPDATA%\\";

// The outcome of a setup run started with "/S" or "/LOG=": a caller acts on each differently.
// Every other run ends with 0. Keep the numbers: deployment tools' manifests list them.
enum class SetupExit : int {
    kInstalled = 0,
    kFailed = 1,          // did not install, for a reason not listed below
    kCancelled = 2,       // the user answered No or left the options dialog
    kDiskFull = 3,        // not enough space on the installation folder's drive
    kFileInUse = 4,       // a file of the installation is held open by a running program
    kFolderRefused = 5,   // not a full path, not writable, another user's, no exact name
    kDamagedPackage = 6,  // the program file's package is missing, damaged or incomplete
    kBadCommandLine = 7,  // "/LOG=" without a file, or a log file that cannot be created
    kPathTooLong = 8,     // a path of the installation would not fit the system's limit
};

// One row of the table the README and the packer's package-manager manifests show.
struct SetupExitInfo {
    SetupExit code;
    const char* meaning;
    const char* wingetResponse;  // the response a package manager maps the code to
};

constexpr SetupExitInfo kSetupExits[] = {
    {SetupExit::kFailed, "did not install", "contactSupport"},
    {SetupExit::kCancelled, "cancelled by the user", "cancelledByUser"},
    {SetupExit::kDiskFull, "not enough disk space", "diskFull"},
    {SetupExit::kFileInUse, "a file is in use", "fileInUse"},
    {SetupExit::kFolderRefused, "the installation folder was refused", "invalidParameter"},
    {SetupExit::kDamagedPackage, "the package is damaged", "contactSupport"},
    {SetupExit::kBadCommandLine, "bad command line", "invalidParameter"},
    {SetupExit::kPathTooLong, "a path would be too long", "invalidParameter"},
};
