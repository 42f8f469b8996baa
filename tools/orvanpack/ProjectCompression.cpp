#include "tools/orvanpack/ProjectCompression.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include <zlib.h>
#ifdef ORVAN_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "package/Crc32.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr size_t kBlock = 1u << 20;

std::string SystemError() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

bool WorthIt(uint64_t plain, uint64_t packed) {
    return plain > 0 && packed * 100 <= plain * (100 - ProjectCompressor::kMinSavingPercent);
}

// One worker's whole-buffer encoder, kept for all the files it takes.
class WholeEncoder {
public:
    WholeEncoder() {
#ifdef ORVAN_HAVE_LIBDEFLATE
        compressor = libdeflate_alloc_compressor(12);
#endif
    }
    ~WholeEncoder() {
#ifdef ORVAN_HAVE_LIBDEFLATE
        if (compressor != nullptr) libdeflate_free_compressor(compressor);
#endif
    }
    WholeEncoder(const WholeEncoder&) = delete;
    WholeEncoder& operator=(const WholeEncoder&) = delete;

    // A zlib stream of plain into out (without the trailer); false when it cannot.
    bool Encode(const Bytes& plain, Bytes& out) {
#ifdef ORVAN_HAVE_LIBDEFLATE
        if (compressor == nullptr) return false;
        out.resize(libdeflate_zlib_compress_bound(compressor, plain.size()));
        const size_t got = libdeflate_zlib_compress(compressor, plain.data(), plain.size(), out.data(), out.size());
        out.resize(got);
        return got > 0;
#else
        uLongf got = compressBound(static_cast<uLong>(plain.size()));
        out.resize(got);
        if (compress2(out.data(), &got, plain.data(), static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION) != Z_OK) {
            return false;
        }
        out.resize(got);
        return true;
#endif
    }

private:
#ifdef ORVAN_HAVE_LIBDEFLATE
    libdeflate_compressor* compressor = nullptr;
#endif
};

bool ReadWhole(const std::string& path, uint64_t size, Bytes& out, std::string& error) {
    errno = 0;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        error = "cannot open " + path + ": " + SystemError();
        return false;
    }
    out.resize(static_cast<size_t>(size));
    const size_t got = size == 0 ? 0 : std::fread(out.data(), 1, out.size(), stream);
    // One byte more tells a file that grew since its size was taken.
    unsigned char extra = 0;
    const bool grew = std::fread(&extra, 1, 1, stream) == 1;
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed || got != size || grew) {
        error = "cannot read " + path + (failed ? "" : ": it changed while being read");
        return false;
    }
    return true;
}

using SpoolFile = SpoolFiles::Writer;

bool Append(SpoolFile& spool, const void* data, size_t size, uint64_t& written) {
    if (std::fwrite(data, 1, size, spool.stream) != size) return false;
    written += size;
    return true;
}

void StoreTrailer(unsigned char (&trailer)[4], uint64_t size) {
    trailer[0] = static_cast<unsigned char>(size);
    trailer[1] = static_cast<unsigned char>(size >> 8);
    trailer[2] = static_cast<unsigned char>(size >> 16);
    trailer[3] = static_cast<unsigned char>(size >> 24);
}

// What streaming one file through deflate read and wrote.
struct StreamTotals {
    uint64_t read = 0;
    uint64_t written = 0;
    uint32_t plainCrc = 0;
    uint32_t packedCrc = 0;
};

// Deflates the rest of in onto the spool's end; false when zlib or the spool failed.
bool DeflateInto(std::FILE* in, z_stream& stream, SpoolFile& spool, StreamTotals& totals) {
    Bytes input(kBlock);
    Bytes output(kBlock);
    bool ok = fseeko(spool.stream, static_cast<off_t>(spool.end), SEEK_SET) == 0;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        const size_t got = std::fread(input.data(), 1, input.size(), in);
        totals.read += got;
        totals.plainCrc = Crc32::Update(totals.plainCrc, input.data(), static_cast<uint32_t>(got));
        flush = got < input.size() ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            const int result = deflate(&stream, flush);
            const size_t produced = output.size() - stream.avail_out;
            totals.packedCrc = Crc32::Update(totals.packedCrc, output.data(), static_cast<uint32_t>(produced));
            ok = result != Z_STREAM_ERROR && Append(spool, output.data(), produced, totals.written);
        } while (ok && stream.avail_out == 0);
    }
    return ok;
}

// A file too large to hold twice: zlib as a stream, straight into the spool.
void CompressStreaming(const std::string& path, uint64_t size, SpoolFile& spool, PackedProjectFile& result) {
    errno = 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        result.error = "cannot open " + path + ": " + SystemError();
        return;
    }
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) {
        std::fclose(in);
        result.error = "cannot compress " + path;
        return;
    }
    StreamTotals totals;
    const bool ok = DeflateInto(in, stream, spool, totals);
    deflateEnd(&stream);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed || totals.read != size) {
        result.error = "cannot read " + path + (failed ? "" : ": it changed while being read");
        return;
    }
    unsigned char trailer[4];
    StoreTrailer(trailer, size);
    if (!ok || !Append(spool, trailer, sizeof(trailer), totals.written) || std::fflush(spool.stream) != 0) {
        result.error = "cannot write the compressed form of " + path;
        return;
    }
    if (!WorthIt(size, totals.written)) {
        // The next file overwrites what this one left in the spool.
        result.size = size;
        result.crc = totals.plainCrc;
        return;
    }
    result.compressed = true;
    result.offset = spool.end;
    result.size = totals.written;
    result.crc = Crc32::Update(totals.packedCrc, trailer, sizeof(trailer));
    spool.end += totals.written;
}

void CompressOne(const ManifestEntry& entry, WholeEncoder& encoder, SpoolFile& spool, PackedProjectFile& result) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(entry.filePath, ec);
    if (ec) {
        result.error = "cannot read " + entry.filePath + ": " + ec.message();
        return;
    }
    if (size > 0x7FFFFFFFu) return;  // refused by the build with its own message
    if (size > ProjectCompressor::kWholeFileLimit) {
        CompressStreaming(entry.filePath, size, spool, result);
        return;
    }
    Bytes plain;
    if (!ReadWhole(entry.filePath, size, plain, result.error)) return;
    result.size = size;
    result.crc = Crc32::Update(0, plain.data(), static_cast<uint32_t>(plain.size()));
    Bytes packed;
    if (size == 0 || !encoder.Encode(plain, packed)) return;
    unsigned char trailer[4];
    StoreTrailer(trailer, size);
    packed.insert(packed.end(), trailer, trailer + sizeof(trailer));
    if (!WorthIt(size, packed.size())) return;
    uint64_t written = 0;
    if (fseeko(spool.stream, static_cast<off_t>(spool.end), SEEK_SET) != 0 ||
        !Append(spool, packed.data(), packed.size(), written) || std::fflush(spool.stream) != 0) {
        result.error = "cannot write the compressed form of " + entry.filePath;
        return;
    }
    result.compressed = true;
    result.offset = spool.end;
    result.size = packed.size();
    result.crc = Crc32::Update(0, packed.data(), static_cast<uint32_t>(packed.size()));
    spool.end += written;
}

}  // namespace

ProjectCompressor::~ProjectCompressor() = default;

CompressionLimits CompressionLimits::OfThisMachine() {
    CompressionLimits limits;
    const unsigned reported = std::thread::hardware_concurrency();
    limits.cores = reported == 0 ? 1 : reported;
    if (const char* simulated = std::getenv("ORVANPACK_CORES")) {
        const long cores = std::strtol(simulated, nullptr, 10);
        if (cores > 0 && cores <= 4096) limits.cores = static_cast<unsigned>(cores);
    }
    limits.memoryBudget = kMaxBudget;
#ifdef _SC_PHYS_PAGES
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        limits.memoryBudget = std::min<uint64_t>(kMaxBudget, static_cast<uint64_t>(pages) * pageSize / 2);
    }
#endif
    if (const char* budget = std::getenv("ORVANPACK_MEMORY_MIB")) {
        const long mib = std::strtol(budget, nullptr, 10);
        if (mib > 0) limits.memoryBudget = std::min<uint64_t>(kMaxBudget, static_cast<uint64_t>(mib) << 20);
    }
    return limits;
}

size_t CompressionLimits::Workers(size_t jobs, uint64_t perWorker) const {
    const uint64_t byMemory = perWorker == 0 ? jobs : memoryBudget / perWorker;
    const uint64_t count = std::min<uint64_t>({static_cast<uint64_t>(cores), byMemory, static_cast<uint64_t>(jobs)});
    return count == 0 ? 1 : static_cast<size_t>(count);
}

SpoolFiles::~SpoolFiles() {
    for (Spool& spool : spools) {
        if (spool.stream != nullptr) std::fclose(spool.stream);
        std::remove(spool.path.c_str());
    }
}

bool SpoolFiles::Create(size_t count, const std::string& folder, std::string& error) {
    for (size_t i = 0; i < count; ++i) {
        Spool spool;
        spool.path = (fs::path(folder) / ".orvanpack-spool.XXXXXX").string();
        errno = 0;
        const int fd = mkstemp(spool.path.data());
        spool.stream = fd < 0 ? nullptr : fdopen(fd, "w+b");
        if (spool.stream == nullptr) {
            error = "cannot create a spool file in " + folder + ": " + SystemError();
            if (fd >= 0) {
                close(fd);
                std::remove(spool.path.c_str());
            }
            return false;
        }
        spools.push_back(spool);
    }
    return true;
}

bool SpoolFiles::ReadBack(size_t spool, uint64_t offset, uint64_t size,
                          const std::function<bool(const void*, size_t)>& sink, std::string& error) const {
    std::FILE* stream = spools.at(spool).stream;
    if (fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0) {
        error = "cannot read the spool file " + spools[spool].path;
        return false;
    }
    Bytes block(kBlock);
    for (uint64_t left = size; left > 0;) {
        const size_t want = left < block.size() ? static_cast<size_t>(left) : block.size();
        if (std::fread(block.data(), 1, want, stream) != want) {
            error = "cannot read the spool file " + spools[spool].path;
            return false;
        }
        if (!sink(block.data(), want)) return false;
        left -= want;
    }
    return true;
}

const char* ProjectCompressor::EncoderName() {
#ifdef ORVAN_HAVE_LIBDEFLATE
    return "libdeflate level 12";
#else
    return "zlib level 9";
#endif
}

bool ProjectCompressor::Compress(const std::vector<const ManifestEntry*>& files, const std::string& spoolFolder,
                                 std::vector<PackedProjectFile>& results, std::string& error) {
    results.assign(files.size(), PackedProjectFile{});
    if (files.empty()) return true;
    const size_t workers = limits.Workers(files.size(), kWorkerMemory);
    if (!spools.Create(workers, spoolFolder, error)) return false;
    std::atomic<size_t> next{0};
    const auto work = [&](size_t worker) {
        WholeEncoder encoder;
        SpoolFile spool = spools.WriterFor(worker);
        for (size_t i = next++; i < files.size(); i = next++) {
            CompressOne(*files[i], encoder, spool, results[i]);
            results[i].spool = worker;
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i) threads.emplace_back(work, i);
    work(0);
    for (std::thread& thread : threads) thread.join();
    return true;
}

bool ProjectCompressor::ReadBack(const PackedProjectFile& file, const std::function<bool(const void*, size_t)>& sink,
                                 std::string& error) const {
    return spools.ReadBack(file.spool, file.offset, file.size, sink, error);
}
