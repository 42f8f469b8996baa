#include "package/PeCertificates.h"

#include "package/LittleEndian.h"

namespace {

constexpr uint32_t kNewHeaderPointer = 0x3C;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;

}  // namespace

CertificateState LocateCertificateTable(PackageFile& file, uint64_t length, CertificateTable& table) {
    constexpr CertificateState kNone = CertificateState::kNone;
    unsigned char word[4];
    if (length < kNewHeaderPointer + 4 || !file.ReadExact(0, word, 2) || word[0] != 'M' || word[1] != 'Z') return kNone;
    if (!file.ReadExact(kNewHeaderPointer, word, 4)) return kNone;
    const uint64_t peHeader = LoadU32(word);
    unsigned char header[4 + kFileHeaderSize];
    if (peHeader + sizeof(header) > length || !file.ReadExact(peHeader, header, sizeof(header))) return kNone;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return kNone;
    const uint16_t optionalSize = LoadU16(header + 4 + 16);
    const uint64_t optional = peHeader + sizeof(header);

    // The two optional-header forms differ in where the directory count and the directories start.
    unsigned char magic[2];
    if (optional + 2 > length || !file.ReadExact(optional, magic, 2)) return kNone;
    uint32_t countField = 0;
    if (LoadU16(magic) == kPe32Magic) {
        countField = 92;
    } else if (LoadU16(magic) == kPe32PlusMagic) {
        countField = 108;
    } else {
        return kNone;
    }
    const uint32_t entryField = countField + 4 + kSecurityDirectory * kDirectoryEntrySize;
    if (optionalSize < entryField + kDirectoryEntrySize) return kNone;
    if (!file.ReadExact(optional + countField, word, 4) || LoadU32(word) <= kSecurityDirectory) return kNone;
    unsigned char entry[kDirectoryEntrySize];
    if (!file.ReadExact(optional + entryField, entry, sizeof(entry))) return kNone;
    // Unlike every other directory, this one holds a file offset, not an address in memory.
    const uint64_t offset = LoadU32(entry);
    const uint64_t size = LoadU32(entry + 4);
    if (offset == 0 && size == 0) return kNone;
    // The table must lie behind every header byte read here: those bytes are signed, the
    // table is not.
    const uint64_t headersEnd = optional + entryField + kDirectoryEntrySize;
    if (size == 0 || offset < headersEnd || offset + size > length) return CertificateState::kBad;
    table.offset = offset;
    table.size = size;
    return CertificateState::kTable;
}

bool FindCertificateTable(PackageFile& file, uint64_t length, CertificateTable& table) {
    return LocateCertificateTable(file, length, table) == CertificateState::kTable;
}
