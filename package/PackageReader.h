#pragma once
#include <cstdint>
#include <memory>

#include "package/AsciiText.h"
#include "package/BlockSource.h"
#include "package/PackageEntry.h"
#include "package/PackageFile.h"
#include "package/PointerList.h"

// Where a streamed entry goes: a file being written, for the installer and the tools.
class EntrySink {
public:
    virtual ~EntrySink() = default;
    // Called once, before any bytes, with the entry's size. False: nothing was created and the
    // read stops.
    virtual bool Begin(uint32_t size) = 0;
    // The next length bytes, in order. False stops the read.
    virtual bool Write(const void* bytes, uint32_t length) = 0;
    // Every byte arrived and the CRC-32 matched. False when the target could not be completed.
    virtual bool Commit() = 0;
    // After a successful Begin, when the entry failed (short read, CRC, a failed Write or
    // Commit): removes what was written, so no damaged copy passes for a good one.
    virtual void Discard() = 0;
};

enum class StreamResult { kWritten, kMissing, kFailed };

// Finds the package behind the program file, indexes its table and reads entries.
//
// Construction opens and indexes the package at once; a reader is then either indexed or
// empty. When no sound package is found the host shows "Data header not found!" once and
// every lookup fails. A table that does not fit the file (bad name lengths, counts or sizes
// running past its end) is treated like a missing header.
class PackageReader {
public:
    explicit PackageReader(PackageHost& host);
    PackageReader(const PackageReader&) = delete;
    PackageReader& operator=(const PackageReader&) = delete;
    virtual ~PackageReader();

    // Finds the header and reads the table. An unsigned file: the trailer at its end first,
    // then a bounded search. A signed one: the package must end where the certificate table
    // begins (behind up to 7 zero bytes); the trailer just before the table first, then the
    // search, and nothing from the table onwards is ever read, also by later entry reads. A
    // security directory that does not fit the file, or a table that does not end it, is
    // treated like a missing header.
    virtual void Open();
    // Looks up key in section (null: "APPDATA"), both without regard to ASCII case; the first
    // match in table order wins.
    // With a buffer: copies the entry's size bytes into it (the rest of the buffer is left as
    // it was) and checks their CRC-32. Without one: loads the entry into the reader's own buffer (Data, Size) and
    // checks it the same way.
    // Missing entry: false, no message. Entry larger than capacity, cut short by the end of
    // the file, or failing its CRC: "Crc error corrupt file" with the stored name as caption,
    // false. On failure without a buffer, Data is null and Size 0.
    virtual bool ReadEntry(const char* key, void* buffer, int32_t capacity, const char* section);
    // Whether section (default "APPDATA") holds key (not null), looked up as ReadEntry does;
    // tells an entry that is absent from one that failed to read.
    bool Contains(const char* key, const char* section = nullptr) const;

    // Looks up key as ReadEntry does and passes the entry to sink through a bounded buffer
    // (kStreamChunk bytes at most), checking its CRC-32 as the bytes pass, so an entry of any
    // size needs no more memory than that. kWritten after Commit; kMissing, without a message
    // and without calling sink, when the entry is not in the table; kFailed otherwise, after
    // Discard unless Begin itself failed. A short read or a CRC mismatch also shows "Crc error
    // corrupt file" with the stored name as caption; a sink failure shows nothing. Data and
    // Size are not changed.
    StreamResult StreamEntry(const char* key, const char* section, EntrySink& sink);
    // StreamEntry for an "APPDATA" entry written as a file. When a nonzero 1-byte entry of the
    // same name in kCompressedSection marks it compressed (a zlib stream, then its 4-byte
    // little-endian plain size), sink gets the decoded bytes through an InflatingSink, the
    // trailer read before the stream. decodeFailed tells a sound entry whose stream does not
    // decode to the trailer's size (the caller's "Error decompress", set only then: the caller
    // clears it) from the other failures, which have had their box (CRC) or need none (sink). A marker that fails its CRC gets its
    // box and kFailed: the item's form is unknown.
    //
    // An item with a record in kBlockItemSection lies in the LZMA blocks instead (layout in
    // PackageFormat.h): sink gets its plain bytes as the blocks decode, and Commit only once
    // their CRC-32 matched the record's and the decoder got past them: for an item that ends a
    // block, the block's stored bytes matched their CRC and its stream ended there. The reader keeps the decoder where the
    // item ended, so the items of a block, read in the order the package lists them, decode
    // the block once; an item elsewhere starts its block again. A damaged block or item gets
    // "Crc error corrupt file" with the item's name as caption; a sound package whose block
    // does not decode, or whose record does not fit its blocks, sets decodeFailed. The
    // decoder's memory is given back when the last block has ended or an item failed.
    StreamResult StreamItem(const char* key, EntrySink& sink, bool& decodeFailed);
    static constexpr uint32_t kStreamChunk = 2u << 20;

    // The entry last loaded without a buffer, followed by one zero byte; owned by the reader
    // and valid until the next such load. Null before the first.
    virtual const unsigned char* Data();
    virtual uint32_t Size();

    // Table access for the tools.
    int32_t EntryCount() const { return entries.Count(); }
    const PackageEntry* EntryAt(int32_t index) const;
    // Absolute file offset of the entry's first data byte.
    uint64_t EntryOffset(int32_t index) const;
    uint32_t HeaderOffset() const { return headerOffset; }
    // The package's bytes, from its header to its end; 0 when none was found.
    uint64_t PackageSize() const { return fileEnd > headerOffset ? fileEnd - headerOffset : 0; }
    // The load without a buffer, by table index.
    bool LoadEntryAt(int32_t index);
    // StreamEntry by table index (kMissing for one outside the table): the tools' way to
    // read an entry of any size in bounded memory.
    StreamResult StreamEntryAt(int32_t index, EntrySink& sink) {
        return EntryAt(index) == nullptr ? StreamResult::kMissing : StreamAt(index, sink);
    }
    // How many LZMA blocks the package holds (blocks "0" to "N-1" of kBlockSection).
    uint32_t BlockCount();
    // The plain bytes of the items in LZMA blocks, as their records give them (their APPDATA
    // entries are empty). Without a box: a damaged record counts nothing here, and its item
    // gets its box when it is extracted.
    uint64_t BlockItemBytes();
    // Decodes all of block index on its own, adding its plain bytes to plainSize: kBlockEnd
    // when it is sound, else the kind of piece that stopped it.
    BlockPiece::Kind DecodeBlock(uint32_t index, uint64_t& plainSize);

private:
    bool ParseTable(uint64_t header, uint64_t length);
    bool SearchHeader(const char* marker, uint64_t length);
    // A signed file whose certificate table starts at packageEnd: looks for the trailer just
    // before it, behind up to 7 zero bytes of padding, for a package that ends there.
    bool TrailerBeforeCertificates(const char* marker, uint64_t packageEnd);
    // Every read of the file goes through these (the table's reads stop at the end ParseTable
    // is given, never past fileEnd): nothing at or past fileEnd is read, a read that would
    // cross it stops there. ReadAll: exactly length bytes or false.
    bool ReadPart(uint64_t offset, void* buffer, uint32_t length, uint32_t& got);
    bool ReadAll(uint64_t offset, void* buffer, uint32_t length);
    int32_t FindEntry(const char* key, const char* section) const;
    StreamResult StreamAt(int32_t index, EntrySink& sink);
    StreamResult StreamBlockItem(const PackageEntry& record, int32_t index, EntrySink& sink, bool& decodeFailed);
    // Moves the block source to plain byte `offset` of `block`, restarting it when it is past
    // there or elsewhere; false with the piece kind that stopped it.
    bool SeekBlocks(uint32_t block, uint32_t offset, BlockPiece::Kind& failure);
    // The source's next piece into pending, following a block's end; false with its kind when
    // it ended the blocks.
    bool TakePiece(BlockPiece::Kind& failure);
    // Up to want plain bytes at the source's position (got of them at bytes); false with the kind
    // of the piece that ended them.
    bool NextPlain(uint32_t want, const unsigned char*& bytes, uint32_t& got, BlockPiece::Kind& failure);
    // Decodes on past an item's last byte when nothing decoded waits there: the next bytes of
    // its block, or the block's end, so that a stream that breaks off right behind the item, or
    // a block that ends with it but does not check, fails the item. False with the kind then.
    bool LookPastItem(BlockPiece::Kind& failure);
    StreamResult FailBlockItem(BlockPiece::Kind failure, const PackageEntry& item, EntrySink* begun,
                               bool& decodeFailed);
    // Indexes kBlockSection's entries "0", "1", ... once; false, with kUnsound when there are
    // none or kNoMemory, when it cannot.
    bool FindBlocks(BlockPiece::Kind& failure);
    void ReportCorrupt(const PackageEntry& entry);
    void FreeEntries();

    PackageHost& host;
    std::unique_ptr<PackageFile> file;
    // Where the package must end: the file's end, or in a signed file where its certificate
    // table begins; 0 when nothing may be read.
    uint64_t fileEnd = 0;
    PointerList entries;
    uint32_t dataBase = 0;
    struct FreeBytes {
        void operator()(unsigned char* p) const;
    };
    std::unique_ptr<unsigned char, FreeBytes> data;
    uint32_t dataSize = 0;
    // Per entry, in table order: its data's offset from the first data byte and a hash of its
    // name folded to lower case, so that a lookup walks small numbers instead of texts. Null
    // when it could not be allocated; lookups then compare every name.
    struct EntryIndex {
        uint32_t offset;
        uint32_t nameHash;
    };
    struct FreeIndex {
        void operator()(EntryIndex* p) const;
    };
    std::unique_ptr<EntryIndex, FreeIndex> lookup;
    // Small reads into caller buffers (the configuration values and item names, which lie
    // side by side) are served from one window of the file, read kWindowSize bytes at a time.
    void ReadThroughWindow(uint64_t offset, void* buffer, uint32_t length, uint32_t& got);
    static constexpr uint32_t kWindowSize = 64u << 10;
    std::unique_ptr<unsigned char, FreeBytes> window;
    uint64_t windowStart = 0;
    uint32_t windowLength = 0;
    // StreamEntry's buffer, grown up to kStreamChunk and kept for the next entry.
    std::unique_ptr<unsigned char, FreeBytes> chunk;
    uint32_t chunkCapacity = 0;
    uint32_t headerOffset = 0;
    // The LZMA blocks, in decoding order, and where their decoder stands: at plain byte
    // blockOffset of block atBlock, with the rest of its last piece in pending.
    struct FreeBlocks {
        void operator()(BlockLocation* p) const;
    };
    std::unique_ptr<BlockLocation, FreeBlocks> blocks;
    uint32_t blockCount = 0;
    std::unique_ptr<BlockSource> blockSource;
    BlockPiece pending;
    uint32_t atBlock = 0;
    uint32_t blockOffset = 0;
};

// ASCII-only case-insensitive comparison of two zero-terminated texts, or of their first n
// characters.
bool EqualsIgnoringCase(const char* a, const char* b, size_t n = SIZE_MAX);
