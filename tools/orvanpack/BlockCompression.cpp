#include "tools/orvanpack/BlockCompression.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include <zlib.h>

#include "package/Crc32.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

struct BlockCompressor::Segment {
    const std::string* path;
    size_t file;      // index into the entries
    uint64_t offset;  // in the file
    uint32_t length;
    bool endsFile;
};

namespace {

// The fast setting that tells whether a file is worth a place in the blocks.
BlockSettings TrialSettings() {
    BlockSettings settings;
    settings.level = 1;
    settings.dictionary = BlockCompressor::kSampleBytes;
    return settings;
}

// The literal and position bits (lc, lp, pb) tried on each block: text-like data (lc 3), and
// data of 4-byte fields, as meshes and levels often are (lp 2), with its state kept per 4 or 8
// bytes (pb 2 or 3: a level's records of two fields measured 0.45% smaller with pb 3).
constexpr unsigned kLiteralChoices[][3] = {{3, 0, 2}, {0, 2, 2}, {0, 2, 3}};

// Reads count bytes at offset of path into out; false with error.
bool ReadPart(const std::string& path, uint64_t offset, size_t count, unsigned char* out, std::string& error) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    const bool ok = stream != nullptr && fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 &&
                    std::fread(out, 1, count, stream) == count;
    if (stream != nullptr) std::fclose(stream);
    if (!ok) error = "cannot read " + path + (stream != nullptr ? ": it changed while being read" : "");
    return ok;
}

// The size of plain's stream at settings; 0 when it cannot be told.
uint64_t CompressedSize(const Bytes& plain, const BlockSettings& settings, EncoderMemory& memory) {
    uint64_t size = 0;
    std::string error;
    const auto count = [&](const void*, size_t length) {
        size += length;
        return true;
    };
    return EncodeBlockOf(settings, plain.data(), static_cast<uint32_t>(plain.size()), count, &memory, error) ? size : 0;
}

// The plain bytes of a block, segment after segment, checking that each file holds exactly
// the bytes its size promised; the CRC-32 of each segment on the way.
class BlockReader {
public:
    BlockReader(const std::vector<BlockCompressor::Segment>& segments, std::vector<uint32_t>& crcs)
        : segments(segments), crcs(crcs) {}
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    ~BlockReader() { Close(); }

    size_t Read(void* buffer, size_t want) {
        while (index < segments.size() && error.empty()) {
            const BlockCompressor::Segment& segment = segments[index];
            if (stream == nullptr && !Open(segment)) return 0;
            if (done < segment.length) {
                const size_t take = std::min<uint64_t>(want, segment.length - done);
                const size_t got = std::fread(buffer, 1, take, stream);
                if (got == 0) return Fail(*segment.path);
                crcs[index] = Crc32::Update(crcs[index], buffer, static_cast<uint32_t>(got));
                done += got;
                return got;
            }
            unsigned char extra = 0;
            if (segment.endsFile && std::fread(&extra, 1, 1, stream) == 1) return Fail(*segment.path);
            Close();
            ++index;
            done = 0;
        }
        return 0;
    }
    std::string error;

private:
    bool Open(const BlockCompressor::Segment& segment) {
        errno = 0;
        stream = std::fopen(segment.path->c_str(), "rb");
        if (stream != nullptr && fseeko(stream, static_cast<off_t>(segment.offset), SEEK_SET) == 0) return true;
        error = "cannot read " + *segment.path + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
        return false;
    }
    size_t Fail(const std::string& path) {
        error = "cannot read " + path + ": it changed while being read";
        return 0;
    }
    void Close() {
        if (stream != nullptr) std::fclose(stream);
        stream = nullptr;
    }

    const std::vector<BlockCompressor::Segment>& segments;
    std::vector<uint32_t>& crcs;
    size_t index = 0;
    uint64_t done = 0;
    std::FILE* stream = nullptr;
};

// What a file is judged by: all of it when it is small, else four slices spread over it (an
// archive's first megabyte may be its few stored members, the rest compressed already).
bool FileSample(const std::string& path, uint64_t size, Bytes& sample, std::string& error) {
    if (size <= BlockCompressor::kSampleBytes) {
        sample.resize(static_cast<size_t>(size));
        return ReadPart(path, 0, sample.size(), sample.data(), error);
    }
    const uint32_t slice = BlockCompressor::kSampleBytes / 4;
    sample.resize(BlockCompressor::kSampleBytes);
    for (uint64_t k = 0; k < 4; ++k) {
        const uint64_t from = std::min<uint64_t>(size * (2 * k + 1) / 8, size - slice);
        if (!ReadPart(path, from, slice, sample.data() + k * slice, error)) return false;
    }
    return true;
}

// Bytes [from, from + length) of a block's plain bytes into the end of out.
bool ReadBlockRange(const std::vector<BlockCompressor::Segment>& segments, uint64_t from, uint64_t length, Bytes& out,
                    std::string& error) {
    uint64_t at = 0;
    for (const BlockCompressor::Segment& segment : segments) {
        const uint64_t end = at + segment.length;
        if (length > 0 && from < end) {
            const auto take = static_cast<size_t>(std::min(length, end - from));
            const size_t old = out.size();
            out.resize(old + take);
            if (!ReadPart(*segment.path, segment.offset + (from - at), take, out.data() + old, error)) return false;
            from += take;
            length -= take;
        }
        at = end;
    }
    return true;
}

// What a block's settings are chosen on: the whole block when it is small, else four slices
// spread over it.
bool BlockSample(const std::vector<BlockCompressor::Segment>& segments, uint32_t plainSize, Bytes& sample,
                 std::string& error) {
    if (plainSize <= BlockCompressor::kSampleBytes) return ReadBlockRange(segments, 0, plainSize, sample, error);
    const uint32_t slice = BlockCompressor::kSampleBytes / 4;
    for (uint64_t k = 0; k < 4; ++k) {
        const uint64_t from = std::min<uint64_t>(plainSize * (2 * k + 1) / 8, plainSize - slice);
        if (!ReadBlockRange(segments, from, slice, sample, error)) return false;
    }
    return true;
}

}  // namespace

void BlockCompressor::Classify(const std::vector<const ManifestEntry*>& entries, std::vector<BlockedFile>& files) {
    std::atomic<size_t> next{0};
    const auto work = [&]() {
        Bytes sample;
        for (size_t i = next++; i < entries.size(); i = next++) {
            std::error_code ec;
            const uintmax_t size = fs::file_size(entries[i]->filePath, ec);
            BlockedFile& file = files[i];
            if (ec) {
                file.error = "cannot read " + entries[i]->filePath + ": " + ec.message();
                continue;
            }
            file.size = size;
            if (size == 0 || size > 0x7FFFFFFFu) continue;  // empty files are stored; too large ones refused
            if (size <= kAlwaysBlock) {
                file.inBlock = true;
                continue;
            }
            if (!FileSample(entries[i]->filePath, size, sample, file.error)) continue;
            const uint64_t packed = CompressedSize(sample, TrialSettings(), memory);
            file.inBlock = packed > 0 && packed * 100 <= sample.size() * (100 - kMinSavingPercent);
        }
    };
    const size_t count = limits.Workers(entries.size(), EncoderFootprint(TrialSettings(), kSampleBytes) + kSampleBytes);
    std::vector<std::thread> threads;
    for (size_t i = 1; i < count; ++i) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
}

bool BlockCompressor::CompressBlock(uint32_t index, const std::vector<Segment>& segments, SpoolFiles::Writer& spool,
                                    CompressedBlock& block, std::vector<uint32_t>& segmentCrcs, std::string& error) {
    Bytes sample;
    if (!BlockSample(segments, block.plainSize, sample, error)) return false;
    BlockSettings settings;
    uint64_t best = 0;
    for (const auto& choice : kLiteralChoices) {
        BlockSettings trial;
        trial.dictionary = static_cast<uint32_t>(std::max<size_t>(sample.size(), 1u << 12));
        trial.lc = choice[0];
        trial.lp = choice[1];
        trial.pb = choice[2];
        const uint64_t size = CompressedSize(sample, trial, memory);
        if (size > 0 && (best == 0 || size < best)) {
            best = size;
            settings.lc = trial.lc;
            settings.lp = trial.lp;
            settings.pb = trial.pb;
        }
    }
    BlockReader reader(segments, segmentCrcs);
    block.offset = spool.end;
    block.storedSize = 0;
    block.crc = 0;
    const bool sought = fseeko(spool.stream, static_cast<off_t>(spool.end), SEEK_SET) == 0;
    const auto write = [&](const void* data, size_t size) {
        block.crc = Crc32::Update(block.crc, data, static_cast<uint32_t>(size));
        block.storedSize += size;
        return std::fwrite(data, 1, size, spool.stream) == size;
    };
    const auto read = [&](void* buffer, size_t size) { return reader.Read(buffer, size); };
    if (!sought || !EncodeBlock(settings, block.plainSize, read, write, &memory, error) ||
        std::fflush(spool.stream) != 0) {
        if (!reader.error.empty()) error = reader.error;
        if (error.empty()) error = "cannot write the compressed block " + std::to_string(index);
        return false;
    }
    spool.end += block.storedSize;
    return true;
}

bool BlockCompressor::Compress(const std::vector<const ManifestEntry*>& entries, const std::string& spoolFolder,
                               std::vector<BlockedFile>& files, std::vector<CompressedBlock>& blocks,
                               std::string& error) {
    files.assign(entries.size(), BlockedFile{});
    blocks.clear();
    Classify(entries, files);
    // The layout: every file that goes into the blocks, one after the other, in blocks of one
    // size (the last one smaller) as few as blockBytes allows: each start costs the history.
    uint64_t total = 0;
    for (const BlockedFile& file : files) {
        if (file.inBlock && file.error.empty()) total += file.size;
    }
    const uint64_t count = (total + blockBytes - 1) / blockBytes;
    const auto size = static_cast<uint32_t>(count == 0 ? blockBytes : (total + count - 1) / count);
    std::vector<std::vector<Segment>> segments;
    uint32_t filled = size;
    for (size_t i = 0; i < entries.size(); ++i) {
        BlockedFile& file = files[i];
        if (!file.inBlock || !file.error.empty()) continue;
        if (filled == size) {
            segments.emplace_back();
            filled = 0;
        }
        file.block = static_cast<uint32_t>(segments.size() - 1);
        file.offset = filled;
        for (uint64_t at = 0; at < file.size;) {
            if (filled == size) {
                segments.emplace_back();
                filled = 0;
            }
            const auto take = static_cast<uint32_t>(std::min<uint64_t>(size - filled, file.size - at));
            segments.back().push_back(Segment{&entries[i]->filePath, i, at, take, at + take == file.size});
            at += take;
            filled += take;
        }
    }
    blocks.resize(segments.size());
    if (blocks.empty()) return true;
    return CompressAll(segments, files, blocks, spoolFolder, error);
}

bool BlockCompressor::CompressAll(const std::vector<std::vector<Segment>>& segments, std::vector<BlockedFile>& files,
                                  std::vector<CompressedBlock>& blocks, const std::string& spoolFolder,
                                  std::string& error) {
    workers = limits.Workers(blocks.size(), EncoderFootprint(BlockSettings(), blockBytes));
    if (!spools.Create(workers, spoolFolder, error)) return false;
    std::vector<std::vector<uint32_t>> crcs(segments.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex firstError;
    const auto work = [&](size_t worker) {
        SpoolFiles::Writer spool = spools.WriterFor(worker);
        for (size_t i = next++; i < segments.size() && !failed; i = next++) {
            CompressedBlock& block = blocks[i];
            block.spool = worker;
            for (const Segment& segment : segments[i]) block.plainSize += segment.length;
            crcs[i].assign(segments[i].size(), 0);
            std::string why;
            if (!CompressBlock(static_cast<uint32_t>(i), segments[i], spool, block, crcs[i], why)) {
                std::lock_guard<std::mutex> lock(firstError);
                if (!failed.exchange(true)) error = why;
            }
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i) threads.emplace_back(work, i);
    work(0);
    for (std::thread& thread : threads) thread.join();
    if (failed) return false;
    // Each file's CRC from its segments, in order: the bytes the blocks were made of.
    std::vector<bool> begun(files.size(), false);
    for (size_t i = 0; i < segments.size(); ++i) {
        for (size_t k = 0; k < segments[i].size(); ++k) {
            const Segment& segment = segments[i][k];
            BlockedFile& file = files[segment.file];
            file.crc = begun[segment.file] ? static_cast<uint32_t>(crc32_combine(file.crc, crcs[i][k], segment.length))
                                           : crcs[i][k];
            begun[segment.file] = true;
        }
    }
    return true;
}
