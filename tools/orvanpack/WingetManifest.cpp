#include "tools/orvanpack/WingetManifest.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <nettle/sha2.h>
#endif

#include "package/DeploymentValues.h"
#include "package/LittleEndian.h"
#include "package/PackageReader.h"
#include "tools/orvanpack/ConsoleHost.h"
#include "tools/orvanpack/Manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr char kManifestVersion[] = "1.10.0";
constexpr char kLocale[] = "en-US";

// What the package tells about the project.
struct ProjectValues {
    int32_t type = 0;
    std::string name, version, publisher, url;
    bool perUser = false;
};

std::string Text(PackageReader& reader, const char* key) {
    char value[260] = {};
    return reader.ReadEntry(key, value, 259, package_format::kDefaultSection) ? std::string(value) : std::string();
}

bool ReadValues(const std::string& path, ProjectValues& values, std::ostream& err) {
    ConsoleHost host(path, err);
    PackageReader reader(host);
    unsigned char raw[4] = {};
    if (reader.ReadEntry(kProjectTypeKey, raw, 4, package_format::kDefaultSection)) {
        values.type = static_cast<int32_t>(LoadU32(raw));
    }
    values.name = Text(reader, kProjectNameKey);
    values.version = Text(reader, kProjectVersionKey);
    values.publisher = Text(reader, kProjectPublisherKey);
    values.url = Text(reader, kProjectUrlKey);
    unsigned char flag = 0;
    values.perUser = reader.ReadEntry(kPerUserInstallKey, &flag, 1, package_format::kDefaultSection) && flag != 0;
    return host.Faults() == 0;
}

// A part of an identifier: letters, digits, '-' and '_' of text, at most 32 of them.
std::string IdentifierPart(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (plain && out.size() < 32) out.push_back(c);
    }
    return out;
}

// Two to eight dot-separated parts of 1 to 32 characters, none a blank, a dot or a sign
// that file names refuse: what package managers accept as an identifier.
bool IsIdentifier(const std::string& id) {
    size_t parts = 0;
    size_t length = 0;
    for (size_t i = 0; i <= id.size(); ++i) {
        if (i == id.size() || id[i] == '.') {
            if (length == 0 || length > 32) return false;
            ++parts;
            length = 0;
            continue;
        }
        const auto c = static_cast<unsigned char>(id[i]);
        if (c <= 0x20 || std::string("\\/:*?\"<>|").find(id[i]) != std::string::npos) return false;
        ++length;
    }
    return parts >= 2 && parts <= 8;
}

// A value of at least `least` and at most `most` characters, else the reason.
bool Fits(const std::string& value, size_t least, size_t most, const std::string& what, std::ostream& err) {
    if (value.size() >= least && value.size() <= most) return true;
    err << what << " must be " << least << " to " << most << " characters long for the manifest, not " << value.size()
        << "\n";
    return false;
}

std::string Quoted(const std::string& text) { return QuotedString(text, false); }

std::string VersionManifest(const std::string& id, const ProjectValues& values) {
    std::ostringstream out;
    out << "PackageIdentifier: " << Quoted(id) << "\nPackageVersion: " << Quoted(values.version)
        << "\nDefaultLocale: " << kLocale << "\nManifestType: version\nManifestVersion: " << kManifestVersion << "\n";
    return out.str();
}

std::string InstallerManifest(const std::string& id, const ProjectValues& values, const WingetRequest& request,
                              const std::string& sha256) {
    const std::string key = std::string(kUninstallKeyBase).substr(std::string(kUninstallKeyBase).rfind('\\') + 1);
    std::ostringstream out;
    out << "PackageIdentifier: " << Quoted(id) << "\nPackageVersion: " << Quoted(values.version)
        << "\nInstallerType: exe\nScope: " << (values.perUser ? "user" : "machine")
        << "\nInstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
           "InstallerSwitches:\n  Silent: /S\n  SilentWithProgress: /S\n  InstallLocation: /D=<INSTALLPATH>\n"
           "  Log: /LOG=<LOGPATH>\nExpectedReturnCodes:\n";
    for (const SetupExitInfo& exit : kSetupExits) {
        out << "- InstallerReturnCode: " << static_cast<int>(exit.code) << "\n  ReturnResponse: " << exit.wingetResponse
            << "\n";
    }
    out << "ProductCode: " << Quoted(key + values.name) << "\nAppsAndFeaturesEntries:\n- DisplayName: "
        << Quoted(values.name) << "\n  Publisher: " << Quoted(values.publisher) << "\n  DisplayVersion: "
        << Quoted(values.version) << "\n  ProductCode: " << Quoted(key + values.name)
        << "\nInstallers:\n- Architecture: x86\n  InstallerUrl: " << Quoted(request.installerUrl)
        << "\n  InstallerSha256: " << Quoted(sha256) << "\nManifestType: installer\nManifestVersion: "
        << kManifestVersion << "\n";
    return out.str();
}

std::string LocaleManifest(const std::string& id, const ProjectValues& values, const WingetRequest& request,
                           const std::string& description) {
    std::ostringstream out;
    out << "PackageIdentifier: " << Quoted(id) << "\nPackageVersion: " << Quoted(values.version)
        << "\nPackageLocale: " << kLocale << "\nPublisher: " << Quoted(values.publisher);
    if (!values.url.empty()) out << "\nPackageUrl: " << Quoted(values.url);
    out << "\nPackageName: " << Quoted(values.name) << "\nLicense: " << Quoted(request.license)
        << "\nShortDescription: " << Quoted(description) << "\nManifestType: defaultLocale\nManifestVersion: "
        << kManifestVersion << "\n";
    return out.str();
}

// The text under a temporary name in the folder, then renamed to name.
bool WriteWhole(const fs::path& folder, const std::string& name, const std::string& text, std::ostream& err) {
    const fs::path target = folder / name;
    const fs::path temporary = folder / ("." + name + ".tmp");
    {
        std::ofstream file(temporary, std::ios::binary);
        file << text;
        if (!file.flush()) {
            err << "cannot write " << temporary.string() << "\n";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (!ec) return true;
    fs::remove(temporary, ec);
    err << "cannot write " << target.string() << "\n";
    return false;
}

// The package's values are what a manifest needs, and the request's fit its fields.
ExitStatus CheckValues(const ProjectValues& values, const WingetRequest& request, std::string& id,
                       std::string& description, std::ostream& err) {
    if (values.type != 2) {
        err << request.packedPath << ": only a project install (type \"install\") is installed by a package manager\n";
        return ExitStatus::kUsage;
    }
    if (values.version.empty() || values.publisher.empty()) {
        err << request.packedPath << ": the project has no " << (values.version.empty() ? "version" : "publisher")
            << ": give it one in its manifest and pack it again\n";
        return ExitStatus::kUsage;
    }
    id = request.identifier.empty() ? IdentifierPart(values.publisher) + "." + IdentifierPart(values.name)
                                    : request.identifier;
    if (!IsIdentifier(id)) {
        err << "identifier \"" << id << "\" is not two to eight dot-separated parts of 1 to 32 characters without"
            << " blanks or \\ / : * ? \" < > |: give --identifier\n";
        return ExitStatus::kUsage;
    }
    description = request.description.empty() ? values.name + " " + values.version : request.description;
    if (request.installerUrl.rfind("https://", 0) != 0 && request.installerUrl.rfind("http://", 0) != 0) {
        err << "--installer-url must begin with https:// or http://\n";
        return ExitStatus::kUsage;
    }
    const bool fit = Fits(values.publisher, 2, 256, "publisher", err) && Fits(values.name, 2, 256, "name", err) &&
                     Fits(request.license, 3, 512, "--license", err) &&
                     Fits(description, 3, 256, "--description", err) &&
                     Fits(request.installerUrl, 8, 2048, "--installer-url", err);
    return fit ? ExitStatus::kOk : ExitStatus::kUsage;
}

}  // namespace

bool FileSha256(const std::string& path, std::string& hex) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::vector<char> block(1 << 20);
    unsigned char digest[32] = {};
#ifdef _WIN32
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
              BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    while (ok && file) {
        file.read(block.data(), static_cast<std::streamsize>(block.size()));
        ok = BCryptHashData(hash, reinterpret_cast<PUCHAR>(block.data()), static_cast<ULONG>(file.gcount()), 0) == 0;
    }
    ok = ok && file.eof() && BCryptFinishHash(hash, digest, sizeof(digest), 0) == 0;
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return false;
#else
    sha256_ctx context;
    sha256_init(&context);
    while (file) {
        file.read(block.data(), static_cast<std::streamsize>(block.size()));
        sha256_update(&context, static_cast<size_t>(file.gcount()), reinterpret_cast<const uint8_t*>(block.data()));
    }
    if (!file.eof()) return false;
    sha256_digest(&context, sizeof(digest), digest);
#endif
    hex.clear();
    for (const unsigned char byte : digest) {
        char two[3];
        std::snprintf(two, sizeof(two), "%02X", byte);
        hex += two;
    }
    return true;
}

ExitStatus WriteWingetManifest(const WingetRequest& request, std::ostream& out, std::ostream& err) {
    ProjectValues values;
    if (!ReadValues(request.packedPath, values, err)) return ExitStatus::kFault;
    std::string id, description;
    const ExitStatus checked = CheckValues(values, request, id, description, err);
    if (checked != ExitStatus::kOk) return checked;
    std::string sha256;
    if (!FileSha256(request.packedPath, sha256)) {
        err << "cannot read " << request.packedPath << "\n";
        return ExitStatus::kFault;
    }
    const fs::path folder(request.folder);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!WriteWhole(folder, id + ".yaml", VersionManifest(id, values), err) ||
        !WriteWhole(folder, id + ".installer.yaml", InstallerManifest(id, values, request, sha256), err) ||
        !WriteWhole(folder, id + ".locale." + kLocale + ".yaml", LocaleManifest(id, values, request, description), err)) {
        return ExitStatus::kFault;
    }
    out << (folder / (id + ".yaml")).string() << "\n" << (folder / (id + ".installer.yaml")).string() << "\n"
        << (folder / (id + ".locale." + kLocale + ".yaml")).string() << "\n";
    return ExitStatus::kOk;
}
