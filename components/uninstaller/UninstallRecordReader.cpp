#include "components/uninstaller/UninstallRecordReader.h"

#include <cstring>
#include <set>

#include "components/chunk/ChunkFile.h"
#include "engine/ChunkSchema.h"
#include "package/LittleEndian.h"

namespace uninstall {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The form two spellings of one path share: one kind of separator, no doubled ones, ASCII
// case folded (what the file system ignores).
std::string Folded(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (out.size() > 1 && out.back() == '\\') continue;
            c = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        out.push_back(c);
    }
    return out;
}

// Walks chunks[at...] as the record's fixed order demands; false at the first deviation.
class LayoutReader {
public:
    explicit LayoutReader(const std::vector<chunk::Chunk>& chunks) : chunks(chunks) {}

    bool Next(const char* tag, size_t size, const chunk::Chunk*& found) {
        if (at >= chunks.size()) return false;
        const chunk::Chunk& c = chunks[at];
        if (c.tag != tag || c.data.size() != size) return false;
        ++at;
        found = &c;
        return true;
    }
    // A count, and that many entries must still follow.
    bool Count(const char* tag, int32_t& count) {
        const chunk::Chunk* c = nullptr;
        if (!Next(tag, 4, c)) return false;
        count = static_cast<int32_t>(LoadU32(c->data.data()));
        return count >= 0 && count <= kMaxEntries && static_cast<size_t>(count) <= chunks.size() - at;
    }
    bool AtEnd() const { return at == chunks.size(); }
    bool NextIs(const char* tag) const { return at < chunks.size() && chunks[at].tag == tag; }

private:
    const std::vector<chunk::Chunk>& chunks;
    size_t at = 0;
};

// Sorts one path field into the list it belongs to.
class PathSorter {
public:
    explicit PathSorter(UninstallRecord& record) : record(record) {}

    void Add(const chunk::Chunk& field, std::vector<std::string>& list) {
        const char* text = reinterpret_cast<const char*>(field.data.data());
        const void* end = std::memchr(text, 0, kTextFieldSize);
        if (end == nullptr) {
            record.skippedPaths.emplace_back(text, kTextFieldSize);
            return;
        }
        const std::string path(text, static_cast<const char*>(end) - text);
        if (path.empty()) return;
        if (!seen.insert(Folded(path)).second) return;
        if (!IsSafeAbsolutePath(path)) {
            record.skippedPaths.push_back(path);
            return;
        }
        list.push_back(path);
    }

private:
    UninstallRecord& record;
    std::set<std::string> seen;
};

}  // namespace

bool IsSafeAbsolutePath(const std::string& path) {
    size_t rest = 0;
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && IsSeparator(path[2]);
    const bool network = path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]) &&
                         path[2] != '?' && path[2] != '.';
    if (drive) {
        rest = 3;
    } else if (network) {
        rest = 2;
    } else {
        return false;
    }
    size_t start = rest;
    for (size_t i = rest; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            const unsigned char c = static_cast<unsigned char>(path[i]);
            // Below 32 no file name has; a colon past the drive would name a stream or device.
            if (c < 32 || c == ':' || c == '*' || c == '?') return false;
            continue;
        }
        const std::string step = path.substr(start, i - start);
        if (step == "." || step == "..") return false;
        start = i + 1;
    }
    return true;
}

RecordError ParseUninstallRecord(const void* bytes, size_t size, UninstallRecord& out) {
    out = UninstallRecord();
    std::vector<chunk::Chunk> chunks;
    if (size == 0 || !chunk::ReadChunks(bytes, size, chunks)) return RecordError::kNotChunkFile;

    UninstallRecord record;
    PathSorter sorter(record);
    LayoutReader reader(chunks);
    const chunk::Chunk* c = nullptr;
    int32_t count = 0;
    if (!reader.Count(kRecordFileCountTag, count)) return RecordError::kWrongLayout;
    for (int32_t i = 0; i < count; ++i) {
        if (!reader.Next(kRecordFileTag, kTextFieldSize, c)) return RecordError::kWrongLayout;
        sorter.Add(*c, record.files);
    }
    if (!reader.Count(kRecordFolderCountTag, count)) return RecordError::kWrongLayout;
    for (int32_t i = 0; i < count; ++i) {
        if (!reader.Next(kRecordFolderTag, kTextFieldSize, c)) return RecordError::kWrongLayout;
        sorter.Add(*c, record.folders);
    }
    if (!reader.Next(kRecordProjectNameTag, kTextFieldSize, c)) return RecordError::kWrongLayout;
    const char* name = reinterpret_cast<const char*>(c->data.data());
    const void* nameEnd = std::memchr(name, 0, kTextFieldSize);
    record.projectName.assign(name, nameEnd != nullptr ? static_cast<const char*>(nameEnd) - name : kTextFieldSize);
    if (reader.NextIs(kRecordComponentMarkerTag)) {
        if (!reader.Next(kRecordComponentMarkerTag, 0, c)) return RecordError::kWrongLayout;
        record.hasMarker = true;
    }
    if (!reader.AtEnd()) return RecordError::kWrongLayout;
    if (record.projectName.empty()) return RecordError::kNoProjectName;
    out = std::move(record);
    return RecordError::kNone;
}

}  // namespace uninstall
