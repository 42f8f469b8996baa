#include "tools/orvanpack/PackageCommands.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#ifdef _WIN32
#include <windows.h>
#endif

#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PeCertificates.h"
#include "package/StdioPackageFile.h"
#include "tools/orvanpack/ConsoleHost.h"
#include "tools/orvanpack/Manifest.h"

namespace fs = std::filesystem;

namespace {

std::string Hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

// Names are bytes of the system's code page, not necessarily UTF-8: every byte outside
// printable ASCII is escaped so the output is always valid JSON.
std::string JsonString(const std::string& text) { return QuotedString(text, true); }

std::string EntryLabel(const PackageEntry& entry) { return std::string(entry.section) + "/" + entry.name; }

// The reader's checks cover what the program reads; these cover what the writer promises
// besides: the trailer names the header (else the program must search) and ends the file, or,
// once the file is signed, ends what comes before the zero padding and the certificate table.
void CheckTrailer(const std::string& path, const PackageReader& reader, ConsoleHost& host) {
    auto file = StdioPackageFile::Open(path);
    const uint64_t length = file ? file->Length() : 0;
    unsigned char trailer[package_format::kTrailerSize];
    const uint64_t dataEnd = reader.EntryOffset(reader.EntryCount());
    CertificateTable table;
    const bool isSigned = file && FindCertificateTable(*file, length, table) && table.offset + table.size == length &&
                          table.offset >= dataEnd + sizeof(trailer);
    const uint64_t trailerAt = isSigned ? dataEnd : length - sizeof(trailer);
    if (!file || length < sizeof(trailer) || !file->ReadExact(trailerAt, trailer, sizeof(trailer))) {
        host.Fault("cannot read the trailer");
        return;
    }
    const uint32_t named = LoadU32(trailer);
    if (named != reader.HeaderOffset()) {
        host.Fault("trailer names offset " + std::to_string(named) + " but the header is at " +
                   std::to_string(reader.HeaderOffset()));
    }
    if (isSigned) {
        const uint64_t padding = table.offset - dataEnd - sizeof(trailer);
        const unsigned char zeros[8] = {};
        unsigned char seen[8] = {};
        if (padding >= sizeof(seen) || !file->ReadExact(dataEnd + sizeof(trailer), seen, static_cast<uint32_t>(padding)) ||
            std::memcmp(seen, zeros, static_cast<size_t>(padding)) != 0) {
            host.Fault("the file is signed, but " + std::to_string(padding) +
                       " bytes other than up to 7 zeros stand between the trailer and the certificate table");
        }
        return;
    }
    if (dataEnd + sizeof(trailer) != length) {
        host.Fault("the data ends at " + std::to_string(dataEnd) + " but the file is " +
                   std::to_string(length) + " bytes long; expected only the 4-byte trailer after it");
    }
}

// Takes a decoded item's bytes and keeps only their count.
class CountingSink : public EntrySink {
public:
    bool Begin(uint32_t) override { return true; }
    bool Write(const void*, uint32_t length) override {
        count += length;
        return true;
    }
    bool Commit() override { return true; }
    void Discard() override {}
    uint64_t count = 0;
};

// Decodes the item that a marker or record names, as the program decodes it; a fault when the
// package holds no such item (missing, said of the marker) or it does not decode (undecodable,
// said of the item).
void CheckNamedItem(PackageReader& reader, ConsoleHost& host, const PackageEntry& naming, const char* missing,
                    const char* undecodable) {
    CountingSink counter;
    bool decodeFailed = false;
    if (reader.StreamItem(naming.name, counter, decodeFailed) == StreamResult::kMissing) {
        host.Fault(EntryLabel(naming) + missing);
    } else if (decodeFailed) {
        host.Fault(std::string(package_format::kDefaultSection) + "/" + naming.name + undecodable);
    }
}

// Each item marked compressed must decode, as the program decodes it, to exactly the size its
// trailer gives.
void CheckCompressedItems(PackageReader& reader, ConsoleHost& host) {
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry& marker = *reader.EntryAt(i);
        if (!EqualsIgnoringCase(marker.section, package_format::kCompressedSection)) continue;
        unsigned char flag = 0;
        if (!reader.ReadEntry(marker.name, &flag, 1, package_format::kCompressedSection) || flag == 0) continue;
        CheckNamedItem(reader, host, marker, ": marks an item the package does not hold",
                       ": marked compressed, but not a zlib stream of the size its trailer gives");
    }
}

std::string FoldedAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Whether a part of relative below folder already is a link (a junction counts on Windows):
// writing there would write wherever it points.
bool LinkOnTheWay(const fs::path& folder, const fs::path& relative) {
    fs::path at = folder;
    for (const fs::path& part : relative) {
        at /= part;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(at, ec);
        if (ec || status.type() == fs::file_type::not_found) return false;
        if (status.type() == fs::file_type::symlink) return true;
#ifdef _WIN32
        const DWORD attributes = ::GetFileAttributesW(at.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
#endif
    }
    return false;
}

// Each item in the LZMA blocks must decode, as the program decodes it, to its record's size and
// CRC; each block, decoded whole, must end soundly too (also where no item ends it).
void CheckBlockItems(PackageReader& reader, ConsoleHost& host) {
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry& record = *reader.EntryAt(i);
        if (!EqualsIgnoringCase(record.section, package_format::kBlockItemSection)) continue;
        CheckNamedItem(reader, host, record, ": the record of an item the package does not hold",
                       ": in the LZMA blocks, but they do not decode or do not hold it as its record says");
    }
    for (uint32_t block = 0; block < reader.BlockCount(); ++block) {
        uint64_t plainSize = 0;
        const BlockPiece::Kind end = reader.DecodeBlock(block, plainSize);
        if (end == BlockPiece::kBlockEnd) continue;
        host.Fault(std::string(package_format::kBlockSection) + "/" + std::to_string(block) +
                   (end == BlockPiece::kDamaged ? ": fails its CRC" : ": does not decode to the size it declares"));
    }
}

// ", \"block\": {...}" for an item in the LZMA blocks, else "".
std::string BlockJson(PackageReader& reader, const PackageEntry& entry) {
    unsigned char record[package_format::kBlockItemRecordSize];
    if (!EqualsIgnoringCase(entry.section, package_format::kDefaultSection) ||
        !reader.Contains(entry.name, package_format::kBlockItemSection) ||
        !reader.ReadEntry(entry.name, record, sizeof(record), package_format::kBlockItemSection)) {
        return "";
    }
    return ", \"block\": {\"index\": " + std::to_string(LoadU32(record)) + ", \"offset\": " +
           std::to_string(LoadU32(record + 4)) + ", \"size\": " + std::to_string(LoadU32(record + 8)) +
           ", \"crc32\": \"" + Hex32(LoadU32(record + 12)) + "\"}";
}

// Writes an entry's or item's bytes to a file, its folders made on the first byte's way, so
// that an entry that fails before leaves nothing; what failed on this side is in error.
class FileWriter : public EntrySink {
public:
    explicit FileWriter(const fs::path& target) : target(target) {}
    bool Begin(uint32_t) override {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) {
            error = "cannot create " + target.parent_path().string() + ": " + ec.message();
            return false;
        }
        stream.open(target, std::ios::binary | std::ios::trunc);
        return Check();
    }
    bool Write(const void* bytes, uint32_t length) override {
        stream.write(static_cast<const char*>(bytes), length);
        return Check();
    }
    bool Commit() override {
        stream.close();
        return Check();
    }
    void Discard() override {
        stream.close();
        std::error_code ec;
        fs::remove(target, ec);
    }
    std::string error;

private:
    bool Check() {
        if (!stream) error = "cannot write " + target.string();
        return static_cast<bool>(stream);
    }

    fs::path target;
    std::ofstream stream;
};

}  // namespace

bool SafeRelativePath(const std::string& stored, fs::path& out, std::string& reason) {
    out.clear();
    if (stored.empty()) {
        reason = "is empty";
        return false;
    }
    if (stored.find(':') != std::string::npos) {
        reason = "holds ':'";
        return false;
    }
    if (stored.back() == '/' || stored.back() == '\\') {
        reason = "ends with a path separator";
        return false;
    }
    size_t start = 0;
    while (start <= stored.size()) {
        const size_t end = stored.find_first_of("/\\", start);
        const std::string part = stored.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") {
            reason = "has a \"..\" component";
            out.clear();
            return false;
        }
        if (!part.empty() && part != ".") out /= part;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (out.empty()) {
        reason = "names no file";
        return false;
    }
    return true;
}

ExitStatus ListPackage(const std::string& path, std::ostream& out, std::ostream& err, bool json) {
    ConsoleHost host(path, err);
    PackageReader reader(host);
    if (host.Faults() > 0) return ExitStatus::kFault;
    if (json) {
        out << "{\"file\": " << JsonString(path) << ", \"headerOffset\": " << reader.HeaderOffset() << ", \"entries\": [";
        for (int32_t i = 0; i < reader.EntryCount(); ++i) {
            const PackageEntry& entry = *reader.EntryAt(i);
            out << (i == 0 ? "\n" : ",\n") << "  {\"section\": " << JsonString(entry.section)
                << ", \"name\": " << JsonString(entry.name) << ", \"size\": " << entry.size << ", \"crc32\": \""
                << Hex32(entry.crc) << "\", \"offset\": " << reader.EntryOffset(i) << BlockJson(reader, entry) << "}";
        }
        out << "\n]}\n";
        return ExitStatus::kOk;
    }
    out << "header at offset " << reader.HeaderOffset() << ", " << reader.EntryCount() << " entries\n";
    out << "section\tname\tsize\tcrc32\toffset\n";
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry& entry = *reader.EntryAt(i);
        out << entry.section << '\t' << entry.name << '\t' << entry.size << '\t' << Hex32(entry.crc) << '\t'
            << reader.EntryOffset(i) << '\n';
    }
    return ExitStatus::kOk;
}

ExitStatus VerifyPackage(const std::string& path, std::ostream& out, std::ostream& err) {
    ConsoleHost host(path, err);
    PackageReader reader(host);
    if (host.Faults() > 0) return ExitStatus::kFault;
    CheckTrailer(path, reader, host);
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        CountingSink counter;
        (void)reader.StreamEntryAt(i, counter);  // a short or damaged entry is a fault the host counts
    }
    if (host.Faults() == 0) CheckCompressedItems(reader, host);
    if (host.Faults() == 0) CheckBlockItems(reader, host);
    if (host.Faults() > 0) {
        err << path << ": " << host.Faults() << (host.Faults() == 1 ? " fault\n" : " faults\n");
        return ExitStatus::kFault;
    }
    out << "OK: " << reader.EntryCount() << " entries, header at offset " << reader.HeaderOffset() << '\n';
    return ExitStatus::kOk;
}

ExitStatus ExtractPackage(const std::string& path, const std::string& folder, std::ostream& out,
                          std::ostream& err) {
    ConsoleHost host(path, err);
    PackageReader reader(host);
    if (host.Faults() > 0) return ExitStatus::kFault;
    std::set<std::string> written;
    int32_t count = 0;
    for (int32_t i = 0; i < reader.EntryCount(); ++i) {
        const PackageEntry& entry = *reader.EntryAt(i);
        fs::path section;
        fs::path name;
        std::string reason;
        if (!SafeRelativePath(entry.section, section, reason)) {
            host.Fault(EntryLabel(entry) + ": section " + reason + "; not extracted");
            continue;
        }
        if (!SafeRelativePath(entry.name, name, reason)) {
            host.Fault(EntryLabel(entry) + ": name " + reason + "; not extracted");
            continue;
        }
        const fs::path target = fs::path(folder) / section / name;
        // Windows takes "A/x" and "a/X" for one file: so does the check, everywhere.
        if (!written.insert(FoldedAscii(target.generic_string())).second) {
            host.Fault(EntryLabel(entry) + ": maps onto " + target.string() + ", already written; not extracted");
            continue;
        }
        if (LinkOnTheWay(fs::path(folder), section / name)) {
            host.Fault(EntryLabel(entry) + ": " + target.string() + " is or lies behind a link; not extracted");
            continue;
        }
        // An item in the blocks has an empty entry: its file is what the blocks hold for it.
        const bool inBlocks = EqualsIgnoringCase(entry.section, package_format::kDefaultSection) &&
                              reader.Contains(entry.name, package_format::kBlockItemSection);
        FileWriter writer(target);
        bool decodeFailed = false;
        const StreamResult result =
            inBlocks ? reader.StreamItem(entry.name, writer, decodeFailed) : reader.StreamEntryAt(i, writer);
        if (result == StreamResult::kWritten) {
            ++count;
        } else if (!writer.error.empty()) {
            host.Fault(EntryLabel(entry) + ": " + writer.error);
        } else if (inBlocks) {
            host.Fault(EntryLabel(entry) + ": cannot be extracted from the LZMA blocks" +
                       (decodeFailed ? " (they do not decode)" : ""));
        }  // a damaged entry the reader has reported itself
    }
    out << "extracted " << count << " of " << reader.EntryCount() << " entries to " << folder << '\n';
    return host.Faults() > 0 ? ExitStatus::kFault : ExitStatus::kOk;
}
