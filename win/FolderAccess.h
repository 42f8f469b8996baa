#pragma once
#include <windows.h>

#include <memory>

// Who may change an install folder. An elevated install writes programs that administrators
// later run: its folder must be the administrators', not writable by another user.
namespace win {

struct LocalFreeDeleter {
    void operator()(void* p) const { ::LocalFree(p); }
};
// Memory the system hands out with LocalAlloc (security descriptors, SID texts).
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

// What protecting an install folder asks of the system; tests give their own, since Wine keeps
// no descriptors (one set on a folder reads back as Wine's default).
class FolderSystem {
public:
    // Whether this process has administrator rights (an elevated install).
    virtual bool Elevated();
    // CreateDirectoryA with security (null: inherited from the parent).
    virtual bool CreateFolder(const char* path, SECURITY_ATTRIBUTES* security);
    // The owner and DACL of an existing file or folder; null when they cannot be read.
    virtual LocalMemory Security(const char* path);

protected:
    // Never destroyed through this type: the system's one lives as long as the program, and
    // a virtual destructor would cost the stub its clean-up code at exit.
    ~FolderSystem() = default;
};
FolderSystem& SystemFolderSystem();

// A protected DACL for a folder this process creates, inherited by everything below.
class FolderSecurity {
public:
    // The one an elevated install gives its folders: full control for Administrators, SYSTEM
    // and the installing user (the rights a per-user install would give that user), read and
    // execute for Users. False when it cannot be built.
    bool BuildForAdministrators();
    // The run folder's: full control for this process's user and SYSTEM, nothing for anyone
    // else, whoever may write the temporary folder it lies in. False when it cannot be built.
    bool BuildForOwnUser();
    SECURITY_ATTRIBUTES* Attributes() { return descriptor ? &attributes : nullptr; }

private:
    bool Build(const char* head, const char* tail);
    LocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes = {};
};

// Whether anyone but Administrators, SYSTEM, TrustedInstaller and this process's user may add,
// replace or delete what the folder described holds, or change who may: an owner outside
// them, no DACL at all, or an allowing entry for another account with such a right.
bool OthersCanWrite(PSECURITY_DESCRIPTOR descriptor);

}  // namespace win
