// Any byte string as the data of a "VBRF" chunk: the decoder must never overrun, never
// allocate more than the stream can expand to, and what it accepts must be exactly what zlib
// makes of the stream.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "components/chunk/VbrfCodec.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> plain;
    const bool ok = chunk::DecodeVbrf(data, size, plain);
    if (!ok) {
        Check(plain.empty());
        return 0;
    }
    Check(size >= 4);
    const uint32_t recorded = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                              static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    Check(plain.size() == recorded);

    // The same stream through zlib's one-shot call gives the same bytes and the same length.
    std::vector<unsigned char> again(recorded + 1);
    uLongf length = static_cast<uLongf>(again.size());
    Check(uncompress(again.data(), &length, data + 4, static_cast<uLong>(size - 4)) == Z_OK);
    Check(length == recorded);
    again.resize(length);
    Check(again == plain);

    // What was accepted survives our own encoder and decoder unchanged.
    std::vector<unsigned char> file;
    Check(chunk::EncodeVbrf(plain.data(), plain.size(), file));
    std::vector<unsigned char> round;
    Check(file.size() >= 8 && chunk::DecodeVbrf(file.data() + 8, file.size() - 8, round));
    Check(round == plain);
    return 0;
}
