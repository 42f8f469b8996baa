#include "InflatingSink.h"

#include <cstdlib>

#include "LittleEndian.h"
#include "PackageFormat.h"

InflatingSink::InflatingSink(EntrySink& target, uint32_t plainSize) : target(target), plainSize(plainSize) {}

InflatingSink::~InflatingSink() {
    if (streamOpen) inflateEnd(&stream);
}

void InflatingSink::FreeBytes::operator()(unsigned char* p) const { std::free(p); }

bool InflatingSink::Begin(uint32_t size) {
    storedSize = size;
    if (size < package_format::kTrailerSize) {
        decodeFailed = true;
        return false;
    }
    output.reset(static_cast<unsigned char*>(std::malloc(kOutputChunk)));
    if (!output || inflateInit(&stream) != Z_OK) return false;
    streamOpen = true;
    begun = target.Begin(plainSize);
    return begun;
}

bool InflatingSink::Write(const void* bytes, uint32_t length) {
    fed += length;
    if (unsound || ended) {
        // Past the stream's end only the trailer may follow; anything else is checked at Commit.
        return true;
    }
    return Decode(static_cast<const unsigned char*>(bytes), length);
}

// False only when target refused bytes; an unsound stream sets unsound and goes on.
bool InflatingSink::Decode(const unsigned char* bytes, uint32_t length) {
    stream.next_in = const_cast<unsigned char*>(bytes);
    stream.avail_in = length;
    while (stream.avail_in > 0 && !ended && !unsound) {
        // One byte more than the trailer allows is enough to tell a stream that gives too much.
        const uint64_t allowed = plainSize - produced + 1;
        const uint32_t room = allowed < kOutputChunk ? static_cast<uint32_t>(allowed) : kOutputChunk;
        stream.next_out = output.get();
        stream.avail_out = room;
        const int result = inflate(&stream, Z_NO_FLUSH);
        const uint32_t got = room - stream.avail_out;
        if (result == Z_STREAM_END) {
            ended = true;
            streamEnd = fed - stream.avail_in;
        } else if (result != Z_OK) {
            unsound = true;
        }
        if (produced + got > plainSize) {
            unsound = true;
            break;
        }
        if (got > 0 && !target.Write(output.get(), got)) return false;
        produced += got;
    }
    return true;
}

bool InflatingSink::Commit() {
    const bool sound = !unsound && ended && streamEnd + package_format::kTrailerSize == storedSize &&
                       produced == plainSize;
    if (!sound) {
        decodeFailed = true;
        return false;
    }
    if (!target.Commit()) return false;
    begun = false;
    return true;
}

void InflatingSink::Discard() {
    if (begun) target.Discard();
    begun = false;
}

StreamResult StreamCompressedEntry(PackageReader& reader, const char* key, EntrySink& target, bool& decodeFailed) {
    // A trailer that cannot be read belongs to an entry too short to hold one (the sink says
    // so) or cut short (the stream's read says so).
    unsigned char trailer[package_format::kTrailerSize] = {};
    reader.ReadEntryTail(key, trailer, sizeof(trailer));
    InflatingSink inflating(target, LoadU32(trailer));
    const StreamResult result = reader.StreamEntry(key, nullptr, inflating);
    decodeFailed = result == StreamResult::kFailed && inflating.DecodeFailed();
    return result;
}
