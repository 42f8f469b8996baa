#include "package/InflatingSink.h"

#include "package/PackageFormat.h"

InflatingSink::~InflatingSink() {
    if (streamOpen) inflateEnd(&stream);
}

bool InflatingSink::Begin(uint32_t size) {
    storedSize = size;
    if (size < package_format::kTrailerSize) {
        decodeFailed = true;
        return false;
    }
    stream.zalloc = Z_NULL;
    stream.zfree = Z_NULL;
    stream.opaque = Z_NULL;
    stream.avail_in = 0;
    streamOpen = inflateInit(&stream) == Z_OK;
    return streamOpen && target.Begin(plainSize);
}

// False only when target refused bytes; an unsound stream sets unsound and goes on, so that
// the reader still checks the CRC of the rest. Past the stream's end only the trailer may
// follow; anything else is found at Commit.
bool InflatingSink::Write(const void* bytes, uint32_t length) {
    stream.next_in = static_cast<unsigned char*>(const_cast<void*>(bytes));
    stream.avail_in = length;
    while (stream.avail_in > 0 && !ended && !unsound) {
        // One byte more than the trailer allows is enough to tell a stream that gives too much.
        const uint32_t left = plainSize - produced;
        const uint32_t room = left < kOutputChunk ? left + 1 : kOutputChunk;
        stream.next_out = output;
        stream.avail_out = room;
        const int result = inflate(&stream, Z_NO_FLUSH);
        const uint32_t got = room - stream.avail_out;
        fed += length - stream.avail_in;
        length = stream.avail_in;
        ended = result == Z_STREAM_END;
        unsound = (result != Z_OK && !ended) || got > left;
        if (unsound) break;
        if (got > 0 && !target.Write(output, got)) return false;
        produced += got;
    }
    return true;
}

bool InflatingSink::Commit() {
    if (!ended || unsound || fed + package_format::kTrailerSize != storedSize || produced != plainSize) {
        decodeFailed = true;
        return false;
    }
    return target.Commit();
}

void InflatingSink::Discard() { target.Discard(); }
