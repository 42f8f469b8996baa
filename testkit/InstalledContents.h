#pragma once
#include <map>
#include <string>

#include "testkit/PackageFixture.h"

namespace testkit {

// The content each file of a sound package has once extracted, by its path below the target
// folder in upper case (names are stored upper-case), decoded here independently of the
// program: the viewer, the engine's libraries and the project files marked compressed from
// zlib, the project files in LZMA blocks from the blocks (by the LZMA SDK's one-call decoder),
// the channel items from "VBRF", everything else as stored. Only "APPDATA" entries that verify are listed.
std::map<std::string, Bytes> InstalledContents(const Bytes& image);

std::string UpperCase(std::string text);

}  // namespace testkit
