// orvan_copytree: the plain Win32 program the extraction is measured against. It does what any
// setup program must at least do, nothing more: each file read whole, then written whole.
//
//   orvan_copytree copy SOURCE TARGET    copies the tree below SOURCE to TARGET
//   orvan_copytree delete FOLDER         deletes FOLDER and everything below it
//
// Exit code 0 when every file and folder was handled, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win/Handle.h"

namespace {

// buffer is reused from file to file, grown to the largest.
bool CopyOne(const std::string& from, const std::string& to, std::vector<unsigned char>& buffer) {
    win::FileHandle in(::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(in.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    const auto length = static_cast<DWORD>(size.QuadPart);
    if (buffer.size() < length) buffer.resize(length);
    DWORD got = 0;
    if (length > 0 && (!::ReadFile(in.get(), buffer.data(), length, &got, nullptr) || got != length)) return false;
    win::FileHandle out(
        ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    DWORD written = 0;
    if (length > 0 && (!::WriteFile(out.get(), buffer.data(), length, &written, nullptr) || written != length)) {
        return false;
    }
    return ::CloseHandle(out.release()) != FALSE;
}

bool CopyTree(const std::string& from, const std::string& to, std::vector<unsigned char>& buffer) {
    ::CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    win::FindHandle find(::FindFirstFileA((from + "\\*").c_str(), &found));
    if (!find) return false;
    bool ok = true;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        const std::string a = from + "\\" + found.cFileName;
        const std::string b = to + "\\" + found.cFileName;
        ok = ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CopyTree(a, b, buffer) : CopyOne(a, b, buffer)) && ok;
    } while (::FindNextFileA(find.get(), &found));
    return ok;
}

bool DeleteTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    bool ok = true;
    {
        win::FindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &found));
        if (!find) return false;
        do {
            if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
            const std::string path = folder + "\\" + found.cFileName;
            ok = ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? DeleteTree(path)
                                                                        : ::DeleteFileA(path.c_str()) != FALSE) &&
                 ok;
        } while (::FindNextFileA(find.get(), &found));
    }
    return ::RemoveDirectoryA(folder.c_str()) != FALSE && ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned char> buffer;
    if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return CopyTree(argv[2], argv[3], buffer) ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "delete") == 0) return DeleteTree(argv[2]) ? 0 : 1;
    std::fprintf(stderr, "usage: orvan_copytree copy SOURCE TARGET | delete FOLDER\n");
    return 2;
}
