#include "Packer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "VbrfCodec.h"
#include "Manifest.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "PeCertificates.h"
#include "StdioPackageFile.h"
#include "StubVariant.h"

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

ExitStatus EntryBytes(const ManifestEntry& entry, Bytes& out, std::string& error) {
    switch (entry.kind) {
        case ValueKind::kNumber: out = PackageWriter::EncodeNumber(entry.number); return ExitStatus::kOk;
        case ValueKind::kFlag: out = PackageWriter::EncodeFlag(entry.flag); return ExitStatus::kOk;
        case ValueKind::kText: out = PackageWriter::EncodeText(entry.text); return ExitStatus::kOk;
        case ValueKind::kFile: break;
    }
    if (!ReadFileBytes(entry.filePath, out, error)) return ExitStatus::kFault;
    switch (entry.store) {
        case Store::kPlain: return ExitStatus::kOk;
        case Store::kZlib: {
            Bytes packed;
            if (!PackageWriter::CompressWithSizeTrailer(out, packed, error)) return ExitStatus::kFault;
            out = std::move(packed);
            return ExitStatus::kOk;
        }
        case Store::kVbrf: {
            Bytes packed;
            if (!chunk::EncodeVbrf(out.data(), out.size(), packed)) {
                error = "cannot encode " + entry.filePath + " in the engine's form";
                return ExitStatus::kFault;
            }
            out = std::move(packed);
            return ExitStatus::kOk;
        }
    }
    return ExitStatus::kOk;
}

// Every entry is tried so one run reports every problem; a manifest problem outranks an I/O one.
ExitStatus AddEntries(const Manifest& manifest, PackageWriter& writer, std::ostream& err) {
    ExitStatus worst = ExitStatus::kOk;
    for (const ManifestEntry& entry : manifest.entries) {
        Bytes data;
        std::string error;
        ExitStatus status = EntryBytes(entry, data, error);
        if (status == ExitStatus::kOk && !writer.Add(entry.section, entry.name, std::move(data), error)) {
            status = ExitStatus::kUsage;
        }
        if (status == ExitStatus::kOk) continue;
        err << ManifestMessage(manifest.path, entry.line, error) << '\n';
        if (worst != ExitStatus::kUsage) worst = status;
    }
    return worst;
}

// Stub and package under a temporary name beside the output, then one rename.
bool WriteAtomically(const std::string& output, const Bytes& stub, mode_t mode, const PackageWriter& writer,
                     std::string& error) {
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
    const auto sink = [stream](const void* data, size_t size) { return std::fwrite(data, 1, size, stream) == size; };
    bool ok = sink(stub.data(), stub.size());
    if (!ok) error = "write failed";
    ok = ok && writer.Write(static_cast<uint32_t>(stub.size()), sink, error);
    errno = 0;
    if (ok && (std::fflush(stream) != 0 || fsync(fd) != 0 || fchmod(fd, mode) != 0)) {
        error = "cannot write " + name + ": " + SystemError();
        ok = false;
    }
    if (std::fclose(stream) != 0 && ok) {
        error = "cannot write " + name + ": " + SystemError();
        ok = false;
    }
    if (ok && std::rename(name.c_str(), output.c_str()) != 0) {
        error = "cannot rename " + name + " to " + output + ": " + SystemError();
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

// Replaces stub (read from stubPath) by its variant of the level the project needs, and
// refuses a signed stub. False, with the reason in err, when it cannot be packed.
bool ChooseStubVariant(const Manifest& manifest, ExecutionLevel wanted, std::string& stubPath, Bytes& stub,
                       std::ostream& err) {
    if (wanted == ExecutionLevel::kUnknown) {
        for (const ManifestEntry& entry : manifest.entries) {
            if (entry.kind == ValueKind::kNumber && EqualsIgnoringCase(entry.name.c_str(), "ProjectType") &&
                EqualsIgnoringCase(entry.section.c_str(), package_format::kDefaultSection)) {
                wanted = LevelForProjectType(entry.number);
                break;
            }
        }
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
    std::vector<std::string> errors;
    if (!LoadManifest(request.manifestPath, manifest, errors)) {
        for (const std::string& line : errors) err << line << '\n';
        return ExitStatus::kUsage;
    }
    std::string stubPath = request.stubPath.empty() ? manifest.stubPath : request.stubPath;
    if (stubPath.empty()) {
        err << "no stub: give --stub or a [stub] file in " << manifest.path << '\n';
        return ExitStatus::kUsage;
    }

    PackageWriter writer;
    const ExitStatus added = AddEntries(manifest, writer, err);
    if (added != ExitStatus::kOk) return added;

    Bytes stub;
    std::string error;
    if (!ReadFileBytes(stubPath, stub, error)) {
        err << error << '\n';
        return ExitStatus::kFault;
    }
    if (!ChooseStubVariant(manifest, wanted, stubPath, stub, err)) return ExitStatus::kFault;
    if (stub.size() > package_format::kMaxOffset) {
        err << "stub " << stubPath << " is larger than 2^31 - 1 bytes\n";
        return ExitStatus::kFault;
    }
    if (stub.size() >= package_format::kSearchLimit) {
        err << "warning: stub " << stubPath << " is " << stub.size() << " bytes; the program searches only the first "
            << package_format::kSearchLimit << " for its package, so it will find it through the trailer alone\n";
    }
    struct stat stubStat {};
    const mode_t mode = stat(stubPath.c_str(), &stubStat) == 0 ? (stubStat.st_mode & 0777) : 0644;

    if (!WriteAtomically(request.outputPath, stub, mode, writer, error)) {
        err << request.outputPath << ": " << error << '\n';
        return ExitStatus::kFault;
    }
    return ExitStatus::kOk;
}
