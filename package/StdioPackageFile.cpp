#include "package/StdioPackageFile.h"

#include <cstring>

std::unique_ptr<StdioPackageFile> StdioPackageFile::Open(const std::string& path) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return nullptr;
    return std::unique_ptr<StdioPackageFile>(new StdioPackageFile(stream));
}

StdioPackageFile::~StdioPackageFile() { std::fclose(stream); }

uint64_t StdioPackageFile::Length() {
    if (fseeko(stream, 0, SEEK_END) != 0) return 0;
    const auto end = ftello(stream);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

bool StdioPackageFile::ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) {
    got = 0;
    if (fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    got = static_cast<uint32_t>(std::fread(buffer, 1, length, stream));
    return !std::ferror(stream);
}

bool MemoryPackageFile::ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) {
    got = 0;
    if (offset >= size) return true;
    const uint64_t left = size - offset;
    got = length < left ? length : static_cast<uint32_t>(left);
    std::memcpy(buffer, bytes + offset, got);
    return true;
}
