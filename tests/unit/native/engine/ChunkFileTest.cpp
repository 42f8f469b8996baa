#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/chunk/ChunkFile.h"
#include "testkit/ByteStrings.h"

using Bytes = std::vector<unsigned char>;
using testkit::Join;

namespace {

Bytes Raw(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// tag, little-endian size as given, then data (which may disagree with the size on purpose).
Bytes Chunk(const std::string& tag, uint32_t size, const std::string& data) {
    Bytes out = Raw(tag);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(size >> (8 * i)));
    const Bytes tail = Raw(data);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

std::string Describe(const std::vector<chunk::Chunk>& chunks) {
    std::string out;
    for (const chunk::Chunk& c : chunks) {
        out += c.tag + "=" + std::string(c.data.begin(), c.data.end()) + ";";
    }
    return out;
}

}  // namespace

TEST(ChunkFile, ReaderAcceptsOnlyWholeChunks) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool ok;
        std::string chunks;
    } cases[] = {
        {"empty file", {}, true, ""},
        {"one chunk", Chunk("UNFC", 4, "abcd"), true, "UNFC=abcd;"},
        {"tag-only chunk", Chunk("UNSK", 0, ""), true, "UNSK=;"},
        {"chunks in order", Join({Chunk("AAAA", 1, "x"), Chunk("BBBB", 0, ""), Chunk("AAAA", 2, "yz")}), true,
         "AAAA=x;BBBB=;AAAA=yz;"},
        {"tag cut short", Raw("UNF"), false, ""},
        {"size cut short", Join({Chunk("AAAA", 1, "x"), Raw("BBBB\x01\x00")}), false, ""},
        {"size one beyond the data", Chunk("AAAA", 5, "abcd"), false, ""},
        {"size far beyond the data", Chunk("AAAA", 0xFFFFFFFFu, "abcd"), false, ""},
        {"size beyond in a later chunk", Join({Chunk("AAAA", 1, "x"), Chunk("BBBB", 9, "y")}), false, ""},
        {"stray bytes after the last chunk", Join({Chunk("AAAA", 1, "x"), Raw("zz")}), false, ""},
    };
    for (const Case& c : cases) {
        std::vector<chunk::Chunk> chunks{{"OLD!", {}}};
        EXPECT_EQ(chunk::ReadChunks(c.bytes, chunks), c.ok) << c.what;
        EXPECT_EQ(Describe(chunks), c.chunks) << c.what;
    }
}

TEST(ChunkFile, AppendedChunksReadBack) {
    Bytes file;
    const std::string field(259, '\0');
    chunk::AppendChunk(file, "UNFC", "\x02\x00\x00\x00", 4);
    chunk::AppendChunk(file, "UNFN", field.data(), 259);
    chunk::AppendChunk(file, "UNSK", nullptr, 0);
    std::vector<chunk::Chunk> chunks;
    ASSERT_TRUE(chunk::ReadChunks(file, chunks));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].tag, "UNFC");
    EXPECT_EQ(chunks[0].data, (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(chunks[1].data.size(), 259u);
    EXPECT_EQ(chunks[2].tag, "UNSK");
    EXPECT_TRUE(chunks[2].data.empty());
    EXPECT_EQ(file.size(), 3 * chunk::kHeaderSize + 4 + 259);
}

TEST(ChunkFile, FindChunkCountsOccurrencesOfOneTag) {
    const Bytes file = Join({Chunk("AAAA", 1, "1"), Chunk("BBBB", 1, "b"), Chunk("AAAA", 1, "2"),
                             Chunk("AAAA", 0, ""), Chunk("AAAA", 1, "4")});
    struct Case {
        const char* tag;
        int index;
        bool found;
        std::string data;
    } cases[] = {
        {"AAAA", 0, true, "1"}, {"AAAA", 1, true, "2"}, {"AAAA", 2, true, ""},  {"AAAA", 3, true, "4"},
        {"AAAA", 4, false, ""}, {"BBBB", 0, true, "b"}, {"BBBB", 1, false, ""}, {"CCCC", 0, false, ""},
        {"AAAA", -1, false, ""}, {"AAA", 0, false, ""}, {"AAAAB", 0, true, "1"},
    };
    for (const Case& c : cases) {
        chunk::ChunkView view;
        const bool found = chunk::FindChunk(file.data(), file.size(), c.tag, c.index, view);
        EXPECT_EQ(found, c.found) << c.tag << " " << c.index;
        if (found) {
            EXPECT_EQ(std::string(view.data, view.data + view.size), c.data) << c.tag << " " << c.index;
        } else {
            EXPECT_EQ(view.data, nullptr) << "a miss leaves the result alone";
        }
    }
}

TEST(ChunkFile, FindChunkIgnoresFilesThatAreNotChunkFiles) {
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"damaged after the wanted chunk", Join({Chunk("VBRF", 1, "x"), Chunk("BBBB", 7, "y")})},
        {"stray bytes after the wanted chunk", Join({Chunk("VBRF", 1, "x"), Raw("MZ")})},
        {"a plain program image", Raw(std::string("MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00", 12))},
        {"plain text starting with the tag", Raw("VBRF is just text here")},
    };
    for (const Case& c : cases) {
        chunk::ChunkView view;
        EXPECT_FALSE(chunk::FindChunk(c.bytes.data(), c.bytes.size(), "VBRF", 0, view)) << c.what;
    }
}
