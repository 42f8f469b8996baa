#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/PackageSchema.h"
#include "testkit/PackageFixture.h"

namespace testkit {

// A complete run-in-place package made from the built components (viewer, engine core and
// channel libraries) of binFolder, with a small project: a start file, channel items in the
// engine's stored form and plain project files.
struct ProjectOptions {
    int32_t projectType = static_cast<int32_t>(ProjectType::kRun);
    bool checkDx8 = false;
    bool withCheckDx8 = true;
    bool withViewer = true;
    uint32_t holdMs = 0;
    uint32_t exitCode = 0;
    std::string note;  // where the viewer writes its report; empty: none
    // Entry name -> file of binFolder to pack under that name instead of its own, to build
    // broken installations (a viewer that is no program, a channel library without export).
    std::map<std::string, std::string> substitutes;
    // The first project file stored compressed with its marker, as orvanpack packs it; the
    // second stays stored as it is, its bytes a zlib stream with a size trailer but unmarked,
    // so it must be written exactly as stored.
    bool compressProjectFiles = false;
    // With compressProjectFiles, when not empty: the first project file's stored bytes instead
    // of its sound compressed form, to build items that do not decode.
    Bytes compressedStored;
    // Both project files in one LZMA block instead (blockStored, when not empty, as the block's
    // stored bytes), as orvanpack packs them.
    bool blockProjectFiles = false;
    Bytes blockStored;
};

struct ComponentPackage {
    PackageFixture fixture;
    // Every file the package puts below the run folder, relative, with backslashes.
    std::vector<std::string> files;
};

ComponentPackage MakeComponentPackage(const std::string& binFolder, const ProjectOptions& options);

// The first project file's plain bytes in a package of MakeComponentPackage.
Bytes ComponentSceneBytes();

// Encodings of test data; each aborts the test program when it cannot be made.
Bytes FileBytesOrDie(const std::string& path);
Bytes ZlibStored(const Bytes& plain);  // zlib stream + 4-byte size trailer
Bytes Vbrf(const Bytes& plain);        // the engine's "VBRF" chunk form

// A run folder's name as the program makes it: "Orvan3D" and 20 digits.
bool IsRunFolderName(const std::string& name);

// The start file the viewer reads.
Bytes MakeStartFile(const std::string& title, uint32_t holdMs, uint32_t exitCode, const std::string& note);

}  // namespace testkit
