#pragma once
#include <cstdint>

#include <zlib.h>

#include "package/PackageReader.h"

// Decodes a compressed project file (a zlib stream, then its 4-byte little-endian plain size)
// as its stored bytes stream through, passing the plain bytes on to target. Memory stays at
// the sink's fixed output buffer whatever the file's size.
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
    InflatingSink(EntrySink& target, uint32_t plainSize) : target(target), plainSize(plainSize) {}
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

    // Held in the sink itself, so that decoding needs no allocation of its own.
    static constexpr uint32_t kOutputChunk = 64u << 10;

private:
    EntrySink& target;
    uint32_t plainSize;
    uint32_t storedSize = 0;
    uint32_t fed = 0;        // stored bytes given to the decoder
    uint32_t produced = 0;   // plain bytes passed to target
    bool ended = false;      // the stream ended; fed then counts what it took
    bool unsound = false;    // the stream failed; the rest is only read for the CRC
    bool decodeFailed = false;
    bool streamOpen = false;
    z_stream stream;  // set up by Begin
    unsigned char output[kOutputChunk];
};
