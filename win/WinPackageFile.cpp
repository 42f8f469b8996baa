#include "win/WinPackageFile.h"

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
}

std::unique_ptr<PackageFile> SystemPackageHost::OpenOwnFile() {
    if (!own) return nullptr;
    return std::make_unique<WinPackageFile>(own.get());
}

void SystemPackageHost::ShowMessage(const char* text, const char* caption) {
    ::MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace win
