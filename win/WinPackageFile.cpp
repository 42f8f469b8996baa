#include "win/WinPackageFile.h"

#include <cwchar>

#include "win/DecodeAheadSource.h"

namespace win {

uint64_t WinPackageFile::Length() {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool WinPackageFile::ReadUpTo(uint64_t offset, void* buffer, uint32_t length, uint32_t& got) {
    got = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (got < length) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + got);
        at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
        DWORD read = 0;
        if (!::ReadFile(file, out + got, length - got, &read, &at)) {
            return ::GetLastError() == ERROR_HANDLE_EOF;
        }
        if (read == 0) break;
        got += read;
    }
    return true;
}

namespace {

constexpr wchar_t kGlobalRoot[] = L"\\\\?\\GLOBALROOT";
constexpr DWORD kRoot = sizeof(kGlobalRoot) / sizeof(wchar_t) - 1;

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x;
    BY_HANDLE_FILE_INFORMATION y;
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

bool IsMappedImage(HANDLE file) {
    // Kernel32 has it from Windows 7 on; Vista's is psapi's, which the program does not import.
    using MappedFileName = DWORD(WINAPI*)(HANDLE, LPVOID, LPWSTR, DWORD);
    const auto mappedFileName = reinterpret_cast<MappedFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "K32GetMappedFileNameW")));
    if (mappedFileName == nullptr) return true;
    // The name the mapping has now, which follows a rename: "\Device\HarddiskVolume1\...",
    // opened through the object names' root (Wine gives "\??\C:\...": "\\?\C:\...").
    wchar_t path[kMaxLongPath];
    std::wmemcpy(path, kGlobalRoot, kRoot);
    const DWORD n = mappedFileName(::GetCurrentProcess(), ::GetModuleHandleW(nullptr), path + kRoot, kMaxLongPath - kRoot);
    if (n == 0 || n >= kMaxLongPath - kRoot - 1) return false;
    const wchar_t* name = path;
    if (std::wcsncmp(path + kRoot, L"\\??\\", 4) == 0) {
        path[kRoot + 1] = L'\\';
        name = path + kRoot;
    }
    const FileHandle image(::CreateFileW(name, FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    return image && SameFile(image.get(), file);
}

SystemPackageHost::SystemPackageHost(const char* path) {
    // Others may read, but neither write, rename nor delete the file while the host lives.
    if (path != nullptr) {
        own.reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        return;
    }
    // The own file by its wide name: the narrow one of a folder outside the ANSI code page
    // names nothing. A result that fills the buffer may have been cut.
    wchar_t module[kMaxLongPath];
    const DWORD n = ::GetModuleFileNameW(nullptr, module, kMaxLongPath);
    if (n == 0 || n >= kMaxLongPath - 1) return;
    own.reset(::CreateFileW(module, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    // Opened by name after the start: the running file may have been renamed meanwhile and
    // another put in its place. Only the file the image was mapped from is read; another is
    // as good as none ("Data header not found!"). Without the system's call (Vista) the name
    // is believed.
    if (own && !IsMappedImage(own.get())) own.reset();
}

std::unique_ptr<PackageFile> SystemPackageHost::OpenOwnFile() {
    if (!own) return nullptr;
    return std::make_unique<WinPackageFile>(own.get());
}

std::unique_ptr<BlockSource> SystemPackageHost::DecodeBlocks(PackageFile& file, const BlockLocation* blocks,
                                                            uint32_t count) {
    return std::make_unique<DecodeAheadSource>(file, blocks, count);
}

void SystemPackageHost::ShowMessage(const char* text, const char* caption) {
    if (log != nullptr) log->Box(text, caption);
    ::MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace win
