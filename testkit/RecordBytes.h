#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "testkit/PackageFixture.h"

namespace testkit {

// An uninstall record laid out as the installer writes it through the engine's saver: UNFC,
// the UNFN fields, UNDC, the UNDN fields in the order given (the installer gives them
// deepest first), UNPN, and with withMarker an empty UNSK. Fields are cut or zero-filled
// to 259 bytes.
Bytes MakeUninstallRecord(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                          const std::string& projectName, bool withMarker);

// The chunks of a file as (tag, data), in file order; a file that cannot be read or parsed
// fails the test.
using ChunkList = std::vector<std::pair<std::string, Bytes>>;
ChunkList FileChunks(const std::string& path);
// A record's count field: four little-endian bytes.
Bytes CountField(uint32_t count);
// The text of a record field, up to its first zero byte.
std::string FieldText(const Bytes& field);

// A 259-byte record field holding the first 259 bytes of text, zero-filled.
Bytes RecordField(const std::string& text);

}  // namespace testkit
