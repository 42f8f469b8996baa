#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "tools/orvanpack/ExitStatus.h"

// The read side of the packer: each takes the path of a packed file, reads it through
// PackageReader and prints results to out, faults to err ("PATH: caption: text" for what
// the program's message boxes would show). A file without a sound package is kFault.

// One header line ("header at offset H, N entries"), a column line, then per entry
// section, name, size, CRC-32 (0x + 8 hex digits) and absolute data offset, tab-separated.
// With json, one JSON object instead: {"file", "headerOffset", "entries": [{"section", "name",
// "size", "crc32", "offset"}]}; bytes of names outside printable ASCII are written as \u00XX.
ExitStatus ListPackage(const std::string& path, std::ostream& out, std::ostream& err, bool json = false);

// Reads every entry, a bounded piece at a time (length and CRC checked), and checks that the
// trailer names the header and closes the file. Prints "OK ..." when all is sound; kFault
// after any fault.
ExitStatus VerifyPackage(const std::string& path, std::ostream& out, std::ostream& err);

// Writes each entry to folder/SECTION/NAME, '\' and '/' in either making subfolders, and
// creates folder when needed. Entries whose section or name is unsafe (see SafeRelativePath),
// that map onto an earlier entry's file, fail their CRC or cannot be written are reported
// and skipped; any of them makes the result kFault.
ExitStatus ExtractPackage(const std::string& path, const std::string& folder, std::ostream& out,
                          std::ostream& err);

// Maps a stored section or name to a relative path below the extraction folder. Fails, with
// the reason in reason, for a name that is empty, holds ':' (drives, streams), has a ".."
// component, ends with a separator or names no file. Empty and "." components are dropped, so
// a leading separator (every project item has one: the program appends it to its folder) is.
bool SafeRelativePath(const std::string& stored, std::filesystem::path& out, std::string& reason);
