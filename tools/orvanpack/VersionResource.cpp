#include "tools/orvanpack/VersionResource.h"

#include <algorithm>
#include <cstdint>

#include "package/DeploymentValues.h"
#include "package/LittleEndian.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kResourceDirectory = 2;
constexpr size_t kBaseRelocations = 5;
constexpr size_t kDebugDirectory = 6;

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// UTF-8 as UTF-16; a byte that starts no sound sequence stands for itself (Latin-1).
std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        uint32_t code = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool sound = length != 0 && i + length <= text.size();
        for (size_t k = 1; sound && k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            sound = (c >> 6) == 2;
            code = code << 6 | (c & 0x3F);
        }
        if (!sound) code = b;
        if (code >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += sound ? length : 1;
    }
    return out;
}

// One block of a version resource: length, value length, type, key, value, children, each
// part starting on a 32-bit boundary of the resource.
class VersionBlock {
public:
    VersionBlock(Bytes& out, const char* key, uint16_t valueLength, uint16_t type) : out(out), start(out.size()) {
        Pad();
        start = out.size();
        out.resize(out.size() + 6);
        StoreU16(&out[start + 2], valueLength);
        StoreU16(&out[start + 4], type);
        AppendText(Utf16(key));
        Pad();
    }
    ~VersionBlock() { StoreU16(&out[start], static_cast<uint16_t>(out.size() - start)); }
    void AppendText(const std::u16string& text) {
        for (char16_t c : text) {
            out.push_back(static_cast<unsigned char>(c));
            out.push_back(static_cast<unsigned char>(c >> 8));
        }
        out.push_back(0);
        out.push_back(0);
    }
    void Pad() {
        while (out.size() % 4 != 0) out.push_back(0);
    }

private:
    Bytes& out;
    size_t start;
};

void AddString(Bytes& out, const char* key, const std::string& value) {
    if (value.empty()) return;
    const std::u16string text = Utf16(value);
    VersionBlock block(out, key, static_cast<uint16_t>(text.size() + 1), 1);
    block.AppendText(text);
}

std::string VersionText(uint32_t high, uint32_t low) {
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) + "." +
           std::to_string(low & 0xFFFF);
}

// The new resource: the stub's fixed part with the product's version numbers, the strings,
// the US English / Unicode translation.
Bytes BuildVersionInfo(const unsigned char* fixed, const ProductInfo& product) {
    Bytes out;
    {
        VersionBlock root(out, "VS_VERSION_INFO", kFixedInfoSize, 0);
        const size_t at = out.size();
        AppendBytes(out, fixed, kFixedInfoSize);
        unsigned numbers[4] = {};
        DottedVersion(product.version.c_str(), numbers);
        StoreU32(&out[at + 16], numbers[0] << 16 | numbers[1]);
        StoreU32(&out[at + 20], numbers[2] << 16 | numbers[3]);
        const std::string fileVersion = VersionText(LoadU32(fixed + 8), LoadU32(fixed + 12));
        {
            VersionBlock strings(out, "StringFileInfo", 0, 1);
            VersionBlock table(out, "040904B0", 0, 1);
            AddString(out, "CompanyName", product.publisher);
            AddString(out, "FileDescription", product.name);
            AddString(out, "FileVersion", fileVersion);
            AddString(out, "ProductName", product.name);
            AddString(out, "ProductVersion", product.version);
        }
        VersionBlock variables(out, "VarFileInfo", 0, 1);
        VersionBlock translation(out, "Translation", 4, 0);
        AppendU32(out, 0x04B00409);
    }
    return out;
}

struct Section {
    size_t header;  // file offset of its header
    uint32_t virtualSize, address, rawSize, rawOffset;
};

// The headers the rewrite reads and changes.
struct PeLayout {
    size_t optional = 0;
    uint32_t sectionAlignment = 0, fileAlignment = 0;
    uint32_t directoryCount = 0;
    std::vector<Section> sections;

    size_t Directory(size_t index) const { return optional + 96 + index * 8; }
};

bool ReadLayout(const Bytes& image, PeLayout& pe) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
    const size_t header = LoadU32(&image[0x3C]);
    if (header + 24 > image.size() || LoadU32(&image[header]) != 0x00004550) return false;
    const uint16_t count = LoadU16(&image[header + 6]);
    pe.optional = header + 24;
    const size_t table = pe.optional + LoadU16(&image[header + 20]);
    if (pe.optional + 96 > image.size() || LoadU16(&image[pe.optional]) != 0x10B) return false;
    pe.sectionAlignment = LoadU32(&image[pe.optional + 32]);
    pe.fileAlignment = LoadU32(&image[pe.optional + 36]);
    pe.directoryCount = LoadU32(&image[pe.optional + 92]);
    if (pe.sectionAlignment == 0 || pe.fileAlignment == 0 || pe.directoryCount <= kDebugDirectory ||
        pe.Directory(pe.directoryCount) > table || table + count * 40u > image.size()) {
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = table + i * 40u;
        pe.sections.push_back({at, LoadU32(&image[at + 8]), LoadU32(&image[at + 12]), LoadU32(&image[at + 16]),
                               LoadU32(&image[at + 20])});
        if (uint64_t{pe.sections.back().rawOffset} + pe.sections.back().rawSize > image.size()) return false;
    }
    return true;
}

// The file offset of the version resource's data entry in the tree at `tree` (size bytes,
// addresses relative to its section); 0 when there is none, or the tree is unsound.
size_t FindVersionEntry(const Bytes& image, size_t tree, uint32_t size) {
    // The type level by id, then the first name and the first language.
    size_t directory = 0;
    for (int level = 0; level < 3; ++level) {
        if (directory + 16 > size) return 0;
        const size_t at = tree + directory;
        const uint32_t entries = uint32_t{LoadU16(&image[at + 12])} + LoadU16(&image[at + 14]);
        size_t chosen = 0;
        for (uint32_t i = 0; i < entries && chosen == 0; ++i) {
            const size_t entry = directory + 16 + i * 8u;
            if (entry + 8 > size) return 0;
            if (level > 0 || LoadU32(&image[tree + entry]) == kRtVersion) chosen = entry;
        }
        if (chosen == 0) return 0;
        const uint32_t target = LoadU32(&image[tree + chosen + 4]);
        const bool isDirectory = (target & 0x80000000u) != 0;
        if (isDirectory != (level < 2)) return 0;
        directory = target & 0x7FFFFFFFu;
    }
    return directory + 16 <= size ? tree + directory : 0;
}

// The standard image checksum: 16-bit sums with the carry folded in, plus the file's length.
uint32_t ImageChecksum(const Bytes& image, size_t checksumField) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i == checksumField || i == checksumField + 2) continue;
        sum += i + 1 < image.size() ? LoadU16(&image[i]) : image[i];
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

// Grows section `index` to hold `length` bytes from its start: the file and, where it no longer
// fits, the addresses of the one section behind it (which must be the base relocations).
bool GrowSection(Bytes& image, PeLayout& pe, size_t index, uint32_t length, std::string& error) {
    Section& grown = pe.sections[index];
    // Sections start on the file alignment; the bytes up to the next one are this one's padding.
    const uint32_t rawSize = AlignUp(length, pe.fileAlignment);
    const uint32_t paddedSize = AlignUp(grown.rawSize, pe.fileAlignment);
    if (rawSize > grown.rawSize) {
        const size_t end = size_t{grown.rawOffset} + paddedSize;
        if (image.size() < end) image.resize(end, 0);
        const uint32_t delta = rawSize > paddedSize ? rawSize - paddedSize : 0;
        image.insert(image.begin() + static_cast<std::ptrdiff_t>(end), delta, 0);
        for (Section& other : pe.sections) {
            if (&other != &grown && other.rawOffset >= end && other.rawSize != 0) other.rawOffset += delta;
        }
        StoreU32(&image[pe.optional + 8], LoadU32(&image[pe.optional + 8]) + (rawSize - grown.rawSize));
        grown.rawSize = rawSize;
    }
    grown.virtualSize = std::max(grown.virtualSize, length);
    const uint32_t needed = grown.address + AlignUp(grown.virtualSize, pe.sectionAlignment);
    for (Section& other : pe.sections) {
        if (other.address <= grown.address || other.address >= needed) continue;
        const size_t relocations = pe.Directory(kBaseRelocations);
        if (pe.sections.size() - 1 != index + 1 || LoadU32(&image[relocations]) != other.address) {
            error = "a section other than the base relocations follows the resources";
            return false;
        }
        other.address = needed;
        StoreU32(&image[relocations], needed);
    }
    for (const Section& s : pe.sections) {
        StoreU32(&image[s.header + 8], s.virtualSize);
        StoreU32(&image[s.header + 12], s.address);
        StoreU32(&image[s.header + 16], s.rawSize);
        StoreU32(&image[s.header + 20], s.rawOffset);
    }
    const Section& last = pe.sections.back();
    StoreU32(&image[pe.optional + 56], last.address + AlignUp(last.virtualSize, pe.sectionAlignment));
    return true;
}

}  // namespace

bool SetVersionResource(Bytes& stub, const ProductInfo& product, bool& changed, std::string& error) {
    changed = false;
    PeLayout pe;
    if (!ReadLayout(stub, pe)) return true;
    const uint32_t treeAddress = LoadU32(&stub[pe.Directory(kResourceDirectory)]);
    const uint32_t treeSize = LoadU32(&stub[pe.Directory(kResourceDirectory) + 4]);
    size_t index = 0;
    while (index < pe.sections.size() && pe.sections[index].address != treeAddress) ++index;
    if (treeAddress == 0 || index == pe.sections.size()) return true;
    const Section& resources = pe.sections[index];
    if (treeSize > resources.rawSize) {
        error = "the resource directory does not fit its section";
        return false;
    }
    const size_t entry = FindVersionEntry(stub, resources.rawOffset, treeSize);
    if (entry == 0) return true;
    const uint32_t oldAddress = LoadU32(&stub[entry]);
    const uint32_t oldSize = LoadU32(&stub[entry + 4]);
    if (oldAddress < resources.address || oldAddress - resources.address + uint64_t{oldSize} > resources.rawSize ||
        oldSize < 40 + kFixedInfoSize) {
        error = "the version resource does not lie in its section";
        return false;
    }
    const unsigned char* fixed = &stub[resources.rawOffset + (oldAddress - resources.address) + 40];
    if (LoadU32(fixed) != kFixedInfoSignature) {
        error = "the version resource has no fixed part";
        return false;
    }
    if (LoadU32(&stub[pe.Directory(kDebugDirectory)]) != 0) {
        error = "the stub carries debug data, whose file offsets would move";
        return false;
    }
    const Bytes info = BuildVersionInfo(fixed, product);
    const uint32_t at = AlignUp(std::max(resources.virtualSize, treeSize), 8);
    if (!GrowSection(stub, pe, index, at + static_cast<uint32_t>(info.size()), error)) return false;
    const Section& grown = pe.sections[index];
    std::copy(info.begin(), info.end(), stub.begin() + grown.rawOffset + at);
    // The entry lies in the section, before anything that moved.
    StoreU32(&stub[entry], grown.address + at);
    StoreU32(&stub[entry + 4], static_cast<uint32_t>(info.size()));
    StoreU32(&stub[pe.Directory(kResourceDirectory) + 4], grown.virtualSize);
    if (LoadU32(&stub[pe.optional + 64]) != 0) StoreU32(&stub[pe.optional + 64], ImageChecksum(stub, pe.optional + 64));
    changed = true;
    return true;
}
