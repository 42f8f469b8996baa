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

// Compresses project files one per thread on every core, each at the highest level (libdeflate
// level 12 where the packer is built with it, else zlib level 9), into the zlib stream and
// 4-byte size trailer the program decodes. A file whose compressed form saves less than
// kMinSavingPercent of its size is kept as it is. The compressed bytes go to spool files in
// spoolFolder, not memory; the result per file is the same whatever the threads' timing.
class ProjectCompressor {
public:
    static constexpr unsigned kMinSavingPercent = 3;
    // Files above this are compressed as a stream with zlib, so memory stays bounded.
    static constexpr uint64_t kWholeFileLimit = 64u << 20;

    ProjectCompressor() = default;
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
    struct Spool {
        std::string path;
        std::FILE* stream = nullptr;
        uint64_t end = 0;
    };
    std::vector<Spool> spools;
};
