#pragma once

// The packer's exit statuses: scripts tell a bad command line or manifest from a broken file.
enum class ExitStatus {
    kOk = 0,
    kFault = 1,  // input or output failed, or a package failed its checks
    kUsage = 2,  // bad command line or manifest
};

inline int ToExitCode(ExitStatus status) { return static_cast<int>(status); }
