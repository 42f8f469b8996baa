#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// What a manifest asks the packer to store; the TOML form is described in OrvanpackMain.cpp and README.md.

enum class ValueKind { kNumber, kFlag, kText, kFile };

// How a file's bytes are stored: as is, zlib with a size trailer, in the engine's "VBRF"
// chunk form (the form the engine's loader decodes), or, for a project file, zlib with a size
// trailer and a marker entry in the compressed-items section when that saves enough, else as is
// (kAuto), or in the package's solid LZMA blocks when that saves enough, else as is (kLzma).
enum class Store { kPlain, kZlib, kVbrf, kAuto, kLzma };

// A project's compression as the manifest's compression key and --compression name it:
// "lzma" (kLzma), "zlib" (kAuto) or "store" (kPlain); false for any other name.
bool ParseCompression(const std::string& name, Store& store);

struct ManifestEntry {
    std::string section;
    std::string name;
    ValueKind kind = ValueKind::kNumber;
    int32_t number = 0;
    bool flag = false;
    std::string text;
    std::string file;        // as written in the manifest, for messages
    std::string filePath;    // resolved against the manifest's folder
    Store store = Store::kPlain;
    uint32_t line = 0;       // of the entry's [[entry]] header
};

struct Manifest {
    std::string path;        // as given by the user; every message names it
    std::string stubPath;    // from [stub] file, resolved; empty when the manifest names none
    std::string stubFile;    // [stub] file as written, for --print-entries
    std::vector<ManifestEntry> entries;
    uint32_t projectFiles = 0;  // FILEINFO items of a [project] manifest, for the summary
    // How the project files are stored ("lzma", "zlib", "store"): the override LoadManifest was
    // given, else the [project]'s compression key; empty for the long form.
    std::string compression;
};

// Reads and checks the manifest at path: either the long form ([[entry]] tables) or the short
// form (one [project] table, expanded by ExpandProject into the same entries). Returns false when it cannot be read or is not
// sound; errors then holds one "PATH:LINE: reason" line per problem found (as many as can be
// found in one pass) and manifest is incomplete. Files named by entries are checked to exist,
// not read. compression, when not empty, is a name ParseCompression knows; it stands for the
// [project]'s compression key, and in the long form it replaces the store of every "lzma" and
// "auto" entry.
bool LoadManifest(const std::string& path, Manifest& manifest, std::vector<std::string>& errors,
                  const std::string& compression = "");

// "PATH:LINE: what", the form of every manifest message.
std::string ManifestMessage(const std::string& path, uint32_t line, const std::string& what);

// Writes manifest as a long-form manifest: its [stub] (as written) and one [[entry]] per entry,
// in order. File paths are those written in (or expanded from) the manifest, relative to its
// folder.
void WriteLongForm(const Manifest& manifest, std::ostream& out);

// text in double quotes with quotes, backslashes and control characters escaped as \uXXXX
// (the form TOML basic strings and JSON strings share); with escapeNonAscii every byte above
// 0x7F too, for output that must be valid whatever the bytes' code page.
std::string QuotedString(const std::string& text, bool escapeNonAscii);

// text as a TOML basic string.
std::string TomlString(const std::string& text);
