#include "testkit/RecordBytes.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "components/chunk/ChunkFile.h"
#include "engine/ChunkSchema.h"
#include "package/LittleEndian.h"

namespace testkit {

namespace {

void AppendCount(Bytes& out, const char* tag, size_t count) {
    const Bytes raw = CountField(static_cast<uint32_t>(count));
    chunk::AppendChunk(out, tag, raw.data(), raw.size());
}

}  // namespace

ChunkList FileChunks(const std::string& path) {
    Bytes bytes;
    std::vector<chunk::Chunk> chunks;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    EXPECT_TRUE(chunk::ReadChunks(bytes, chunks)) << path;
    ChunkList out;
    for (const auto& c : chunks) out.emplace_back(c.tag, c.data);
    return out;
}

Bytes CountField(uint32_t count) {
    Bytes bytes(4);
    StoreU32(bytes.data(), count);
    return bytes;
}

std::string FieldText(const Bytes& field) {
    return std::string(field.begin(), std::find(field.begin(), field.end(), 0));
}

Bytes RecordField(const std::string& text) {
    Bytes field(kTextFieldSize, 0);
    std::copy(text.begin(), text.begin() + std::min<size_t>(text.size(), kTextFieldSize), field.begin());
    return field;
}

Bytes MakeUninstallRecord(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                          const std::string& projectName, bool withMarker) {
    Bytes out;
    AppendCount(out, kRecordFileCountTag, files.size());
    for (const auto& path : files) chunk::AppendChunk(out, kRecordFileTag, RecordField(path).data(), kTextFieldSize);
    AppendCount(out, kRecordFolderCountTag, folders.size());
    for (const auto& path : folders)
        chunk::AppendChunk(out, kRecordFolderTag, RecordField(path).data(), kTextFieldSize);
    chunk::AppendChunk(out, kRecordProjectNameTag, RecordField(projectName).data(), kTextFieldSize);
    if (withMarker) chunk::AppendChunk(out, kRecordComponentMarkerTag, nullptr, 0);
    return out;
}

}  // namespace testkit
