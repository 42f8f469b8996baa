// orvan_payload: writes a seeded, reproducible benchmark project (the same seed and sizes give
// the same bytes on every machine) and the orvanpack manifest that packs it to run in place.
//
//   orvan_payload --out DIR --bin WIN32_BIN [--seed N] [--mib 200] [--files 2000]
//                 [--note WINDOWS_PATH] [--hold MS]
//
// DIR/files/   the project files: about 40% incompressible data and 35% text in 1-5 MiB files,
//              the rest small files of 1-50 KiB, over a few nested folders
// DIR/files/ZRXStart.zrx   start file: the viewer stays MS milliseconds (default 0) and writes
//              its report to WINDOWS_PATH when given
// DIR/project.toml   a [project] manifest: type "run", files DIR/files, components WIN32_BIN;
//              orvanpack lists the project files itself, stored as they are
// DIR/files.list     one "SIZE PATH" line per project file (the start file not included)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ChunkSchema.h"
#include "package/PackageSchema.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kKiB = 1u << 10;

// xoshiro256**, seeded through splitmix64: fixed algorithms, so the payload does not depend on
// the standard library's distributions.
class Random {
public:
    explicit Random(uint64_t seed) {
        for (auto& word : state) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }
    uint64_t Next() {
        const uint64_t result = Rotate(state[1] * 5, 7) * 9;
        const uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = Rotate(state[3], 45);
        return result;
    }
    // Uniform in [low, high]; the modulo bias is irrelevant for sizes and choices.
    uint64_t Between(uint64_t low, uint64_t high) { return low + Next() % (high - low + 1); }

private:
    static uint64_t Rotate(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t state[4];
};

enum class Kind { Binary, Text };

struct PlannedFile {
    std::string path;  // relative, '/' separated
    uint64_t size;
    Kind kind;
};

struct Options {
    fs::path out;
    fs::path bin;
    uint64_t seed = 20240601;
    uint64_t mib = 200;
    uint64_t files = 2000;
    std::string note;
    uint32_t holdMs = 0;
};

// Words made of syllables: text that zlib shrinks to roughly a third, like prose does.
std::vector<std::string> MakeVocabulary(Random& random) {
    static const char* const kSyllables[] = {"ka", "lo", "mi", "ren", "tas", "vo", "dur", "el", "fin", "gar",
                                             "hu", "is", "jo", "ker", "lum", "nor", "pa", "qui", "sto", "tre"};
    std::vector<std::string> words;
    for (int i = 0; i < 600; ++i) {
        std::string word;
        const uint64_t count = random.Between(1, 4);
        for (uint64_t s = 0; s < count; ++s) word += kSyllables[random.Between(0, 19)];
        words.push_back(word);
    }
    return words;
}

void FillText(Random& random, const std::vector<std::string>& words, std::vector<char>& out, uint64_t size) {
    out.clear();
    out.reserve(size + 64);
    uint64_t lineWords = 0;
    while (out.size() < size) {
        const std::string& word = words[random.Between(0, words.size() - 1)];
        out.insert(out.end(), word.begin(), word.end());
        if (++lineWords == 12) {
            out.push_back('\r');
            out.push_back('\n');
            lineWords = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
}

void FillBinary(Random& random, std::vector<char>& out, uint64_t size) {
    out.resize(size);
    uint64_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const uint64_t word = random.Next();
        std::memcpy(out.data() + i, &word, 8);
    }
    const uint64_t last = random.Next();
    std::memcpy(out.data() + i, &last, size - i);
}

std::vector<PlannedFile> Plan(Random& random, const Options& options) {
    const uint64_t total = options.mib * kMiB;
    std::vector<PlannedFile> plan;
    static const char* const kMediaFolders[] = {"media/video", "media/audio", "media/packed/a", "media/packed/b"};
    static const char* const kTextFolders[] = {"docs/manual", "docs/manual/chapters", "docs/logs", "scripts/data"};
    auto planLarge = [&](uint64_t budget, Kind kind, const char* const* folders, const char* stem, const char* ext) {
        uint64_t used = 0;
        for (int n = 0; used + kMiB <= budget; ++n) {
            const uint64_t size = std::min(random.Between(kMiB, 5 * kMiB), budget - used);
            char name[64];
            std::snprintf(name, sizeof(name), "%s%03d.%s", stem, n, ext);
            plan.push_back({std::string(folders[random.Between(0, 3)]) + "/" + name, size, kind});
            used += size;
        }
    };
    planLarge(total * 40 / 100, Kind::Binary, kMediaFolders, "clip", "bin");
    planLarge(total * 35 / 100, Kind::Text, kTextFolders, "part", "txt");
    const uint64_t large = plan.size();
    for (uint64_t n = 0; large + n < options.files; ++n) {
        const Kind kind = random.Between(0, 1) == 0 ? Kind::Binary : Kind::Text;
        char path[96];
        std::snprintf(path, sizeof(path), "assets/set%llu/group%llu/item%04llu.%s",
                      static_cast<unsigned long long>(random.Between(0, 7)),
                      static_cast<unsigned long long>(random.Between(0, 3)), static_cast<unsigned long long>(n),
                      kind == Kind::Binary ? "dat" : "cfg");
        plan.push_back({path, random.Between(kKiB, 50 * kKiB), kind});
    }
    return plan;
}

bool WriteBytes(const fs::path& path, const char* data, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(file);
}

void AppendChunk(std::string& out, const char* tag, const void* data, uint32_t size) {
    out.append(tag, 4);
    const unsigned char length[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                     static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
    out.append(reinterpret_cast<const char*>(length), 4);
    out.append(static_cast<const char*>(data), size);
}

std::string StartFile(const Options& options) {
    std::string out;
    const char title[] = "Orvan3D benchmark payload";
    AppendChunk(out, kStartTitleTag, title, sizeof(title) - 1);
    const unsigned char hold[4] = {static_cast<unsigned char>(options.holdMs),
                                   static_cast<unsigned char>(options.holdMs >> 8),
                                   static_cast<unsigned char>(options.holdMs >> 16),
                                   static_cast<unsigned char>(options.holdMs >> 24)};
    AppendChunk(out, kStartHoldTag, hold, 4);
    const unsigned char exitCode[4] = {0, 0, 0, 0};
    AppendChunk(out, kStartExitTag, exitCode, 4);
    if (!options.note.empty()) {
        AppendChunk(out, kStartNoteTag, options.note.data(), static_cast<uint32_t>(options.note.size()));
    }
    return out;
}

// A TOML basic string.
std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The short project form: orvanpack lists the components, the start file and every project file
// itself, sorted by path.
std::string Manifest(const Options& options) {
    return "# Generated by orvan_payload: a benchmark project, run in place.\n"
           "[project]\n"
           "type = \"run\"\n"
           "name = \"Orvan3D Benchmark\"\n"
           "files = " + Quote(fs::absolute(options.out / "files").string()) + "\n"
           "components = " + Quote(fs::absolute(options.bin).string()) + "\n";
}

bool ParseNumber(const char* text, uint64_t& value) {
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        uint64_t number = 0;
        const bool numeric = ParseNumber(value, number);
        if (key == "--out") {
            options.out = value;
        } else if (key == "--bin") {
            options.bin = value;
        } else if (key == "--note") {
            options.note = value;
        } else if (numeric && key == "--seed") {
            options.seed = number;
        } else if (numeric && key == "--mib" && number > 0) {
            options.mib = number;
        } else if (numeric && key == "--files" && number > 0) {
            options.files = number;
        } else if (numeric && key == "--hold" && number <= UINT32_MAX) {
            options.holdMs = static_cast<uint32_t>(number);
        } else {
            return false;
        }
    }
    return !options.out.empty() && !options.bin.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: orvan_payload --out DIR --bin WIN32_BIN [--seed N] [--mib 200] [--files 2000]\n"
                     "                     [--note WINDOWS_PATH] [--hold MS]\n");
        return 2;
    }
    if (!fs::is_regular_file(options.bin / kViewerFile)) {
        std::fprintf(stderr, "orvan_payload: no components in %s\n", options.bin.string().c_str());
        return 1;
    }
    Random random(options.seed);
    const auto vocabulary = MakeVocabulary(random);
    const auto plan = Plan(random, options);

    std::error_code error;
    fs::remove_all(options.out / "files", error);
    std::vector<char> buffer;
    std::string list;
    uint64_t total = 0;
    for (const auto& file : plan) {
        const fs::path path = options.out / "files" / file.path;
        fs::create_directories(path.parent_path());
        if (file.kind == Kind::Text) {
            FillText(random, vocabulary, buffer, file.size);
        } else {
            FillBinary(random, buffer, file.size);
        }
        if (!WriteBytes(path, buffer.data(), buffer.size())) {
            std::fprintf(stderr, "orvan_payload: cannot write %s\n", path.string().c_str());
            return 1;
        }
        list += std::to_string(file.size) + " " + file.path + "\n";
        total += file.size;
    }
    const std::string start = StartFile(options);
    const std::string manifest = Manifest(options);
    if (!WriteBytes(options.out / "files" / kStartFile, start.data(), start.size()) ||
        !WriteBytes(options.out / "project.toml", manifest.data(), manifest.size()) ||
        !WriteBytes(options.out / "files.list", list.data(), list.size())) {
        std::fprintf(stderr, "orvan_payload: cannot write into %s\n", options.out.string().c_str());
        return 1;
    }
    std::printf("%zu files, %llu bytes, seed %llu\n", plan.size(), static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(options.seed));
    return 0;
}
