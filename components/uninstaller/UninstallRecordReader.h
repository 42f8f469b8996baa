#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ChunkSchema.h"

// "uninstall.nfo" as the installing modes write it: UNFC and its UNFN paths, UNDC and its
// UNDN folders (children before parents), UNPN, and for the screen-saver and plug-in modes
// a trailing empty UNSK. Portable: no system calls, so it is tested and fuzzed natively.
namespace uninstall {

// More entries than this cannot come from an installation, and a list that long would
// only be a damaged count.
constexpr int32_t kMaxEntries = 100000;

struct UninstallRecord {
    std::vector<std::string> files;    // in the order they were created
    std::vector<std::string> folders;  // deepest first, each ending in a backslash
    // Paths that are listed but must not be touched, kept only to be reported as left behind:
    // fields that fill all 259 bytes (the path was cut when the record was written, and what
    // the cut path names could be another file) and paths no installation writes.
    std::vector<std::string> skippedPaths;
    // Folders above the install folder that the installation made for it (C:\Vendor\ of
    // C:\Vendor\Product\), deepest first: not filled by the reader, but by the uninstaller once
    // it has judged them its own. They go when empty, and are never reported when they stay.
    std::vector<std::string> parentFolders;
    std::string projectName;
    bool hasMarker = false;  // the screen-saver and plug-in modes' UNSK
};

enum class RecordError {
    kNone,
    kNotChunkFile,   // a chunk header or size does not fit the file: truncated or not a record
    kWrongLayout,    // tags out of order, wrong sizes, counts that do not match the entries
    kNoProjectName,  // UNPN is empty: the registry entries could not be told apart
};

// Reads a whole record. On success out holds its lists: paths listed twice appear once
// (compared without regard to case, as the file system does), and paths the uninstaller must
// not touch (cut, relative, or stepping up with "..") are moved to skippedPaths.
// On failure out is left empty and nothing from the record may be acted on.
RecordError ParseUninstallRecord(const void* bytes, size_t size, UninstallRecord& out);

// True for a full local or network path without "." or ".." steps: the only kind an
// installation records, and the only kind that cannot be steered to another file.
bool IsSafeAbsolutePath(const std::string& path);

}  // namespace uninstall
