#include "tools/orvanpack/ProjectManifest.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "package/AsciiText.h"
#include "package/DeploymentValues.h"
#include "package/PackageFormat.h"
#include "package/PackageSchema.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kStubName = "Orvan3DExe.exe";
// The uninstaller of a per-user install: the same program, asking for no elevation.
constexpr const char* kUserUninstaller = "ZRXUnInstUser.exe";
// The program reads text values into 259-byte buffers, their zero byte included.
constexpr size_t kMaxTextBytes = 258;
// The program reads item names with a capacity of 399 bytes, their zero byte included; the
// package's own limit on names is lower still.
constexpr size_t kMaxItemBytes = 398;

struct TypeInfo {
    const char* name;
    ProjectType type;
    // The mode's own components, in the order the long form lists them.
    std::vector<const char*> components;
};

const TypeInfo kTypes[] = {
    {"run", ProjectType::kRun, {kViewerFile}},
    {"install", ProjectType::kInstall, {kUninstallerFile, kViewerFile}},
    {"screensaver", ProjectType::kScreensaver, {kScreensaverFile, kUninstallerFile}},
    {"winamp", ProjectType::kWinamp, {kWinampPluginFile, kUninstallerFile}},
};

// Which types a key applies to; a key given for another type is an error, not ignored.
struct KeyInfo {
    const char* key;
    std::vector<ProjectType> types;  // empty: every type
};

const KeyInfo kKeys[] = {
    {"type", {}},
    {"name", {}},
    {"files", {}},
    {"components", {}},
    {"check-directx", {}},
    {"channels", {}},
    {"channel-libraries", {}},
    {"compression", {}},
    {"install-path", {ProjectType::kInstall, ProjectType::kScreensaver}},
    {"shortcut", {ProjectType::kInstall}},
    {"run-after-install", {ProjectType::kInstall, ProjectType::kScreensaver}},
    {"quit-on-mouse", {ProjectType::kScreensaver}},
    {"small-preview", {ProjectType::kScreensaver}},
    {"startup-directory", {ProjectType::kWinamp}},
    {"winamp-version", {ProjectType::kWinamp}},
    {"version", {}},
    {"publisher", {}},
    {"url", {}},
    {"scope", {}},
};

uint32_t LineOf(const toml::node& node) { return static_cast<uint32_t>(node.source().begin.line); }

std::string ToBackslashes(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// A path as the long form would write it: relative to the manifest's folder, '/'-separated.
std::string Joined(const std::string& folder, const std::string& relative) {
    if (folder.empty() || folder == ".") return relative;
    return folder.back() == '/' || folder.back() == '\\' ? folder + relative : folder + "/" + relative;
}

class Expander {
public:
    Expander(const toml::table& project, uint32_t projectLine, const fs::path& manifestFolder, Manifest& manifest,
             std::vector<ManifestProblem>& problems)
        : project(project), projectLine(projectLine), manifestFolder(manifestFolder), manifest(manifest),
          problems(problems) {}

    void Run() {
        const size_t before = problems.size();
        const TypeInfo* info = ReadType();
        CheckKeys(info);
        std::string name;
        ReadText("name", name, nullptr);
        const bool perUser = ReadScope(info);
        const uint32_t filesLine = ReadFolder("files", filesFolder);
        const uint32_t componentsLine = ReadFolder("components", componentsFolder);
        const Store projectStore = ReadCompression();
        if (info == nullptr || problems.size() != before) return;

        AddNumber(kProjectTypeKey, static_cast<int32_t>(info->type), LineOf("type"));
        AddTypeValues(info->type, name, perUser);
        AddDeploymentValues(perUser);

        // A per-user install carries the uninstaller that never asks for elevation, under
        // the uninstaller's own name.
        for (const char* component : info->components) {
            const bool uninstaller = std::string(component) == kUninstallerFile;
            AddComponent(component, componentsLine, perUser && uninstaller ? kUserUninstaller : nullptr);
        }
        for (const char* engineFile : kEngineFiles) AddComponent(engineFile, componentsLine);
        manifest.stubFile = Joined(componentsFolder, kStubName);
        manifest.stubPath = (manifestFolder / fs::path(manifest.stubFile)).string();
        AddProjectFiles(filesLine, projectStore);
    }

private:
    // The configuration values the type's mode reads, in the order the long form lists them.
    void AddTypeValues(ProjectType type, const std::string& name, bool perUser) {
        AddFlag(kCheckDx8Key, "check-directx", false);
        const std::string defaultFolder = "C:\\Program Files\\" + name;
        switch (type) {
            case ProjectType::kRun: break;
            case ProjectType::kInstall:
                AddFlag(kRunAfterInstallKey, "run-after-install", false);
                // The user's own programs folder, which the program finds when it runs.
                AddText(kInstallPathKey, "install-path",
                        perUser ? std::string(kLocalAppDataPrefix) + "Programs\\" + name : defaultFolder);
                AddText(kShortCutNameKey, "shortcut", "\\" + name + "\\" + name);
                break;
            case ProjectType::kScreensaver:
                AddFlag(kRunAfterInstallKey, "run-after-install", false);
                AddText(kInstallPathKey, "install-path", defaultFolder);
                break;
            case ProjectType::kWinamp: AddText(kStartupDirectoryKey, "startup-directory", defaultFolder); break;
        }
        AddText(kProjectNameKey, "name", name);
        if (type == ProjectType::kScreensaver) {
            AddFlag(kDoQuitCgrKey, "quit-on-mouse", true);
            AddFlag(kDoSmallPreviewKey, "small-preview", true);
        }
        if (type == ProjectType::kWinamp) AddFlag(kWinampVersionKey, "winamp-version", true);
    }

    // scope: "machine" (the default) or "user", which only a project install can be: the
    // screen saver and the plug-in go into folders every user shares. True for "user".
    bool ReadScope(const TypeInfo* info) {
        const toml::node* node = Get("scope");
        if (node == nullptr) return false;
        const std::string scope = node->is_string() ? node->as_string()->get() : "";
        if (scope != "user" && scope != "machine") {
            Report(::LineOf(*node), "scope must be \"machine\" or \"user\"");
            return false;
        }
        if (scope == "user" && info != nullptr && info->type != ProjectType::kInstall) {
            Report(::LineOf(*node), std::string("scope \"user\" needs type \"install\", not \"") + info->name +
                                        "\": it installs into folders every user shares");
        }
        const toml::node* path = Get("install-path");
        if (scope == "machine" && path != nullptr && path->is_string() &&
            path->as_string()->get().rfind("%LOCALAPPDATA%", 0) == 0) {
            Report(::LineOf(*path), "install-path names the installing user's own folder: give scope = \"user\"");
        }
        return scope == "user";
    }

    // version, publisher and url: what the system's list of programs and package managers show.
    // Only those given are stored, so a project without them packs as it did before.
    void AddDeploymentValues(bool perUser) {
        std::string value;
        if (Get("version") != nullptr && ReadText("version", value, nullptr) && CheckVersion(value)) {
            AddTextEntry(package_format::kDefaultSection, kProjectVersionKey, value, LineOf("version"));
        }
        if (Get("publisher") != nullptr && ReadText("publisher", value, nullptr)) {
            AddTextEntry(package_format::kDefaultSection, kProjectPublisherKey, value, LineOf("publisher"));
        }
        if (Get("url") != nullptr && ReadText("url", value, nullptr)) {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
                Report(LineOf("url"), "url must begin with http:// or https://");
            } else if (!IsPrintableAscii(value)) {
                Report(LineOf("url"), "url holds a character outside printable ASCII");
            } else {
                AddTextEntry(package_format::kDefaultSection, kProjectUrlKey, value, LineOf("url"));
            }
        }
        if (perUser) {
            AddEntry(package_format::kDefaultSection, kPerUserInstallKey, ValueKind::kFlag, LineOf("scope")).flag = true;
        }
    }

    static bool IsPrintableAscii(const std::string& text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    }

    bool CheckVersion(const std::string& version) {
        if (!IsPrintableAscii(version) || version.find_first_of("\\/:*?\"<>|") != std::string::npos) {
            Report(LineOf("version"), "version must be printable ASCII without \\ / : * ? \" < > |");
            return false;
        }
        if (version.size() > kMaxVersionLength) {
            Report(LineOf("version"), "version is " + std::to_string(version.size()) + " characters long; at most " +
                                          std::to_string(kMaxVersionLength) + " fit the system's and package managers' fields");
            return false;
        }
        return true;
    }

    // The start file, the channel lists and every other file of the files folder.
    void AddProjectFiles(uint32_t filesLine, Store projectStore) {
        std::vector<std::string> projectFiles;
        ListProjectFiles(filesLine, projectFiles);
        std::set<std::string> channelFiles;
        if (std::find(projectFiles.begin(), projectFiles.end(), kStartFile) == projectFiles.end()) {
            Report(filesLine, "project folder \"" + filesFolder + "\" has no " + kStartFile +
                                  ", the file the viewer starts with");
        } else {
            AddFile(package_format::kDefaultSection, kStartFile, kStartFile, Store::kPlain, filesLine);
            channelFiles.insert(kStartFile);
        }
        AddChannelList("channels", kChannelCountKey, kChannelItemPrefix, projectFiles, channelFiles);
        AddChannelList("channel-libraries", kChannelLibraryCountKey, kChannelLibraryItemPrefix, projectFiles,
                       channelFiles);

        std::vector<std::string> items;
        for (const std::string& file : projectFiles) {
            if (channelFiles.count(file) == 0) items.push_back(file);
        }
        // In solid blocks, files of a kind compress best side by side; the program extracts
        // in FILEINFO's order, so that order is the blocks'.
        if (projectStore == Store::kLzma) {
            std::stable_sort(items.begin(), items.end(),
                             [](const std::string& a, const std::string& b) { return KindOf(a) < KindOf(b); });
        }
        AddNumber(kFileCountKey, static_cast<int32_t>(items.size()), filesLine, kFileSection);
        for (size_t i = 0; i < items.size(); ++i) {
            AddTextEntry(kFileSection, kFileItemPrefix + std::to_string(i), ItemName(items[i]), filesLine);
        }
        for (const std::string& item : items) {
            AddFile(package_format::kDefaultSection, ItemName(item), item, projectStore, filesLine);
        }
        manifest.projectFiles = static_cast<uint32_t>(items.size());
    }

    static std::string ItemName(const std::string& relative) { return "\\" + ToBackslashes(relative); }

    // A file's kind: its name's extension in lower case ("" for none).
    static std::string KindOf(const std::string& relative) {
        const size_t slash = relative.rfind('/');
        const size_t dot = relative.rfind('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
        std::string kind = relative.substr(dot + 1);
        for (char& c : kind) c = LowerAscii(c);
        return kind;
    }

    // How the project files are stored: the override given, else the compression key
    // ("lzma" when there is none).
    Store ReadCompression() {
        const toml::node* node = Get("compression");
        std::string name = manifest.compression;
        if (name.empty() && node != nullptr) {
            if (!node->is_string()) {
                Report(::LineOf(*node), "compression must be \"lzma\", \"zlib\" or \"store\"");
                return Store::kLzma;
            }
            name = node->as_string()->get();
        }
        if (name.empty()) name = "lzma";
        Store store = Store::kLzma;
        if (!ParseCompression(name, store)) {
            Report(node != nullptr ? ::LineOf(*node) : projectLine,
                   "unknown compression \"" + name + "\" (known: lzma, zlib, store)");
        }
        manifest.compression = name;
        return store;
    }

    void Report(uint32_t line, std::string what) { problems.emplace_back(line, std::move(what)); }

    const toml::node* Get(const char* key) const { return project.get(key); }

    uint32_t LineOf(const char* key) const {
        const toml::node* node = Get(key);
        return node != nullptr ? ::LineOf(*node) : projectLine;
    }

    const TypeInfo* ReadType() {
        std::string name;
        if (!ReadText("type", name, nullptr)) return nullptr;
        for (const TypeInfo& info : kTypes) {
            if (name == info.name) return &info;
        }
        Report(LineOf("type"), "unknown type \"" + name + "\" (known: run, install, screensaver, winamp)");
        return nullptr;
    }

    void CheckKeys(const TypeInfo* info) {
        for (auto&& [key, node] : project) {
            const KeyInfo* known = nullptr;
            for (const KeyInfo& candidate : kKeys) {
                if (key.str() == candidate.key) known = &candidate;
            }
            if (known == nullptr) {
                Report(::LineOf(node), "unknown key \"" + std::string(key.str()) +
                                           "\" in [project] (known: type, name, files, components, check-directx, "
                                           "channels, channel-libraries, compression, install-path, shortcut, "
                                           "run-after-install, quit-on-mouse, small-preview, startup-directory, "
                                           "winamp-version, version, publisher, url, scope)");
            } else if (info != nullptr && !known->types.empty() &&
                       std::find(known->types.begin(), known->types.end(), info->type) == known->types.end()) {
                Report(::LineOf(node), "\"" + std::string(key.str()) + "\" does not apply to type \"" + info->name + "\"");
            }
        }
    }

    // A required text when fallback is null; a missing optional one gives fallback.
    bool ReadText(const char* key, std::string& out, const std::string* fallback) {
        const toml::node* node = Get(key);
        if (node == nullptr) {
            if (fallback != nullptr) {
                out = *fallback;
                return CheckText(key, out, projectLine);
            }
            Report(projectLine, std::string("[project] has no ") + key);
            return false;
        }
        if (!node->is_string()) {
            Report(::LineOf(*node), std::string(key) + " must be a string");
            return false;
        }
        out = node->as_string()->get();
        return CheckText(key, out, ::LineOf(*node));
    }

    bool CheckText(const char* key, const std::string& text, uint32_t line) {
        if (text.empty()) {
            Report(line, std::string(key) + " is empty");
            return false;
        }
        if (text.find('\0') != std::string::npos) {
            Report(line, std::string(key) + " holds a zero byte");
            return false;
        }
        if (text.size() > kMaxTextBytes) {
            Report(line, std::string(key) + " is " + std::to_string(text.size()) + " bytes long; the program reads at most " +
                             std::to_string(kMaxTextBytes));
            return false;
        }
        return true;
    }

    uint32_t ReadFolder(const char* key, std::string& out) {
        const toml::node* node = Get(key);
        if (node == nullptr) {
            Report(projectLine, std::string("[project] has no ") + key);
            return projectLine;
        }
        const uint32_t line = ::LineOf(*node);
        if (!node->is_string() || node->as_string()->get().empty()) {
            Report(line, std::string(key) + " must be a folder's path");
            return line;
        }
        out = node->as_string()->get();
        std::error_code ec;
        if (!fs::is_directory(manifestFolder / fs::path(out), ec)) {
            Report(line, std::string(key) + " folder \"" + out + "\" not found (looked for " +
                             (manifestFolder / fs::path(out)).string() + ")");
        }
        return line;
    }

    void Add(ManifestEntry entry) { manifest.entries.push_back(std::move(entry)); }

    void AddNumber(const std::string& name, int32_t value, uint32_t line,
                   const char* section = package_format::kDefaultSection) {
        AddEntry(section, name, ValueKind::kNumber, line).number = value;
    }

    void AddFlag(const char* name, const char* key, bool fallback) {
        const toml::node* node = Get(key);
        bool value = fallback;
        if (node != nullptr) {
            if (!node->is_boolean()) {
                Report(::LineOf(*node), std::string(key) + " must be true or false");
                return;
            }
            value = node->as_boolean()->get();
        }
        AddEntry(package_format::kDefaultSection, name, ValueKind::kFlag, LineOf(key)).flag = value;
    }

    void AddText(const char* name, const char* key, const std::string& fallback) {
        std::string value;
        if (!ReadText(key, value, &fallback)) return;
        AddTextEntry(package_format::kDefaultSection, name, value, LineOf(key));
    }

    void AddTextEntry(const std::string& section, const std::string& name, const std::string& text, uint32_t line) {
        AddEntry(section, name, ValueKind::kText, line).text = text;
    }

    // A new entry at the end with the fields every kind has; the caller sets its value.
    ManifestEntry& AddEntry(const std::string& section, const std::string& name, ValueKind kind, uint32_t line) {
        ManifestEntry entry;
        entry.section = section;
        entry.name = name;
        entry.kind = kind;
        entry.line = line;
        Add(std::move(entry));
        return manifest.entries.back();
    }

    // A file of the files folder (relative, '/'-separated) or of the components folder.
    void AddFile(const std::string& section, const std::string& name, const std::string& relative, Store store,
                 uint32_t line, const std::string* folder = nullptr) {
        ManifestEntry entry;
        entry.section = section;
        entry.name = name;
        entry.kind = ValueKind::kFile;
        entry.file = Joined(folder != nullptr ? *folder : filesFolder, relative);
        entry.filePath = (manifestFolder / fs::path(entry.file)).string();
        entry.store = store;
        entry.line = line;
        Add(std::move(entry));
    }

    // The component file `source` (null: its entry's own name) stored as entry `name`.
    void AddComponent(const char* name, uint32_t line, const char* source = nullptr) {
        const std::string relative = std::string(name);
        std::string path = source != nullptr ? source : relative;
        std::replace(path.begin(), path.end(), '\\', '/');
        std::error_code ec;
        if (!fs::is_regular_file(manifestFolder / fs::path(Joined(componentsFolder, path)), ec)) {
            Report(line, "components folder \"" + componentsFolder + "\" has no " + path);
            return;
        }
        AddFile(package_format::kDefaultSection, relative, path, Store::kZlib, line, &componentsFolder);
    }

    // Every file below the files folder, '/'-separated relative paths sorted byte by byte, so
    // the package does not depend on the order the file system lists them in.
    void ListProjectFiles(uint32_t line, std::vector<std::string>& out) {
        const fs::path root = manifestFolder / fs::path(filesFolder);
        std::error_code ec;
        fs::recursive_directory_iterator it(root, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::directory_entry& item = *it;
            const std::string relative = item.path().lexically_relative(root).generic_u8string();
            std::error_code statusError;
            if (item.is_symlink(statusError) && item.is_directory(statusError)) {
                Report(line, "\"" + relative + "\" is a link to a folder; link the files, or copy the folder");
                continue;
            }
            // A contributed project must not publish what lies beside it: a link to a file is
            // followed only when the file is the project's own.
            if (item.is_symlink(statusError) && !LeadsInside(item.path(), root)) {
                Report(line, "\"" + relative + "\" is a link that leads outside \"" + filesFolder + "\"");
                continue;
            }
            if (item.is_directory(statusError)) continue;
            if (!item.is_regular_file(statusError)) {
                Report(line, "\"" + relative + "\" is not a regular file");
                continue;
            }
            std::string reason;
            if (!CheckProjectPath(relative, reason)) {
                Report(line, "project file \"" + relative + "\" " + reason);
                continue;
            }
            const uintmax_t size = item.file_size(statusError);
            if (statusError || size > package_format::kMaxOffset) {
                Report(line, "project file \"" + relative + "\" is " + std::to_string(size) +
                                 " bytes; a package holds at most 2 GiB");
                continue;
            }
            out.push_back(relative);
        }
        if (ec) Report(line, "cannot list " + root.string() + ": " + ec.message());
        std::sort(out.begin(), out.end());
    }

    void AddChannelList(const char* key, const char* countName, const char* itemPrefix,
                        const std::vector<std::string>& projectFiles, std::set<std::string>& taken) {
        const toml::node* node = Get(key);
        std::vector<std::pair<std::string, uint32_t>> listed;
        if (node != nullptr) {
            const toml::array* array = node->as_array();
            if (array == nullptr) {
                Report(::LineOf(*node), std::string(key) + " must be an array of paths below the files folder");
                return;
            }
            for (const toml::node& item : *array) {
                if (!item.is_string()) {
                    Report(::LineOf(item), std::string(key) + " must hold paths (strings)");
                    continue;
                }
                std::string relative = item.as_string()->get();
                std::replace(relative.begin(), relative.end(), '\\', '/');
                std::string reason;
                if (!CheckProjectPath(relative, reason)) {
                    Report(::LineOf(item), std::string(key) + " item \"" + relative + "\" " + reason);
                } else if (!std::binary_search(projectFiles.begin(), projectFiles.end(), relative)) {
                    Report(::LineOf(item), std::string(key) + " item \"" + relative + "\" is not a file below \"" +
                                               filesFolder + "\"");
                } else if (!taken.insert(relative).second) {
                    Report(::LineOf(item), std::string(key) + " item \"" + relative + "\" is listed twice");
                } else {
                    listed.emplace_back(relative, ::LineOf(item));
                }
            }
        }
        const uint32_t line = LineOf(key);
        AddNumber(countName, static_cast<int32_t>(listed.size()), line, kChannelSection);
        for (size_t i = 0; i < listed.size(); ++i) {
            AddTextEntry(kChannelSection, itemPrefix + std::to_string(i), ItemName(listed[i].first), listed[i].second);
        }
        for (const auto& [relative, itemLine] : listed) {
            AddFile(package_format::kDefaultSection, ItemName(relative), relative, Store::kVbrf, itemLine);
        }
    }

    const toml::table& project;
    uint32_t projectLine;
    fs::path manifestFolder;
    Manifest& manifest;
    std::vector<ManifestProblem>& problems;
    std::string filesFolder;
    std::string componentsFolder;
};

}  // namespace

bool LeadsInside(const fs::path& link, const fs::path& folder) {
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    if (ec) return false;
    const fs::path inside = fs::canonical(folder, ec);
    if (ec) return false;
    const fs::path relative = target.lexically_relative(inside);
    return !relative.empty() && *relative.begin() != "..";
}

bool IsDeviceName(const std::string& part) {
    // Windows opens these as devices in every folder, whatever follows a dot and blanks before it.
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = LowerAscii(c);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

bool CheckProjectPath(const std::string& relative, std::string& reason) {
    if (relative.empty()) {
        reason = "is empty";
        return false;
    }
    for (const char c : relative) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            // Names travel through the system's code page: anything but ASCII could come out
            // under another name.
            reason = "holds a character outside printable ASCII";
            return false;
        }
        if (std::string("\\:*?\"<>|").find(c) != std::string::npos) {
            reason = std::string("holds '") + c + "', which Windows does not allow in a file name";
            return false;
        }
    }
    size_t start = 0;
    while (start <= relative.size()) {
        const size_t end = relative.find('/', start);
        const std::string part = relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") {
            reason = "has an empty, \".\" or \"..\" part";
            return false;
        }
        if (part.back() == '.' || part.back() == ' ') {
            // Windows drops trailing dots and blanks: the file would land under another name.
            reason = "has a part ending in '.' or ' '";
            return false;
        }
        if (IsDeviceName(part)) {
            reason = "has the part \"" + part + "\", which Windows takes for a device";
            return false;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const size_t itemBytes = relative.size() + 1;  // with its leading backslash
    if (itemBytes > kMaxItemBytes || itemBytes + 1 > package_format::kMaxNameBytes) {
        reason = "is too long: its item name would be " + std::to_string(itemBytes) + " bytes, at most " +
                 std::to_string(package_format::kMaxNameBytes - 1) + " fit a package name";
        return false;
    }
    return true;
}

void ExpandProject(const toml::table& project, uint32_t projectLine, const fs::path& manifestFolder,
                   Manifest& manifest, std::vector<ManifestProblem>& problems) {
    Expander(project, projectLine, manifestFolder, manifest, problems).Run();
}
