#include "PackageReader.h"

#include <cstdlib>
#include <cstring>

#include "Crc32.h"
#include "LittleEndian.h"
#include "PeCertificates.h"

using namespace package_format;

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

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

void CopyBounded(char* out, size_t capacity, const char* text) {
    size_t n = std::strlen(text);
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

PackageReader::PackageReader(PackageHost& host) : host(host) { Open(); }

PackageReader::~PackageReader() { FreeEntries(); }

void PackageReader::FreeEntries() {
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
    bool found = false;
    if (file && length >= kTrailerSize) {
        unsigned char trailer[kTrailerSize];
        if (file->ReadExact(length - kTrailerSize, trailer, kTrailerSize)) {
            const uint32_t header = LoadU32(trailer);
            char atHeader[kMarkerLength];
            uint32_t got = 0;
            if (file->ReadUpTo(header, atHeader, kMarkerLength, got)) {
                std::memcpy(caption, atHeader, got);
                found = got == kMarkerLength && EqualsIgnoringCaseN(atHeader, marker, kMarkerLength) &&
                        ParseTable(header, length);
            }
        }
    }
    // A signed file ends in its certificate table: package bytes never come from there.
    uint64_t packageEnd = length;
    if (!found && file) found = TrailerBeforeCertificates(marker, length, packageEnd);
    if (!found && file) found = SearchHeader(marker, packageEnd);
    if (!found) host.ShowMessage("Data header not found!", caption);
}

bool PackageReader::TrailerBeforeCertificates(const char* marker, uint64_t length, uint64_t& packageEnd) {
    CertificateTable table;
    if (!FindCertificateTable(*file, length, table) || table.offset + table.size != length) return false;
    packageEnd = table.offset;
    // Signing tools pad the file to 8 bytes before the table; the padding is zeros.
    constexpr uint32_t kMaxPadding = 7;
    unsigned char tail[kTrailerSize + kMaxPadding];
    const uint32_t want = packageEnd < sizeof(tail) ? static_cast<uint32_t>(packageEnd) : sizeof(tail);
    if (want < kTrailerSize || !file->ReadExact(packageEnd - want, tail, want)) return false;
    for (uint32_t padding = 0; padding + kTrailerSize <= want; ++padding) {
        const uint32_t at = want - padding - kTrailerSize;
        if (padding > 0 && tail[at + kTrailerSize] != 0) break;
        const uint64_t end = packageEnd - padding;
        const uint32_t header = LoadU32(tail + at);
        char atHeader[kMarkerLength];
        if (header + static_cast<uint64_t>(kMarkerLength) <= end && file->ReadExact(header, atHeader, kMarkerLength) &&
            EqualsIgnoringCaseN(atHeader, marker, kMarkerLength) && ParseTable(header, end)) {
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
        if (!file->ReadUpTo(start, block, sizeof(block), got) || got < kMarkerLength) return false;
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
    if (count > 0 && static_cast<uint64_t>(count) > cursor.Remaining() / kMinRecordSize) return false;

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
    return true;
}

const PackageEntry* PackageReader::EntryAt(int32_t index) const {
    return static_cast<const PackageEntry*>(entries.Get(index));
}

uint64_t PackageReader::EntryOffset(int32_t index) const {
    uint64_t offset = static_cast<uint64_t>(headerOffset) + dataBase;
    for (int32_t i = 0; i < index; ++i) offset += EntryAt(i)->size;
    return offset;
}

int32_t PackageReader::FindEntry(const char* key, const char* section) const {
    for (int32_t i = 0; i < entries.Count(); ++i) {
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
    CopyBounded(sectionText, sizeof(sectionText), section != nullptr ? section : kDefaultSection);
    if (entries.Count() == 0 || key == nullptr) return false;
    const int32_t index = FindEntry(key, sectionText);
    if (index < 0) return false;
    if (buffer == nullptr) return LoadEntryAt(index);

    const PackageEntry& entry = *EntryAt(index);
    if (capacity < 0 || entry.size > static_cast<uint32_t>(capacity)) {
        ReportCorrupt(entry);
        return false;
    }
    uint32_t got = 0;
    file->ReadUpTo(EntryOffset(index), buffer, static_cast<uint32_t>(capacity), got);
    Crc32 crc;
    crc.BuildTable();
    if (got < entry.size || crc.Compute(buffer, entry.size) != entry.crc) {
        ReportCorrupt(entry);
        return false;
    }
    return true;
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
    Crc32 crc;
    crc.BuildTable();
    if (!file->ReadExact(EntryOffset(index), data.get(), entry->size) ||
        crc.Compute(data.get(), entry->size) != entry->crc) {
        data.reset();
        ReportCorrupt(*entry);
        return false;
    }
    data.get()[entry->size] = 0;
    dataSize = entry->size;
    return true;
}

void PackageReader::FreeBytes::operator()(unsigned char* p) const { std::free(p); }

const unsigned char* PackageReader::Data() { return data.get(); }

uint32_t PackageReader::Size() { return dataSize; }
