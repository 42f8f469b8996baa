// Start-menu links through the shell's link object.
#include <shlobj.h>
#include <shobjidl.h>

#include "installer/Shortcut.h"

#include "installer/Installer.h"
#include "win/ComPtr.h"
#include "win/ComScope.h"

namespace {

// The wide buffer the link path is converted into; longer paths do not convert.
constexpr int kWidePathCapacity = 260;

// The three identifiers, here rather than from the system's uuid library, whose one object
// holds every identifier and would cost the program more than a kilobyte.
constexpr CLSID kShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

HRESULT DescribeLink(IShellLinkA& link, const char* target, const char* workingFolder, const char* description,
                     const char* arguments) {
    HRESULT result = link.SetWorkingDirectory(workingFolder);
    if (SUCCEEDED(result) && arguments != nullptr) result = link.SetArguments(arguments);
    if (SUCCEEDED(result)) result = link.SetPath(target);
    if (SUCCEEDED(result)) result = link.SetDescription(description);
    return result;
}

// Writes a shell link at linkPath to target, working folder installFolder, with description
// and (when not null) arguments. COM is initialised for this call only. Returns the COM result
// of the creation, of the first field that could not be set, or of IPersistFile::Save;
// kLinkPathTooLong, with nothing created, when linkPath does not fit the shell's path buffer.
HRESULT Installer::CreateShortcut(const char* target, const char* linkPath, const char* description,
                                  const char* arguments) {
    // A path cut to the buffer would name another file, and lose its terminator.
    WCHAR widePath[kWidePathCapacity];
    if (::MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kWidePathCapacity) == 0) return kLinkPathTooLong;
    const win::ComScope com;
    // The interface before the object, and both before COM goes.
    win::ComPtr<IShellLinkA> link;
    win::ComPtr<IPersistFile> file;
    HRESULT result = ::CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA, link.put());
    if (SUCCEEDED(result)) result = link->QueryInterface(kPersistFile, file.put());
    if (SUCCEEDED(result)) result = DescribeLink(*link.get(), target, installFolder, description, arguments);
    if (SUCCEEDED(result)) result = file->Save(widePath, TRUE);
    return result;
}
