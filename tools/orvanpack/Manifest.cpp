#include "tools/orvanpack/Manifest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "package/PackageFormat.h"
#include "package/PackageReader.h"

#include "tools/orvanpack/ProjectManifest.h"
#include "tools/orvanpack/Toml.h"

namespace fs = std::filesystem;

namespace {

struct StoreName {
    const char* name;
    Store store;
};
constexpr StoreName kStores[] = {{"plain", Store::kPlain}, {"zlib", Store::kZlib}, {"vbrf", Store::kVbrf},
                               {"auto", Store::kAuto},   {"lzma", Store::kLzma}};

struct KindKey {
    const char* key;
    ValueKind kind;
};
constexpr KindKey kKindKeys[] = {
    {"number", ValueKind::kNumber}, {"flag", ValueKind::kFlag}, {"text", ValueKind::kText}, {"file", ValueKind::kFile}};

const char* TypeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::table: return "a table";
        case toml::node_type::array: return "an array";
        case toml::node_type::string: return "a string";
        case toml::node_type::integer: return "an integer";
        case toml::node_type::floating_point: return "a floating-point number";
        case toml::node_type::boolean: return "a boolean";
        case toml::node_type::date: return "a date";
        case toml::node_type::time: return "a time";
        case toml::node_type::date_time: return "a date-time";
        default: return "nothing";
    }
}

uint32_t LineOf(const toml::source_region& region) { return static_cast<uint32_t>(region.begin.line); }

// Problems in file order; the TOML library hands keys over sorted by name.
class Problems {
public:
    void Add(uint32_t line, std::string what) { items.emplace_back(line, std::move(what)); }
    bool Empty() const { return items.empty(); }
    void Flush(const std::string& path, std::vector<std::string>& errors) {
        std::stable_sort(items.begin(), items.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, what] : items) errors.push_back(ManifestMessage(path, line, what));
    }

private:
    std::vector<std::pair<uint32_t, std::string>> items;
};

class EntryParser {
public:
    EntryParser(const fs::path& folder, Problems& problems) : folder(folder), problems(problems) {}

    // Fills entry from one [[entry]] table; false when anything in it is wrong.
    bool Parse(const toml::table& table, ManifestEntry& entry) {
        entry.line = LineOf(table.source());
        entry.section = package_format::kDefaultSection;
        const size_t before = problemCount;
        const toml::node* kindNode = nullptr;
        const char* kindKey = nullptr;
        const toml::node* storeNode = nullptr;
        bool haveName = false;

        for (auto&& [key, node] : table) {
            const std::string_view name = key.str();
            const uint32_t line = LineOf(key.source());
            if (name == "section") {
                if (ReadString(node, "section", entry.section)) CheckSection(line, entry.section);
            } else if (name == "name") {
                haveName = true;
                ReadString(node, "name", entry.name);
            } else if (name == "store") {
                storeNode = &node;
            } else if (const KindKey* kind = FindKind(name)) {
                if (kindNode != nullptr) {
                    const uint32_t laterLine = std::max(line, LineOf(kindNode->source()));
                    Report(laterLine, std::string("entry has both ") + kindKey + " and " + kind->key +
                                          "; give exactly one of number, flag, text, file");
                    continue;
                }
                kindNode = &node;
                kindKey = kind->key;
                entry.kind = kind->kind;
            } else {
                Report(line, "unknown key \"" + std::string(name) +
                                 "\" in entry (known: section, name, number, flag, text, file, store)");
            }
        }
        if (!haveName) Report(entry.line, "entry has no name");
        if (kindNode == nullptr) {
            Report(entry.line, "entry has no value; give one of number, flag, text, file");
        } else {
            ReadValue(*kindNode, entry);
        }
        if (storeNode != nullptr) ReadStore(*storeNode, entry);
        return problemCount == before;
    }

private:
    static const KindKey* FindKind(std::string_view key) {
        for (const KindKey& kind : kKindKeys) {
            if (key == kind.key) return &kind;
        }
        return nullptr;
    }

    // The blocks and their item records are the packer's own: one written by hand would name
    // offsets in blocks that the packer lays out afresh.
    void CheckSection(uint32_t line, const std::string& section) {
        for (const char* own : {package_format::kBlockSection, package_format::kBlockItemSection}) {
            if (EqualsIgnoringCase(section.c_str(), own)) {
                Report(line, "section \"" + section + "\" is written by the packer; use store = \"lzma\"");
            }
        }
    }

    void Report(uint32_t line, std::string what) {
        ++problemCount;
        problems.Add(line, std::move(what));
    }

    bool ReadString(const toml::node& node, const char* key, std::string& out) {
        if (const auto* text = node.as_string()) {
            out = text->get();
            return true;
        }
        Report(LineOf(node.source()), std::string(key) + " must be a string, not " + TypeName(node));
        return false;
    }

    void ReadValue(const toml::node& node, ManifestEntry& entry) {
        const uint32_t line = LineOf(node.source());
        switch (entry.kind) {
            case ValueKind::kNumber: {
                const auto* integer = node.as_integer();
                if (integer == nullptr) {
                    Report(line, std::string("number must be an integer, not ") + TypeName(node));
                    return;
                }
                const int64_t value = integer->get();
                if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
                    Report(line, "number " + std::to_string(value) +
                                     " does not fit 32 bits (-2147483648 .. 2147483647)");
                    return;
                }
                entry.number = static_cast<int32_t>(value);
                return;
            }
            case ValueKind::kFlag: {
                const auto* boolean = node.as_boolean();
                if (boolean == nullptr) {
                    Report(line, std::string("flag must be true or false, not ") + TypeName(node));
                    return;
                }
                entry.flag = boolean->get();
                return;
            }
            case ValueKind::kText:
                if (!ReadString(node, "text", entry.text)) return;
                // The program reads texts up to their first zero byte: the rest would be lost.
                if (entry.text.find('\0') != std::string::npos) Report(line, "text holds a zero byte");
                return;
            case ValueKind::kFile:
                if (!ReadString(node, "file", entry.file)) return;
                ResolveFile(line, entry);
                return;
        }
    }

    void ResolveFile(uint32_t line, ManifestEntry& entry) {
        if (entry.file.empty()) {
            Report(line, "file is empty");
            return;
        }
        const fs::path path = folder / fs::path(entry.file);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (!fs::exists(status)) {
            Report(line, "file \"" + entry.file + "\" not found (looked for " + path.string() + ")");
            return;
        }
        if (!fs::is_regular_file(status)) {
            Report(line, "file \"" + entry.file + "\" is not a regular file");
            return;
        }
        entry.filePath = path.string();
    }

    void ReadStore(const toml::node& node, ManifestEntry& entry) {
        const uint32_t line = LineOf(node.source());
        std::string name;
        if (!ReadString(node, "store", name)) return;
        if (entry.kind != ValueKind::kFile) {
            Report(line, "store applies to file entries only");
            return;
        }
        for (const StoreName& known : kStores) {
            if (name != known.name) continue;
            // The program looks for a compressed item's marker or record under its APPDATA name only.
            if ((known.store == Store::kAuto || known.store == Store::kLzma) &&
                !EqualsIgnoringCase(entry.section.c_str(), package_format::kDefaultSection)) {
                Report(line, "store \"" + name + "\" applies to APPDATA entries only");
                return;
            }
            entry.store = known.store;
            return;
        }
        Report(line, "unknown store \"" + name + "\" (known: plain, zlib, vbrf, auto, lzma)");
    }

    fs::path folder;
    Problems& problems;
    size_t problemCount = 0;
};

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read manifest: " + (errno != 0 ? std::strerror(errno) : "unknown error");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot read manifest";
        return false;
    }
    out = text.str();
    return true;
}

void ReadEntryArray(const toml::node& node, uint32_t line, EntryParser& parser, Manifest& manifest,
                    Problems& problems) {
    const toml::array* array = node.as_array();
    if (array == nullptr || !array->is_array_of_tables()) {
        problems.Add(line, "entry must be an array of tables: write each one under [[entry]]");
        return;
    }
    for (const toml::node& item : *array) {
        ManifestEntry entry;
        if (parser.Parse(*item.as_table(), entry)) manifest.entries.push_back(std::move(entry));
    }
}

void ReadStubTable(const toml::node& node, uint32_t line, const fs::path& folder, Manifest& manifest,
                   Problems& problems) {
    const toml::table* stub = node.as_table();
    const toml::node* file = stub != nullptr ? stub->get("file") : nullptr;
    if (stub == nullptr || file == nullptr || stub->size() != 1) {
        problems.Add(line, "stub must be a table holding only file = \"PATH\"");
    } else if (!file->is_string()) {
        problems.Add(LineOf(file->source()), std::string("stub file must be a string, not ") + TypeName(*file));
    } else if (file->as_string()->get().empty()) {
        problems.Add(LineOf(file->source()), "stub file is empty");
    } else {
        manifest.stubFile = file->as_string()->get();
        manifest.stubPath = (folder / fs::path(manifest.stubFile)).string();
    }
}

}  // namespace

std::string ManifestMessage(const std::string& path, uint32_t line, const std::string& what) {
    return path + ":" + std::to_string(line) + ": " + what;
}

bool ParseCompression(const std::string& name, Store& store) {
    const StoreName kCompressions[] = {{"lzma", Store::kLzma}, {"zlib", Store::kAuto}, {"store", Store::kPlain}};
    for (const StoreName& known : kCompressions) {
        if (name != known.name) continue;
        store = known.store;
        return true;
    }
    return false;
}

bool LoadManifest(const std::string& path, Manifest& manifest, std::vector<std::string>& errors,
                  const std::string& compression) {
    manifest = Manifest{};
    manifest.path = path;
    manifest.compression = compression;
    std::string document;
    std::string error;
    if (!ReadWholeFile(path, document, error)) {
        errors.push_back(error);
        return false;
    }
    toml::parse_result parsed = toml::parse(document, std::string_view(path));
    if (!parsed) {
        const toml::parse_error& failure = parsed.error();
        errors.push_back(ManifestMessage(path, LineOf(failure.source()), std::string(failure.description())));
        return false;
    }

    const fs::path folder = fs::path(path).parent_path();
    Problems problems;
    EntryParser parser(folder, problems);
    const toml::node* project = parsed.table().get("project");
    const toml::node* entries = parsed.table().get("entry");
    if (project != nullptr && entries != nullptr) {
        problems.Add(LineOf(entries->source()), "give either [project] or [[entry]] tables, not both "
                                                "(orvanpack build --print-entries shows a project's entries)");
    }
    for (auto&& [key, node] : parsed.table()) {
        const std::string_view name = key.str();
        const uint32_t line = LineOf(key.source());
        if (name == "project") {
            const toml::table* table = node.as_table();
            if (table == nullptr) {
                problems.Add(line, "project must be a table: write its keys under [project]");
                continue;
            }
            // Keys come sorted by name: a [stub] table is read later and outranks the components' stub.
            std::vector<ManifestProblem> found;
            ExpandProject(*table, LineOf(table->source()), folder, manifest, found);
            for (auto& [at, what] : found) problems.Add(at, std::move(what));
        } else if (name == "entry") {
            ReadEntryArray(node, line, parser, manifest, problems);
        } else if (name == "stub") {
            ReadStubTable(node, line, folder, manifest, problems);
        } else {
            problems.Add(line, "unknown key \"" + std::string(name) + "\" (known: project, entry, stub)");
        }
    }
    Store projectStore = Store::kLzma;
    if (!compression.empty() && ParseCompression(compression, projectStore) && project == nullptr) {
        for (ManifestEntry& entry : manifest.entries) {
            if (entry.store == Store::kAuto || entry.store == Store::kLzma) entry.store = projectStore;
        }
    }
    if (problems.Empty()) return true;
    problems.Flush(path, errors);
    return false;
}

std::string QuotedString(const std::string& text, bool escapeNonAscii) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F || (escapeNonAscii && byte > 0x7F)) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string TomlString(const std::string& text) { return QuotedString(text, false); }

namespace {

const char* StoreKeyword(Store store) {
    for (const StoreName& known : kStores) {
        if (known.store == store) return known.name;
    }
    return "plain";
}

}  // namespace

void WriteLongForm(const Manifest& manifest, std::ostream& out) {
    if (!manifest.stubFile.empty()) out << "[stub]\nfile = " << TomlString(manifest.stubFile) << "\n";
    for (const ManifestEntry& entry : manifest.entries) {
        out << "\n[[entry]]\n";
        if (entry.section != package_format::kDefaultSection) out << "section = " << TomlString(entry.section) << '\n';
        out << "name = " << TomlString(entry.name) << '\n';
        switch (entry.kind) {
            case ValueKind::kNumber: out << "number = " << entry.number << '\n'; break;
            case ValueKind::kFlag: out << "flag = " << (entry.flag ? "true" : "false") << '\n'; break;
            case ValueKind::kText: out << "text = " << TomlString(entry.text) << '\n'; break;
            case ValueKind::kFile:
                out << "file = " << TomlString(entry.file) << '\n';
                if (entry.store != Store::kPlain) out << "store = " << TomlString(StoreKeyword(entry.store)) << '\n';
                break;
        }
    }
}
