// Any byte string as the stored bytes of a project file marked compressed, streamed in pieces
// through the program's decoding sink: it must never pass on more than the trailer allows,
// never commit what zlib would not make of the stream exactly, and hold no more than its
// fixed buffer whatever the stream claims.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/InflatingSink.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// A disk that fills up after kCapacity bytes, keeping what it got for the checks.
class Target : public EntrySink {
public:
    static constexpr size_t kCapacity = 4u << 20;
    bool Begin(uint32_t) override { return true; }
    bool Write(const void* bytes, uint32_t length) override {
        Check(length <= InflatingSink::kOutputChunk);
        if (bytes_.size() + length > kCapacity) return false;
        const auto* p = static_cast<const unsigned char*>(bytes);
        bytes_.insert(bytes_.end(), p, p + length);
        return true;
    }
    bool Commit() override {
        committed = true;
        return true;
    }
    void Discard() override { discarded = true; }
    std::vector<unsigned char> bytes_;
    bool committed = false;
    bool discarded = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const uint32_t trailer = size < 4 ? 0
                                      : static_cast<uint32_t>(data[size - 4]) |
                                            static_cast<uint32_t>(data[size - 3]) << 8 |
                                            static_cast<uint32_t>(data[size - 2]) << 16 |
                                            static_cast<uint32_t>(data[size - 1]) << 24;
    Target target;
    InflatingSink sink(target, trailer);
    bool ok = sink.Begin(static_cast<uint32_t>(size));
    // Pieces of a size the input chooses, as the reader's bounded reads would give them.
    const size_t piece = size == 0 ? 1 : data[0] % 61 + 1;
    for (size_t at = 0; ok && at < size; at += piece) {
        ok = sink.Write(data + at, static_cast<uint32_t>(size - at < piece ? size - at : piece));
    }
    ok = ok && sink.Commit();
    if (!ok) sink.Discard();
    Check(target.bytes_.size() <= trailer);
    Check(ok == target.committed);
    Check(!(ok && sink.DecodeFailed()));
    if (!ok) return 0;

    // Accepted: the stream ends right before the trailer and zlib's one-shot call agrees.
    Check(size >= 4 && target.bytes_.size() == trailer);
    std::vector<unsigned char> again(static_cast<size_t>(trailer) + 1);
    uLongf length = static_cast<uLongf>(again.size());
    Check(uncompress(again.data(), &length, data, static_cast<uLong>(size - 4)) == Z_OK);
    again.resize(length);
    Check(again == target.bytes_);
    return 0;
}
