#pragma once
#include <cstdint>
#include <memory>

#include <zlib.h>

#include "PackageReader.h"

// Decodes a compressed project file (a zlib stream, then its 4-byte little-endian plain size)
// as its stored bytes stream through, passing the plain bytes on to target. Memory stays at
// one fixed output buffer whatever the file's size.
//
// plainSize is the trailer, read before the stream starts: target never receives more than
// that many bytes; a stream that would give more stops at plainSize + 1 and fails. Target is
// committed only when the stream ended exactly before the trailer and gave exactly plainSize
// bytes; the reader checks the CRC of the stored bytes before it commits at all.
//
// A stream that does not decode is read on to its end (without decoding) so that the reader
// can still check its CRC: a damaged package gets the CRC box, a sound package with an unsound
// stream gets DecodeFailed. A failing target (a full disk) stops the read at once.
class InflatingSink : public EntrySink {
public:
    InflatingSink(EntrySink& target, uint32_t plainSize);
    InflatingSink(const InflatingSink&) = delete;
    InflatingSink& operator=(const InflatingSink&) = delete;
    ~InflatingSink() override;

    bool Begin(uint32_t size) override;
    bool Write(const void* bytes, uint32_t length) override;
    bool Commit() override;
    void Discard() override;

    // The stored bytes were read whole (or were too short to hold a trailer) but are not a
    // sound stream of plainSize bytes: the caller's "Error decompress".
    bool DecodeFailed() const { return decodeFailed; }

    static constexpr uint32_t kOutputChunk = 256u << 10;

private:
    bool Decode(const unsigned char* bytes, uint32_t length);
    struct FreeBytes {
        void operator()(unsigned char* p) const;
    };
    EntrySink& target;
    uint32_t plainSize;
    uint32_t storedSize = 0;
    uint64_t fed = 0;        // stored bytes given to the decoder
    uint64_t streamEnd = 0;  // stored bytes the stream took, once it ended
    uint64_t produced = 0;   // plain bytes passed to target
    bool begun = false;      // target's Begin succeeded
    bool ended = false;
    bool unsound = false;    // the stream failed; the rest is only read for the CRC
    bool decodeFailed = false;
    bool streamOpen = false;
    z_stream stream{};
    std::unique_ptr<unsigned char, FreeBytes> output;
};

// Streams the compressed item key (an "APPDATA" entry) to target through an InflatingSink,
// its trailer read first. Results as StreamEntry; decodeFailed tells a sound package whose
// stream does not decode (the caller's "Error decompress") from the other failures, which
// have had their box (CRC) or need none (target).
StreamResult StreamCompressedEntry(PackageReader& reader, const char* key, EntrySink& target, bool& decodeFailed);
