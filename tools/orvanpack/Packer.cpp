#include "tools/orvanpack/Packer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "components/chunk/VbrfCodec.h"
#include "package/Crc32.h"
#include "package/DeploymentValues.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/PeCertificates.h"
#include "package/StdioPackageFile.h"
#include "tools/orvanpack/BlockCompression.h"
#include "tools/orvanpack/Manifest.h"
#include "tools/orvanpack/ProjectCompression.h"
#include "tools/orvanpack/StubVariant.h"
#include "tools/orvanpack/VersionResource.h"

namespace fs = std::filesystem;
using Bytes = PackageWriter::Bytes;

namespace {

std::string SystemError() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

bool ReadFileBytes(const std::string& path, Bytes& out, std::string& error) {
    errno = 0;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        error = "cannot open " + path + ": " + SystemError();
        return false;
    }
    out.clear();
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), stream)) > 0) out.insert(out.end(), buffer, buffer + got);
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

using Sink = PackageWriter::Sink;

// Produces a file entry's stored bytes: a plain file streamed in blocks, so memory does not
// grow with the project; an encoded one (components, channel items) encoded whole.
bool ProduceFile(const ManifestEntry& entry, const Sink& sink, std::string& error) {
    if (entry.store == Store::kPlain || entry.store == Store::kAuto || entry.store == Store::kLzma) {
        errno = 0;
        std::FILE* stream = std::fopen(entry.filePath.c_str(), "rb");
        if (stream == nullptr) {
            error = "cannot open " + entry.filePath + ": " + SystemError();
            return false;
        }
        std::vector<unsigned char> buffer(1 << 20);
        size_t got = 0;
        bool ok = true;
        while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), stream)) > 0) ok = sink(buffer.data(), got);
        if (ok && std::ferror(stream) != 0) {
            error = "cannot read " + entry.filePath;
            ok = false;
        }
        std::fclose(stream);
        return ok;
    }
    Bytes plain;
    if (!ReadFileBytes(entry.filePath, plain, error)) return false;
    Bytes packed;
    if (entry.store == Store::kZlib) {
        if (!PackageWriter::CompressWithSizeTrailer(plain, packed, error)) return false;
    } else if (!chunk::EncodeVbrf(plain.data(), plain.size(), packed)) {
        error = "cannot encode " + entry.filePath + " in the engine's form";
        return false;
    }
    return sink(packed.data(), packed.size());
}

// The progress line on a terminal: redrawn at most ten times a second, erased at the end.
class Progress {
public:
    Progress(bool show, std::ostream& err) : show(show), err(err) {}
    ~Progress() { Finish(); }
    void Finish() {
        if (drawn) err << '\r' << std::string(width, ' ') << '\r' << std::flush;
        drawn = false;
    }
    void UpdateBytes(const char* phase, uint64_t bytes) {
        if (!show || !Due(false)) return;
        char line[96];
        std::snprintf(line, sizeof(line), "%s: %.1f MB", phase, bytes / 1e6);
        Draw(line);
    }
    void Update(const char* phase, size_t files, size_t totalFiles, uint64_t bytes, uint64_t totalBytes) {
        if (!show || !Due(files == totalFiles)) return;
        char line[160];
        std::snprintf(line, sizeof(line), "%s: %zu of %zu files, %.1f of %.1f MB", phase, files, totalFiles,
                      bytes / 1e6, totalBytes / 1e6);
        Draw(line);
    }

private:
    bool Due(bool last) {
        const auto now = std::chrono::steady_clock::now();
        if (drawn && !last && now - lastDrawn < std::chrono::milliseconds(100)) return false;
        lastDrawn = now;
        return true;
    }
    void Draw(const std::string& text) {
        err << '\r' << text << std::string(width > text.size() ? width - text.size() : 0, ' ') << std::flush;
        width = std::max(width, text.size());
        drawn = true;
    }

    bool show;
    std::ostream& err;
    bool drawn = false;
    size_t width = 0;
    std::chrono::steady_clock::time_point lastDrawn;
};

struct Totals {
    size_t files = 0;
    uint64_t bytes = 0;
};

// The project files of the manifest, compressed (unless stored) before the entries are added:
// "auto" ones each on its own with zlib, "lzma" ones into solid blocks.
struct ProjectFiles {
    ProjectCompressor compressor;
    std::vector<const ManifestEntry*> files;
    std::vector<PackedProjectFile> packed;
    size_t compressed = 0;
    BlockCompressor blocks{CompressionLimits::OfThisMachine()};
    std::vector<const ManifestEntry*> lzmaFiles;
    std::vector<BlockedFile> blocked;
    std::vector<CompressedBlock> compressedBlocks;
    size_t inBlocks = 0;
};

// What one entry added, and the reason when it could not be.
struct Added {
    ExitStatus status = ExitStatus::kOk;
    std::string error;
};

Added TooLarge(const ManifestEntry& entry, uintmax_t size) {
    return {ExitStatus::kUsage, "file \"" + entry.file + "\" is " + std::to_string(size) +
                                    " bytes; a package holds at most 2 GiB"};
}

// A project file compressed on its own: its stored form and CRC are known already.
Added AddPackedFile(const ManifestEntry& entry, const PackedProjectFile& file, PackageWriter& writer,
                    ProjectFiles& project) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(entry.filePath, ec);
    if (!ec && size > package_format::kMaxOffset) return TooLarge(entry, size);
    const ProjectCompressor& compressor = project.compressor;
    const auto source = [file, &compressor, &entry](const Sink& sink, std::string& why) {
        return file.compressed ? compressor.ReadBack(file, sink, why) : ProduceFile(entry, sink, why);
    };
    Added added;
    if (!writer.AddStreamed(entry.section, entry.name, file.size, file.crc, source, added.error)) {
        added.status = ExitStatus::kUsage;
    } else if (file.compressed) {
        ++project.compressed;
    }
    return added;
}

// A file measured by a first read (size and CRC), then streamed in the write.
Added AddMeasuredFile(const ManifestEntry& entry, PackageWriter& writer) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(entry.filePath, ec);
    // Refused before it is read: a package holds at most 2 GiB.
    if (!ec && size > package_format::kMaxOffset) return TooLarge(entry, size);
    uint64_t produced = 0;
    uint32_t crc = 0;
    const Sink measure = [&](const void* data, size_t length) {
        produced += length;
        if (produced > package_format::kMaxOffset) return false;
        crc = Crc32::Update(crc, data, static_cast<uint32_t>(length));
        return true;
    };
    Added added;
    if (!ProduceFile(entry, measure, added.error)) {
        added.status = ExitStatus::kFault;
        if (produced > package_format::kMaxOffset) {
            added = {ExitStatus::kUsage, "file \"" + entry.file + "\" is larger than a package can hold"};
        }
    } else if (!writer.AddStreamed(entry.section, entry.name, produced, crc,
                                   [&entry](const Sink& sink, std::string& why) { return ProduceFile(entry, sink, why); },
                                   added.error)) {
        added.status = ExitStatus::kUsage;
    }
    return added;
}

Added AddValue(const ManifestEntry& entry, PackageWriter& writer) {
    Bytes data = entry.kind == ValueKind::kNumber ? PackageWriter::EncodeNumber(entry.number)
                 : entry.kind == ValueKind::kFlag ? PackageWriter::EncodeFlag(entry.flag)
                                                  : PackageWriter::EncodeText(entry.text);
    Added added;
    if (!writer.Add(entry.section, entry.name, std::move(data), added.error)) added.status = ExitStatus::kUsage;
    return added;
}

// Behind every other entry, in the order of their items: the zlib items' markers, the block
// items' records, then the blocks themselves.
ExitStatus AddCompressionEntries(const Manifest& manifest, PackageWriter& writer, ProjectFiles& project,
                                 std::ostream& err) {
    std::string error;
    for (size_t i = 0; i < project.files.size(); ++i) {
        if (!project.packed[i].compressed) continue;
        if (!writer.Add(package_format::kCompressedSection, project.files[i]->name, PackageWriter::EncodeFlag(true),
                        error)) {
            err << ManifestMessage(manifest.path, project.files[i]->line, error) << '\n';
            return ExitStatus::kUsage;
        }
    }
    for (size_t i = 0; i < project.lzmaFiles.size(); ++i) {
        const BlockedFile& file = project.blocked[i];
        if (!file.inBlock) continue;
        Bytes record;
        for (const uint32_t value : {file.block, file.offset, static_cast<uint32_t>(file.size), file.crc}) {
            AppendU32(record, value);
        }
        if (!writer.Add(package_format::kBlockItemSection, project.lzmaFiles[i]->name, std::move(record), error)) {
            err << ManifestMessage(manifest.path, project.lzmaFiles[i]->line, error) << '\n';
            return ExitStatus::kUsage;
        }
    }
    for (size_t i = 0; i < project.compressedBlocks.size(); ++i) {
        const CompressedBlock block = project.compressedBlocks[i];
        const BlockCompressor& compressor = project.blocks;
        const auto source = [block, &compressor](const Sink& sink, std::string& why) {
            return compressor.ReadBack(block, sink, why);
        };
        if (!writer.AddStreamed(package_format::kBlockSection, std::to_string(i), block.storedSize, block.crc, source,
                                error)) {
            err << manifest.path << ": " << error << '\n';
            return ExitStatus::kUsage;
        }
    }
    return ExitStatus::kOk;
}

// Adds every entry: values as bytes, files as streamed entries whose size and CRC come from a
// first read (for a compressed project file, from its compression; a file in the blocks gets
// an empty entry, its bytes are the blocks'). Every entry is tried so one run reports every
// problem; a manifest problem outranks an I/O one.
ExitStatus AddEntries(const Manifest& manifest, PackageWriter& writer, const Totals& totals, ProjectFiles& project,
                      Progress& progress, std::ostream& err) {
    ExitStatus worst = ExitStatus::kOk;
    Totals done;
    size_t next = 0;
    size_t nextBlocked = 0;
    for (const ManifestEntry& entry : manifest.entries) {
        const PackedProjectFile* packed =
            next < project.files.size() && project.files[next] == &entry ? &project.packed[next++] : nullptr;
        const BlockedFile* blocked = nextBlocked < project.lzmaFiles.size() && project.lzmaFiles[nextBlocked] == &entry
                                         ? &project.blocked[nextBlocked++]
                                         : nullptr;
        Added added;
        if (packed != nullptr && !packed->error.empty()) {
            added = {ExitStatus::kFault, packed->error};
        } else if (blocked != nullptr && !blocked->error.empty()) {
            added = {ExitStatus::kFault, blocked->error};
        } else if (packed != nullptr) {
            added = AddPackedFile(entry, *packed, writer, project);
        } else if (blocked != nullptr && blocked->inBlock) {
            if (!writer.Add(entry.section, entry.name, {}, added.error)) added.status = ExitStatus::kUsage;
            ++project.inBlocks;
        } else if (entry.kind != ValueKind::kFile) {
            added = AddValue(entry, writer);
        } else {
            added = AddMeasuredFile(entry, writer);
        }
        if (entry.kind == ValueKind::kFile) {
            std::error_code ec;
            const uintmax_t size = fs::file_size(entry.filePath, ec);
            ++done.files;
            done.bytes += ec ? 0 : size;
            progress.Update("checking", done.files, totals.files, done.bytes, totals.bytes);
        }
        if (added.status == ExitStatus::kOk) continue;
        progress.Finish();
        err << ManifestMessage(manifest.path, entry.line, added.error) << '\n';
        if (worst != ExitStatus::kUsage) worst = added.status;
    }
    return worst == ExitStatus::kOk ? AddCompressionEntries(manifest, writer, project, err) : worst;
}

// Commits the written file to the disk and gives it the stub's permission bits (Windows keeps
// none).
bool FlushToDisk(int fd, mode_t mode) {
#ifdef _WIN32
    (void)mode;
    return _commit(fd) == 0;
#else
    return fsync(fd) == 0 && fchmod(fd, mode) == 0;
#endif
}

// Stub and package under a temporary name beside the output, then one rename.
bool WriteAtomically(const std::string& output, const Bytes& stub, mode_t mode, const PackageWriter& writer,
                     const std::function<void(uint64_t)>& written, std::string& error) {
    const fs::path target(output);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    errno = 0;
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot create a file in " + folder.string() + ": " + SystemError();
        return false;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        error = "cannot write " + name + ": " + SystemError();
        close(fd);
        unlink(name.c_str());
        return false;
    }
    uint64_t total = 0;
    const auto sink = [stream, &total, &written](const void* data, size_t size) {
        total += size;
        written(total);
        return std::fwrite(data, 1, size, stream) == size;
    };
    bool ok = sink(stub.data(), stub.size());
    if (!ok) error = "write failed";
    ok = ok && writer.Write(static_cast<uint32_t>(stub.size()), sink, error);
    errno = 0;
    if (ok && (std::fflush(stream) != 0 || !FlushToDisk(fd, mode))) {
        error = "cannot write " + name + ": " + SystemError();
        ok = false;
    }
    if (std::fclose(stream) != 0 && ok) {
        error = "cannot write " + name + ": " + SystemError();
        ok = false;
    }
    // Replaces an existing output on Windows too, where a plain rename would refuse.
    std::error_code renamed;
    if (ok) fs::rename(name, output, renamed);
    if (ok && renamed) {
        error = "cannot rename " + name + " to " + output + ": " + renamed.message();
        ok = false;
    }
    if (!ok) unlink(name.c_str());
    return ok;
}

bool IsSigned(const Bytes& stub) {
    MemoryPackageFile file(stub.data(), stub.size());
    CertificateTable table;
    return FindCertificateTable(file, stub.size(), table);
}

// The APPDATA value name of the given kind; null when the manifest has none.
const ManifestEntry* FindValue(const Manifest& manifest, const char* name, ValueKind kind) {
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.kind == kind && EqualsIgnoringCase(entry.name.c_str(), name) &&
            EqualsIgnoringCase(entry.section.c_str(), package_format::kDefaultSection)) {
            return &entry;
        }
    }
    return nullptr;
}

// Replaces stub (read from stubPath) by its variant of the level the project needs, and
// refuses a signed stub. False, with the reason in err, when it cannot be packed.
bool ChooseStubVariant(const Manifest& manifest, ExecutionLevel wanted, std::string& stubPath, Bytes& stub,
                       std::ostream& err) {
    if (wanted == ExecutionLevel::kUnknown) {
        const ManifestEntry* type = FindValue(manifest, kProjectTypeKey, ValueKind::kNumber);
        const ManifestEntry* perUser = FindValue(manifest, kPerUserInstallKey, ValueKind::kFlag);
        if (type != nullptr) wanted = LevelForProjectType(type->number, perUser != nullptr && perUser->flag);
    }
    const ExecutionLevel given = StubExecutionLevel(stub);
    if (given != ExecutionLevel::kUnknown && wanted != ExecutionLevel::kUnknown && given != wanted) {
        const std::string variant = (fs::path(stubPath).parent_path() / VariantFileName(wanted)).string();
        Bytes other;
        std::string error;
        if (!ReadFileBytes(variant, other, error) || StubExecutionLevel(other) != wanted) {
            err << "stub " << stubPath << " asks for " << LevelName(given) << " but this project needs "
                << LevelName(wanted) << ", and " << variant << " is not a stub that asks for it"
                << " (give --execution-level " << LevelName(given) << " to pack it anyway)\n";
            return false;
        }
        stubPath = variant;
        stub.swap(other);
    }
    if (IsSigned(stub)) {
        err << "stub " << stubPath << " is signed: appending a package would break its signature. Pack the unsigned"
            << " stub, then sign the packed file\n";
        return false;
    }
    return true;
}

// The manifest and the stub it is packed behind (the request's, else the manifest's).
ExitStatus LoadBuildManifest(const BuildRequest& request, Manifest& manifest, std::string& stubPath,
                             std::ostream& err) {
    std::vector<std::string> errors;
    if (!LoadManifest(request.manifestPath, manifest, errors, request.storeOnly ? "store" : request.compression)) {
        for (const std::string& line : errors) err << line << '\n';
        return ExitStatus::kUsage;
    }
    stubPath = request.stubPath.empty() ? manifest.stubPath : request.stubPath;
    if (stubPath.empty()) {
        err << "no stub: give --stub or a [stub] file in " << manifest.path << '\n';
        return ExitStatus::kUsage;
    }
    return ExitStatus::kOk;
}

Totals CountFiles(const Manifest& manifest) {
    Totals totals;
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.kind != ValueKind::kFile) continue;
        std::error_code ec;
        const uintmax_t size = fs::file_size(entry.filePath, ec);
        ++totals.files;
        totals.bytes += ec ? 0 : size;
    }
    return totals;
}

// Compresses the project files beside the output, before any entry is written.
bool CompressProjectFiles(const BuildRequest& request, const Manifest& manifest, uint64_t totalBytes,
                          ProjectFiles& project, Progress& progress, std::ostream& err) {
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.kind == ValueKind::kFile && entry.store == Store::kAuto) project.files.push_back(&entry);
        if (entry.kind == ValueKind::kFile && entry.store == Store::kLzma) project.lzmaFiles.push_back(&entry);
    }
    const fs::path output(request.outputPath);
    const std::string folder = output.parent_path().empty() ? "." : output.parent_path().string();
    std::string error;
    progress.UpdateBytes("compressing", totalBytes);
    if (project.compressor.Compress(project.files, folder, project.packed, error) &&
        project.blocks.Compress(project.lzmaFiles, folder, project.blocked, project.compressedBlocks, error)) {
        return true;
    }
    progress.Finish();
    err << error << '\n';
    return false;
}

// The stub's version resource made the project's, so that the system names the project,
// not the stub, when it shows the file or asks to elevate it. A manifest without a project
// name (a long form of other values) leaves the stub as it is.
bool NameTheProduct(const Manifest& manifest, const std::string& stubPath, Bytes& stub, std::ostream& err) {
    const ManifestEntry* name = FindValue(manifest, kProjectNameKey, ValueKind::kText);
    if (name == nullptr) return true;
    ProductInfo product;
    product.name = name->text;
    if (const ManifestEntry* version = FindValue(manifest, kProjectVersionKey, ValueKind::kText)) {
        product.version = version->text;
    }
    if (const ManifestEntry* publisher = FindValue(manifest, kProjectPublisherKey, ValueKind::kText)) {
        product.publisher = publisher->text;
    }
    bool changed = false;
    std::string error;
    if (SetVersionResource(stub, product, changed, error)) return true;
    err << "stub " << stubPath << ": cannot give it the project's version resource: " << error << '\n';
    return false;
}

// Whether the package will hold LZMA blocks, which a stub must be able to decode.
bool AsksForBlocks(const Manifest& manifest) {
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.kind == ValueKind::kFile && entry.store == Store::kLzma) return true;
    }
    return false;
}

// The stub to pack behind: the variant of the level wanted, unsigned, small enough to address.
bool ReadStub(const Manifest& manifest, ExecutionLevel wanted, std::string& stubPath, Bytes& stub,
              std::ostream& err) {
    std::string error;
    if (!ReadFileBytes(stubPath, stub, error)) {
        err << error << '\n';
        return false;
    }
    if (!ChooseStubVariant(manifest, wanted, stubPath, stub, err)) return false;
    if (AsksForBlocks(manifest) && !StubDecodesBlocks(stub)) {
        err << "stub " << stubPath << " cannot decode LZMA blocks, which this manifest asks for (it predates them):"
            << " pack with a newer stub, or give --compression zlib\n";
        return false;
    }
    if (!NameTheProduct(manifest, stubPath, stub, err)) return false;
    if (stub.size() > package_format::kMaxOffset) {
        err << "stub " << stubPath << " is larger than 2^31 - 1 bytes\n";
        return false;
    }
    if (stub.size() >= package_format::kSearchLimit) {
        err << "warning: stub " << stubPath << " is " << stub.size() << " bytes; the program searches only the first "
            << package_format::kSearchLimit << " for its package, so it will find it through the trailer alone\n";
    }
    return true;
}

void PrintSummary(const BuildRequest& request, const Manifest& manifest, const PackageWriter& writer,
                  const ProjectFiles& project, uint64_t bytesIn, uint64_t bytesOut, double seconds, std::ostream& err) {
    char line[256];
    std::snprintf(line, sizeof(line), "%zu compressed, %s", project.compressed, ProjectCompressor::EncoderName());
    if (!project.lzmaFiles.empty()) {
        std::snprintf(line, sizeof(line), "%zu in %zu LZMA blocks, %zu stored; %zu workers, %.0f MiB peak encoder memory",
                      project.inBlocks, project.compressedBlocks.size(), project.lzmaFiles.size() - project.inBlocks,
                      project.blocks.Workers(), project.blocks.PeakMemory() / 1048576.0);
    }
    char time[32];
    std::snprintf(time, sizeof(time), "%.1f s", seconds);
    err << request.outputPath << ": " << writer.EntryCount() << " entries, " << manifest.projectFiles
        << " project files (" << line << "), " << bytesIn << " bytes in, " << bytesOut << " bytes out, " << time
        << '\n';
}

}  // namespace

ExitStatus BuildPackedFile(const BuildRequest& request, std::ostream& err) {
    return BuildPackedFile(request, "", err);
}

ExitStatus BuildPackedFile(const BuildRequest& request, const std::string& executionLevel, std::ostream& err) {
    ExecutionLevel wanted = ExecutionLevel::kUnknown;
    if (!executionLevel.empty() && !ParseExecutionLevel(executionLevel, wanted)) {
        err << "execution level must be asInvoker or requireAdministrator, not \"" << executionLevel << "\"\n";
        return ExitStatus::kUsage;
    }
    Manifest manifest;
    std::string stubPath;
    const ExitStatus loaded = LoadBuildManifest(request, manifest, stubPath, err);
    if (loaded != ExitStatus::kOk) return loaded;

    Bytes stub;
    if (!ReadStub(manifest, wanted, stubPath, stub, err)) return ExitStatus::kFault;
    struct stat stubStat {};
    const mode_t mode = stat(stubPath.c_str(), &stubStat) == 0 ? (stubStat.st_mode & 0777) : 0644;

    const auto started = std::chrono::steady_clock::now();
    Totals totals = CountFiles(manifest);
    Progress progress(request.progress, err);
    ProjectFiles project;
    if (!CompressProjectFiles(request, manifest, totals.bytes, project, progress, err)) return ExitStatus::kFault;
    PackageWriter writer;
    const ExitStatus added = AddEntries(manifest, writer, totals, project, progress, err);
    if (added != ExitStatus::kOk) return added;

    uint64_t outputBytes = 0;
    const auto written = [&](uint64_t bytes) {
        outputBytes = bytes;
        progress.UpdateBytes("writing", bytes);
    };
    std::string error;
    if (!WriteAtomically(request.outputPath, stub, mode, writer, written, error)) {
        err << request.outputPath << ": " << error << '\n';
        return ExitStatus::kFault;
    }
    progress.Finish();
    if (request.summary) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        PrintSummary(request, manifest, writer, project, totals.bytes, outputBytes, seconds, err);
    }
    return ExitStatus::kOk;
}

ExitStatus PrintManifestEntries(const std::string& manifestPath, std::ostream& out, std::ostream& err) {
    Manifest manifest;
    std::vector<std::string> errors;
    if (!LoadManifest(manifestPath, manifest, errors)) {
        for (const std::string& line : errors) err << line << '\n';
        return ExitStatus::kUsage;
    }
    WriteLongForm(manifest, out);
    return ExitStatus::kOk;
}
