#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/orvanpack/Manifest.h"

// How a project file ("auto" store) went into the package: its stored bytes' size and CRC-32,
// and whether they are the compressed form (then they wait in a spool file for the write).
struct PackedProjectFile {
    bool compressed = false;
    uint64_t size = 0;
    uint32_t crc = 0;
    size_t spool = 0;        // which spool file
    uint64_t offset = 0;     // where in it
    std::string error;       // set when the file could not be read or compressed
};

// What the packer may use to compress: cores and memory.
struct CompressionLimits {
    unsigned cores = 1;
    uint64_t memoryBudget = 0;
    // Most a packer holds for compression at once: a 32-bit one has 2 GiB of address space.
    static constexpr uint64_t kMaxBudget = sizeof(void*) >= 8 ? 3ull << 30 : 1ull << 30;
    // This machine's: the cores it reports and half its memory, at most kMaxBudget. To see what
    // the packer does on another machine, ORVANPACK_CORES stands for the count of cores and
    // ORVANPACK_MEMORY_MIB for the budget (at most kMaxBudget still).
    static CompressionLimits OfThisMachine();
    // How many of jobs to run side by side: no more than cores, nor than memoryBudget holds at
    // perWorker bytes each, nor than jobs; at least one.
    size_t Workers(size_t jobs, uint64_t perWorker) const;
};

// Temporary files beside the output that hold compressed bytes until the package is written,
// one per worker; removed again with their owner.
class SpoolFiles {
public:
    SpoolFiles() = default;
    SpoolFiles(const SpoolFiles&) = delete;
    SpoolFiles& operator=(const SpoolFiles&) = delete;
    ~SpoolFiles();

    // Adds count spool files in folder; false, with error, when one cannot be made.
    bool Create(size_t count, const std::string& folder, std::string& error);
    // Where one worker appends: its stream and the end of what it holds.
    struct Writer {
        std::FILE* stream;
        uint64_t& end;
    };
    Writer WriterFor(size_t spool) { return Writer{spools[spool].stream, spools[spool].end}; }
    // Reads size bytes at offset of a spool back, in blocks, into sink.
    bool ReadBack(size_t spool, uint64_t offset, uint64_t size, const std::function<bool(const void*, size_t)>& sink,
                  std::string& error) const;

private:
    struct Spool {
        std::string path;
        std::FILE* stream = nullptr;
        uint64_t end = 0;
    };
    std::vector<Spool> spools;
};

// Compresses project files one per thread on every core, each at the highest level (libdeflate
// level 12 where the packer is built with it, else zlib level 9), into the zlib stream and
// 4-byte size trailer the program decodes. A file whose compressed form saves less than
// kMinSavingPercent of its size is kept as it is. The compressed bytes go to spool files in
// spoolFolder, not memory; the result per file is the same whatever the threads' timing.
// Workers: one per core, no more than the memory budget holds at kWorkerMemory each.
class ProjectCompressor {
public:
    static constexpr unsigned kMinSavingPercent = 3;
    // Files above this are compressed as a stream with zlib, so memory stays bounded.
    static constexpr uint64_t kWholeFileLimit = 64u << 20;
    // A worker holds a whole file and its compressed form.
    static constexpr uint64_t kWorkerMemory = 2 * kWholeFileLimit + (2u << 20);

    explicit ProjectCompressor(const CompressionLimits& limits = CompressionLimits::OfThisMachine())
        : limits(limits) {}
    ProjectCompressor(const ProjectCompressor&) = delete;
    ProjectCompressor& operator=(const ProjectCompressor&) = delete;
    ~ProjectCompressor();

    // False, with error, when no spool file can be made; per-file failures go to their results.
    bool Compress(const std::vector<const ManifestEntry*>& files, const std::string& spoolFolder,
                  std::vector<PackedProjectFile>& results, std::string& error);
    // Reads a compressed file's stored bytes back from its spool, in blocks, into sink.
    bool ReadBack(const PackedProjectFile& file, const std::function<bool(const void*, size_t)>& sink,
                  std::string& error) const;
    // The encoder in use, for the summary.
    static const char* EncoderName();

private:
    CompressionLimits limits;
    SpoolFiles spools;
};
