#include "package/PackageReader.h"

#include <cstdlib>
#include <cstring>

#include "package/Crc32.h"
#include "package/InflatingSink.h"
#include "package/LittleEndian.h"
#include "package/PeCertificates.h"

using namespace package_format;

namespace {

// Sequential reads of the table through one buffer, never past `end`.
class TableCursor {
public:
    TableCursor(PackageFile& file, uint64_t start, uint64_t end) : file(file), pos(start), end(end) {}

    bool Read(void* out, uint32_t size) {
        auto* dst = static_cast<unsigned char*>(out);
        while (size > 0) {
            if (begin == filled) {
                if (pos >= end) return false;
                const uint64_t left = end - pos;
                const uint32_t want = left < sizeof(buffer) ? static_cast<uint32_t>(left) : sizeof(buffer);
                uint32_t got = 0;
                if (!file.ReadUpTo(pos, buffer, want, got) || got == 0) return false;
                pos += got;
                begin = 0;
                filled = got;
            }
            const uint32_t take = size < filled - begin ? size : filled - begin;
            std::memcpy(dst, buffer + begin, take);
            dst += take;
            begin += take;
            size -= take;
        }
        return true;
    }

    bool ReadU32(uint32_t& value) {
        unsigned char b[4];
        if (!Read(b, 4)) return false;
        value = LoadU32(b);
        return true;
    }

    // Absolute offset of the next byte Read would return.
    uint64_t Position() const { return pos - (filled - begin); }
    uint64_t Remaining() const { return end - Position(); }

private:
    PackageFile& file;
    uint64_t pos;
    uint64_t end;
    unsigned char buffer[16384];
    uint32_t begin = 0;
    uint32_t filled = 0;
};

bool ReadName(TableCursor& cursor, char (&out)[kMaxNameBytes]) {
    uint32_t length = 0;
    if (!cursor.ReadU32(length)) return false;
    if (length == 0 || length > kMaxNameBytes) return false;
    if (!cursor.Read(out, length)) return false;
    return out[length - 1] == '\0';
}

// FNV-1a of the text folded to lower case: equal without regard to ASCII case, equal hashes.
uint32_t FoldedHash(const char* text) {
    uint32_t hash = 2166136261u;
    for (; *text != '\0'; ++text) hash = (hash ^ static_cast<unsigned char>(LowerAscii(*text))) * 16777619u;
    return hash;
}

}  // namespace

bool EqualsIgnoringCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

PackageReader::PackageReader(PackageHost& host) : host(host) { Open(); }

PackageReader::~PackageReader() { FreeEntries(); }

void PackageReader::FreeEntries() {
    blockSource.reset();
    blocks.reset();
    blockCount = 0;
    lookup.reset();
    windowLength = 0;
    for (int32_t i = 0; i < entries.Count(); ++i) {
        std::free(entries.Get(i));
        entries.Set(nullptr, i);
    }
    entries.Clear();
}

void PackageReader::Open() {
    FreeEntries();
    file = host.OpenOwnFile();
    char marker[kMarkerLength];
    MakeMarker(marker);

    // The box's caption is whatever stands at the trailer's offset, cut at its first zero.
    char caption[kMarkerLength + 1] = {};
    const uint64_t length = file ? file->Length() : 0;
    fileEnd = length;
    bool found = false;
    CertificateTable table;
    const CertificateState signature = file ? LocateCertificateTable(*file, length, table) : CertificateState::kNone;
    if (signature == CertificateState::kTable && table.offset + table.size == length) {
        // A signed file: the signature covers everything before its certificate table and
        // nothing in it, so the package is the one that ends there. From here on no read
        // reaches the table, whatever the table's bytes or the package's sizes say.
        fileEnd = table.offset;
        found = TrailerBeforeCertificates(marker, fileEnd);
    } else if (signature != CertificateState::kNone) {
        // A directory outside the file or into its headers, or a table that does not end the
        // file: no signing tool writes that, so nothing of the file is read.
        fileEnd = 0;
    } else if (length >= kTrailerSize) {
        unsigned char trailer[kTrailerSize];
        if (ReadAll(length - kTrailerSize, trailer, kTrailerSize)) {
            const uint32_t header = LoadU32(trailer);
            char atHeader[kMarkerLength];
            uint32_t got = 0;
            if (ReadPart(header, atHeader, kMarkerLength, got)) {
                std::memcpy(caption, atHeader, got);
                found = got == kMarkerLength && EqualsIgnoringCase(atHeader, marker, kMarkerLength) &&
                        ParseTable(header, length);
            }
        }
    }
    if (!found) found = SearchHeader(marker, fileEnd);
    if (!found) host.ShowMessage("Data header not found!", caption);
}

bool PackageReader::ReadPart(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) {
    got = 0;
    if (!file || offset >= fileEnd) return true;
    const uint64_t left = fileEnd - offset;
    return file->ReadUpTo(offset, buffer, left < length ? static_cast<uint32_t>(left) : length, got);
}

bool PackageReader::ReadAll(uint64_t offset, void* buffer, uint32_t length) {
    uint32_t got = 0;
    return ReadPart(offset, buffer, length, got) && got == length;
}

bool PackageReader::TrailerBeforeCertificates(const char* marker, uint64_t packageEnd) {
    // Signing tools pad the file to 8 bytes before the table; the padding is zeros.
    constexpr uint32_t kMaxPadding = 7;
    unsigned char tail[kTrailerSize + kMaxPadding];
    const uint32_t want = packageEnd < sizeof(tail) ? static_cast<uint32_t>(packageEnd) : sizeof(tail);
    if (want < kTrailerSize || !ReadAll(packageEnd - want, tail, want)) return false;
    for (uint32_t padding = 0; padding + kTrailerSize <= want; ++padding) {
        const uint32_t at = want - padding - kTrailerSize;
        if (padding > 0 && tail[at + kTrailerSize] != 0) break;
        const uint64_t end = packageEnd - padding;
        const uint32_t header = LoadU32(tail + at);
        char atHeader[kMarkerLength];
        if (header + static_cast<uint64_t>(kMarkerLength) <= end && ReadAll(header, atHeader, kMarkerLength) &&
            EqualsIgnoringCase(atHeader, marker, kMarkerLength) && ParseTable(header, end)) {
            return true;
        }
    }
    return false;
}

bool PackageReader::SearchHeader(const char* marker, uint64_t length) {
    // Blocks overlap by the marker's length less one byte, so a marker is found wherever it
    // starts within the bound, a block boundary included.
    constexpr uint32_t kOverlap = kMarkerLength - 1;
    unsigned char block[kSearchBlock + kOverlap];
    for (uint32_t start = 0; start < kSearchLimit && start < length; start += kSearchBlock) {
        uint32_t got = 0;
        if (!ReadPart(start, block, sizeof(block), got) || got < kMarkerLength) return false;
        const uint32_t last = got - kMarkerLength;
        for (uint32_t j = 0; j <= last && j < kSearchBlock; ++j) {
            if (block[j] != static_cast<unsigned char>(marker[0])) continue;
            if (std::memcmp(block + j, marker, kMarkerLength) == 0 && ParseTable(start + j, length)) return true;
        }
    }
    return false;
}

bool PackageReader::ParseTable(uint64_t header, uint64_t length) {
    FreeEntries();
    TableCursor cursor(*file, header + kMarkerLength, length);
    uint32_t rawCount = 0;
    if (!cursor.ReadU32(rawCount)) return false;
    const auto count = static_cast<int32_t>(rawCount);
    // An empty table uses no data base: whatever follows its count is neither read nor judged.
    if (count <= 0) {
        headerOffset = static_cast<uint32_t>(header);
        dataBase = 0;
        return true;
    }
    if (static_cast<uint64_t>(count) > cursor.Remaining() / kMinRecordSize) return false;

    uint64_t totalSize = 0;
    for (int32_t i = 0; i < count; ++i) {
        // Records are plain data: calloc'd one by one, freed by FreeEntries.
        auto* entry = static_cast<PackageEntry*>(std::calloc(1, sizeof(PackageEntry)));
        if (entry == nullptr || entries.Add(entry) < 0) {
            std::free(entry);
            FreeEntries();
            return false;
        }
        if (!ReadName(cursor, entry->section) || !ReadName(cursor, entry->name) || !cursor.ReadU32(entry->size) ||
            !cursor.ReadU32(entry->crc)) {
            FreeEntries();
            return false;
        }
        totalSize += entry->size;
    }
    uint32_t base = 0;
    if (!cursor.ReadU32(base)) {
        FreeEntries();
        return false;
    }
    // The data area lies behind the table and wholly inside the file.
    const uint64_t dataStart = header + base;
    if (dataStart < cursor.Position() || dataStart + totalSize > length || dataStart + totalSize > kMaxOffset) {
        FreeEntries();
        return false;
    }
    headerOffset = static_cast<uint32_t>(header);
    dataBase = base;
    lookup.reset(static_cast<EntryIndex*>(std::malloc(sizeof(EntryIndex) * count)));
    uint32_t offset = 0;
    for (int32_t i = 0; lookup && i < count; ++i) {
        lookup.get()[i] = {offset, FoldedHash(EntryAt(i)->name)};
        offset += EntryAt(i)->size;
    }
    return true;
}

const PackageEntry* PackageReader::EntryAt(int32_t index) const {
    return static_cast<const PackageEntry*>(entries.Get(index));
}

uint64_t PackageReader::EntryOffset(int32_t index) const {
    uint64_t offset = static_cast<uint64_t>(headerOffset) + dataBase;
    if (lookup && index >= 0 && index < entries.Count()) return offset + lookup.get()[index].offset;
    for (int32_t i = 0; i < index; ++i) offset += EntryAt(i)->size;
    return offset;
}

int32_t PackageReader::FindEntry(const char* key, const char* section) const {
    const uint32_t keyHash = FoldedHash(key);
    for (int32_t i = 0; i < entries.Count(); ++i) {
        if (lookup && lookup.get()[i].nameHash != keyHash) continue;
        const PackageEntry* entry = EntryAt(i);
        if (EqualsIgnoringCase(entry->name, key) && EqualsIgnoringCase(entry->section, section)) return i;
    }
    return -1;
}

void PackageReader::ReportCorrupt(const PackageEntry& entry) {
    host.ShowMessage("Crc error corrupt file", entry.name);
}

bool PackageReader::ReadEntry(const char* key, void* buffer, int32_t capacity, const char* section) {
    char sectionText[kMaxNameBytes];
    CopyText(sectionText, sizeof(sectionText), section != nullptr ? section : kDefaultSection);
    if (entries.Count() == 0 || key == nullptr) return false;
    const int32_t index = FindEntry(key, sectionText);
    if (index < 0) return false;
    if (buffer == nullptr) return LoadEntryAt(index);

    const PackageEntry& entry = *EntryAt(index);
    if (capacity < 0 || entry.size > static_cast<uint32_t>(capacity)) {
        ReportCorrupt(entry);
        return false;
    }
    // The entry's own bytes only: what follows it is another entry's, and a caller that reads
    // a 0-byte value into a 1-byte buffer must keep its own byte, not take the next entry's.
    uint32_t got = 0;
    ReadThroughWindow(EntryOffset(index), buffer, entry.size, got);
    // zlib's CRC needs no table of ours: building one per read would cost more than the
    // read itself for the small values most reads are.
    if (got < entry.size || Crc32::Update(0, buffer, entry.size) != entry.crc) {
        ReportCorrupt(entry);
        return false;
    }
    return true;
}

void PackageReader::ReadThroughWindow(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) {
    got = 0;
    if (length > kWindowSize / 4) {
        ReadPart(offset, buffer, length, got);
        return;
    }
    const bool inside = window && offset >= windowStart && offset + length <= windowStart + windowLength;
    if (!inside) {
        if (!window) window.reset(static_cast<unsigned char*>(std::malloc(kWindowSize)));
        windowLength = 0;
        windowStart = offset;
        if (!window || !ReadPart(offset, window.get(), kWindowSize, windowLength)) {
            windowLength = 0;
            ReadPart(offset, buffer, length, got);
            return;
        }
    }
    // Past the window's end only when the file ends there.
    const uint64_t available = windowStart + windowLength - offset;
    got = available < length ? static_cast<uint32_t>(available) : length;
    std::memcpy(buffer, window.get() + (offset - windowStart), got);
}

bool PackageReader::LoadEntryAt(int32_t index) {
    data.reset();
    dataSize = 0;
    const PackageEntry* entry = EntryAt(index);
    if (entry == nullptr) return false;
    data.reset(static_cast<unsigned char*>(std::malloc(static_cast<size_t>(entry->size) + 1)));
    if (!data) {
        host.ShowMessage("Not enough memory to read this entry", entry->name);
        return false;
    }
    if (!ReadAll(EntryOffset(index), data.get(), entry->size) ||
        Crc32::Update(0, data.get(), entry->size) != entry->crc) {
        data.reset();
        ReportCorrupt(*entry);
        return false;
    }
    data.get()[entry->size] = 0;
    dataSize = entry->size;
    return true;
}

StreamResult PackageReader::StreamEntry(const char* key, const char* section, EntrySink& sink) {
    char sectionText[kMaxNameBytes];
    CopyText(sectionText, sizeof(sectionText), section != nullptr ? section : kDefaultSection);
    if (entries.Count() == 0 || key == nullptr) return StreamResult::kMissing;
    const int32_t index = FindEntry(key, sectionText);
    return index < 0 ? StreamResult::kMissing : StreamAt(index, sink);
}

StreamResult PackageReader::StreamItem(const char* key, EntrySink& sink, bool& decodeFailed) {
    if (key == nullptr) return StreamResult::kMissing;
    const int32_t record = FindEntry(key, kBlockItemSection);
    if (record >= 0) {
        const int32_t index = FindEntry(key, kDefaultSection);
        return index < 0 ? StreamResult::kMissing : StreamBlockItem(*EntryAt(record), index, sink, decodeFailed);
    }
    unsigned char compressed = 0;
    if (FindEntry(key, kCompressedSection) >= 0 && !ReadEntry(key, &compressed, 1, kCompressedSection)) {
        return StreamResult::kFailed;
    }
    const int32_t index = FindEntry(key, kDefaultSection);
    if (index < 0) return StreamResult::kMissing;
    if (compressed == 0) return StreamAt(index, sink);
    // A trailer that cannot be read belongs to an entry too short to hold one (the sink says
    // so) or cut short (the stream's read says so).
    const uint32_t size = EntryAt(index)->size;
    unsigned char trailer[kTrailerSize] = {};
    if (size >= kTrailerSize) ReadAll(EntryOffset(index) + size - kTrailerSize, trailer, kTrailerSize);
    InflatingSink inflating(sink, LoadU32(trailer));
    const StreamResult result = StreamAt(index, inflating);
    decodeFailed = result == StreamResult::kFailed && inflating.DecodeFailed();
    return result;
}

StreamResult PackageReader::StreamAt(int32_t index, EntrySink& sink) {
    const PackageEntry& entry = *EntryAt(index);

    const uint32_t want = entry.size < kStreamChunk ? entry.size : kStreamChunk;
    if (want > chunkCapacity) {
        chunk.reset(static_cast<unsigned char*>(std::malloc(want)));
        chunkCapacity = chunk ? want : 0;
        if (!chunk) {
            host.ShowMessage("Not enough memory to read this entry", entry.name);
            return StreamResult::kFailed;
        }
    }
    if (!sink.Begin(entry.size)) return StreamResult::kFailed;

    uint64_t offset = EntryOffset(index);
    uint32_t left = entry.size;
    uint32_t crc = 0;
    while (left > 0) {
        const uint32_t piece = left < chunkCapacity ? left : chunkCapacity;
        if (!ReadAll(offset, chunk.get(), piece)) {
            sink.Discard();
            ReportCorrupt(entry);
            return StreamResult::kFailed;
        }
        crc = Crc32::Update(crc, chunk.get(), piece);
        if (!sink.Write(chunk.get(), piece)) {
            sink.Discard();
            return StreamResult::kFailed;
        }
        offset += piece;
        left -= piece;
    }
    if (crc != entry.crc) {
        sink.Discard();
        ReportCorrupt(entry);
        return StreamResult::kFailed;
    }
    if (!sink.Commit()) {
        sink.Discard();
        return StreamResult::kFailed;
    }
    return StreamResult::kWritten;
}

bool PackageReader::Contains(const char* key, const char* section) const {
    return FindEntry(key, section != nullptr ? section : kDefaultSection) >= 0;
}


bool PackageReader::FindBlocks(BlockPiece::Kind& failure) {
    if (blocks) return true;
    // Block n is named n in decimal; the first number missing ends the list.
    const auto nameOf = [](uint32_t n, char (&text)[12]) {
        char digits[12];
        int length = 0;
        do {
            digits[length++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        for (int i = 0; i < length; ++i) text[i] = digits[length - 1 - i];
        text[length] = '\0';
    };
    char name[12];
    uint32_t count = 0;
    for (; count < static_cast<uint32_t>(entries.Count()); ++count) {
        nameOf(count, name);
        if (FindEntry(name, kBlockSection) < 0) break;
    }
    failure = BlockPiece::kUnsound;
    if (count == 0) return false;
    blocks.reset(static_cast<BlockLocation*>(std::malloc(sizeof(BlockLocation) * count)));
    failure = BlockPiece::kNoMemory;
    if (!blocks) return false;
    for (uint32_t i = 0; i < count; ++i) {
        nameOf(i, name);
        const int32_t index = FindEntry(name, kBlockSection);
        blocks.get()[i] = {EntryOffset(index), EntryAt(index)->size, EntryAt(index)->crc};
    }
    blockCount = count;
    return true;
}

bool PackageReader::TakePiece(BlockPiece::Kind& failure) {
    pending = blockSource->Next();
    if (pending.kind == BlockPiece::kBlockEnd) {
        atBlock = pending.block + 1;
        blockOffset = 0;
    } else if (pending.kind != BlockPiece::kBytes) {
        failure = pending.kind;
        return false;
    }
    return true;
}

bool PackageReader::NextPlain(uint32_t want, const unsigned char*& bytes, uint32_t& got, BlockPiece::Kind& failure) {
    while (pending.kind != BlockPiece::kBytes || pending.length == 0) {
        if (!TakePiece(failure)) return false;
    }
    got = want < pending.length ? want : pending.length;
    bytes = pending.bytes;
    pending.bytes += got;
    pending.length -= got;
    blockOffset += got;
    return true;
}

bool PackageReader::LookPastItem(BlockPiece::Kind& failure) {
    return pending.kind != BlockPiece::kBytes || pending.length != 0 || TakePiece(failure);
}

bool PackageReader::SeekBlocks(uint32_t block, uint32_t offset, BlockPiece::Kind& failure) {
    if (!blockSource || atBlock != block || blockOffset > offset) {
        if (!blockSource) blockSource = host.DecodeBlocks(*file, blocks.get(), blockCount);
        if (!blockSource) {
            failure = BlockPiece::kNoMemory;
            return false;
        }
        blockSource->Restart(block);
        pending = BlockPiece();
        atBlock = block;
        blockOffset = 0;
    }
    // Items skipped (missing, or extracted out of order) are decoded and dropped.
    while (blockOffset < offset) {
        const unsigned char* bytes = nullptr;
        uint32_t got = 0;
        if (!NextPlain(offset - blockOffset, bytes, got, failure)) return false;
        // A block that ends before the offset: the record does not fit it.
        if (atBlock != block) {
            failure = BlockPiece::kUnsound;
            return false;
        }
    }
    return true;
}

StreamResult PackageReader::FailBlockItem(BlockPiece::Kind failure, const PackageEntry& item, EntrySink* begun,
                                          bool& decodeFailed) {
    if (begun != nullptr) begun->Discard();
    blockSource.reset();
    if (failure == BlockPiece::kDamaged) {
        ReportCorrupt(item);
    } else if (failure == BlockPiece::kNoMemory) {
        host.ShowMessage("Not enough memory to read this entry", item.name);
    } else {
        decodeFailed = true;
    }
    return StreamResult::kFailed;
}

uint64_t PackageReader::BlockItemBytes() {
    uint64_t total = 0;
    for (int32_t i = 0; i < entries.Count(); ++i) {
        const PackageEntry& entry = *EntryAt(i);
        unsigned char record[kBlockItemRecordSize];
        if (entry.size == kBlockItemRecordSize && EqualsIgnoringCase(entry.section, kBlockItemSection) &&
            ReadAll(EntryOffset(i), record, kBlockItemRecordSize) &&
            Crc32::Update(0, record, kBlockItemRecordSize) == entry.crc) {
            total += LoadU32(record + 8);
        }
    }
    return total;
}

StreamResult PackageReader::StreamBlockItem(const PackageEntry& recordEntry, int32_t index, EntrySink& sink,
                                            bool& decodeFailed) {
    const PackageEntry& item = *EntryAt(index);
    unsigned char record[kBlockItemRecordSize];
    if (recordEntry.size != kBlockItemRecordSize) return FailBlockItem(BlockPiece::kUnsound, item, nullptr, decodeFailed);
    if (!ReadEntry(recordEntry.name, record, kBlockItemRecordSize, kBlockItemSection)) return StreamResult::kFailed;
    const uint32_t block = LoadU32(record);
    const uint32_t size = LoadU32(record + 8);
    BlockPiece::Kind failure = BlockPiece::kUnsound;
    if (!FindBlocks(failure) || block >= blockCount || !SeekBlocks(block, LoadU32(record + 4), failure)) {
        return FailBlockItem(failure, item, nullptr, decodeFailed);
    }
    if (!sink.Begin(size)) return StreamResult::kFailed;
    uint32_t crc = 0;
    for (uint32_t left = size; left > 0;) {
        const unsigned char* bytes = nullptr;
        uint32_t got = 0;
        if (!NextPlain(left, bytes, got, failure)) {
            // Past the last block: the item claims more than the blocks hold.
            return FailBlockItem(failure == BlockPiece::kNoMoreBlocks ? BlockPiece::kUnsound : failure, item, &sink,
                                 decodeFailed);
        }
        crc = Crc32::Update(crc, bytes, got);
        if (!sink.Write(bytes, got)) {
            sink.Discard();
            blockSource.reset();
            return StreamResult::kFailed;
        }
        left -= got;
    }
    if (!LookPastItem(failure)) return FailBlockItem(failure, item, &sink, decodeFailed);
    if (crc != LoadU32(record + 12)) return FailBlockItem(BlockPiece::kDamaged, item, &sink, decodeFailed);
    // The last block is done: its decoder's memory goes back at once.
    if (atBlock >= blockCount) blockSource.reset();
    if (!sink.Commit()) {
        sink.Discard();
        return StreamResult::kFailed;
    }
    return StreamResult::kWritten;
}

uint32_t PackageReader::BlockCount() {
    BlockPiece::Kind failure = BlockPiece::kUnsound;
    return FindBlocks(failure) ? blockCount : 0;
}

BlockPiece::Kind PackageReader::DecodeBlock(uint32_t index, uint64_t& plainSize) {
    if (index >= BlockCount()) return BlockPiece::kUnsound;
    DecodingBlockSource source(*file, blocks.get(), blockCount);
    source.Restart(index);
    for (;;) {
        const BlockPiece piece = source.Next();
        if (piece.kind != BlockPiece::kBytes) return piece.kind;
        plainSize += piece.length;
    }
}

void PackageReader::FreeBlocks::operator()(BlockLocation* p) const { std::free(p); }

void PackageReader::FreeBytes::operator()(unsigned char* p) const { std::free(p); }

void PackageReader::FreeIndex::operator()(EntryIndex* p) const { std::free(p); }

const unsigned char* PackageReader::Data() { return data.get(); }

uint32_t PackageReader::Size() { return dataSize; }
