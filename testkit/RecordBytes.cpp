#include "RecordBytes.h"

#include <algorithm>

#include "ChunkFile.h"
#include "LittleEndian.h"

namespace testkit {

namespace {

constexpr size_t kFieldSize = 259;

void AppendCount(Bytes& out, const char* tag, size_t count) {
    unsigned char raw[4];
    StoreU32(raw, static_cast<uint32_t>(count));
    chunk::AppendChunk(out, tag, raw, 4);
}

}  // namespace

Bytes RecordField(const std::string& text) {
    Bytes field(kFieldSize, 0);
    std::copy(text.begin(), text.begin() + std::min(text.size(), kFieldSize), field.begin());
    return field;
}

Bytes MakeUninstallRecord(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                          const std::string& projectName, bool withMarker) {
    Bytes out;
    AppendCount(out, "UNFC", files.size());
    for (const auto& path : files) chunk::AppendChunk(out, "UNFN", RecordField(path).data(), kFieldSize);
    AppendCount(out, "UNDC", folders.size());
    for (const auto& path : folders) chunk::AppendChunk(out, "UNDN", RecordField(path).data(), kFieldSize);
    chunk::AppendChunk(out, "UNPN", RecordField(projectName).data(), kFieldSize);
    if (withMarker) chunk::AppendChunk(out, "UNSK", nullptr, 0);
    return out;
}

}  // namespace testkit
