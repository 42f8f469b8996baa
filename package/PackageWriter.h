#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Builds the package that is appended to a stub: the same layout the reader parses.
// Entries keep the order in which they were added; names and sections are stored upper-case.
class PackageWriter {
public:
    using Bytes = std::vector<unsigned char>;
    // Receives the package bytes in order; returns false to stop the write.
    using Sink = std::function<bool(const void* data, size_t size)>;

    // Adds one entry. Fails, with the reason in error, for an empty name or section, one of
    // 260 bytes or more, one with a zero byte inside, or a (section, name) pair that is already
    // present without regard to case.
    bool Add(const std::string& section, const std::string& name, Bytes data, std::string& error);

    // Produces an entry's bytes into sink; false, with the reason in error, when it cannot.
    using Source = std::function<bool(const Sink& sink, std::string& error)>;

    // Adds an entry whose bytes are produced only while Write runs, so a package need not be
    // held in memory: size and crc are those of what source produces. The checks of Add apply;
    // Write fails when source produces other bytes (a file changed between the two reads).
    bool AddStreamed(const std::string& section, const std::string& name, uint64_t size, uint32_t crc, Source source,
                     std::string& error);

    // Writes marker, table, data and trailer for a package that starts at headerOffset
    // (the stub's size). Fails, with the reason in error, when an offset would pass 2^31 - 1.
    bool Write(uint32_t headerOffset, const Sink& sink, std::string& error) const;

    // The whole package in memory.
    bool Build(uint32_t headerOffset, Bytes& out, std::string& error) const;

    size_t EntryCount() const { return entries.size(); }

    // Value encodings the program reads.
    static Bytes EncodeNumber(int32_t value);
    static Bytes EncodeFlag(bool value);
    static Bytes EncodeText(const std::string& text);
    // A zlib stream followed by the 4-byte little-endian uncompressed size.
    static bool CompressWithSizeTrailer(const Bytes& plain, Bytes& out, std::string& error);

private:
    struct Entry {
        std::string section;
        std::string name;
        Bytes data;
        uint32_t crc;
        uint64_t size;
        Source source;  // set for streamed entries, which hold no data
    };
    bool AddEntry(Entry entry, std::string& error);
    static bool WriteStreamed(const Entry& entry, const Sink& sink, std::string& error);
    std::vector<Entry> entries;
};
