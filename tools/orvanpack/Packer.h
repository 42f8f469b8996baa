#pragma once
#include <ostream>
#include <string>

#include "tools/orvanpack/ExitStatus.h"

struct BuildRequest {
    std::string stubPath;      // empty: the manifest's [stub] file
    std::string manifestPath;
    std::string outputPath;
    bool summary = false;        // one summary line on err after a successful build
    bool progress = false;       // a progress line on err, redrawn in place (for a terminal)
    bool storeOnly = false;      // every project file ("auto", "lzma") stored as it is
    std::string compression{};   // "lzma", "zlib" or "store" for the project files; empty: the manifest's
};

// Writes the stub's bytes followed by the package the manifest describes to outputPath.
// File entries are read twice (size and CRC first, then the bytes), never held whole, so
// memory does not grow with the project; a file that changes in between fails the build.
// The same inputs give the same bytes: nothing of the time or the machine is stored. With
// request.summary, a line ends a successful build: entries, project files, bytes in and out,
// time.
// The file is written under a temporary name in the output's folder and renamed over
// outputPath only once complete, so on any failure outputPath is untouched and no
// temporary is left. The output gets the stub's permission bits.
// Messages go to err, one per line:
//   kUsage: manifest unreadable or unsound ("MANIFEST:LINE: reason" for each problem,
//           colliding or over-long names included), or no stub named.
//   kFault: an entry's file, the stub or the output could not be read or written, or the
//           package would not fit 2^31 bytes.
// A stub of kSearchLimit bytes or more is packed but draws a warning: the program then
// finds the package through its trailer only.
//
// The stub is chosen by the execution level its manifest asks for: executionLevel
// ("asInvoker" or "requireAdministrator"; empty: the one ProjectType needs, 1 asInvoker,
// 2, 5 and 6 requireAdministrator). When the given stub asks for another level, its variant
// of that level is taken from the same folder (Orvan3DExe.exe or Orvan3DExeAdmin.exe); kFault
// when it is not there. A stub without a manifest, or a ProjectType of no known mode, is
// packed as it is.
//   kFault: the stub is already signed: appending to it would break its signature; or the
//           manifest asks for LZMA blocks and the stub does not say it decodes them.
//   kUsage: executionLevel is not one of the two names.
ExitStatus BuildPackedFile(const BuildRequest& request, const std::string& executionLevel, std::ostream& err);
// The same, the level chosen by ProjectType.
ExitStatus BuildPackedFile(const BuildRequest& request, std::ostream& err);

// Writes the entries of the manifest at manifestPath as a long-form manifest (a [project]
// expanded) to out; messages as for BuildPackedFile. The file paths stay relative to the
// manifest's folder: saved beside it, the output builds the same package.
ExitStatus PrintManifestEntries(const std::string& manifestPath, std::ostream& out, std::ostream& err);
