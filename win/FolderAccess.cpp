#include "win/FolderAccess.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>

#include "win/FormatText.h"
#include "win/Handle.h"

namespace win {

namespace {

// Rights that change what a folder holds or who may: adding files or folders, deleting its
// entries, deleting or renaming it, its DACL and its owner.
constexpr DWORD kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The user of this process's token as an SID text; null when it cannot be read.
LocalMemory OwnUserSid() {
    Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return nullptr;
    union {
        TOKEN_USER user;
        unsigned char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD size = 0;
    char* text = nullptr;
    if (!::GetTokenInformation(token.get(), TokenUser, &info, sizeof(info), &size) ||
        !::ConvertSidToStringSidA(info.user.User.Sid, &text)) {
        return nullptr;
    }
    return LocalMemory(text);
}

// Administrators, SYSTEM, TrustedInstaller or self.
bool Trusted(PSID sid, const char* self) {
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(sid, &text)) return false;
    const LocalMemory owned(text);
    static const char* const kTrusted[] = {"S-1-5-32-544", "S-1-5-18",
                                           "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
    for (const char* trusted : kTrusted) {
        if (std::strcmp(text, trusted) == 0) return true;
    }
    return self != nullptr && std::strcmp(text, self) == 0;
}

}  // namespace

bool FolderSystem::Elevated() { return ::IsUserAnAdmin() != FALSE; }

bool FolderSystem::CreateFolder(const char* path, SECURITY_ATTRIBUTES* security) {
    return ::CreateDirectoryA(path, security) != FALSE;
}

LocalMemory FolderSystem::Security(const char* path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return nullptr;
    }
    return LocalMemory(descriptor);
}

namespace {
class SystemFolders : public FolderSystem {};
SystemFolders systemFolders;
}  // namespace

FolderSystem& SystemFolderSystem() { return systemFolders; }

// P: protected, nothing inherited from the parent; OICI: every file and folder below
// inherits each entry. FA: full control; 0x1200a9: read and execute.
bool FolderSecurity::BuildForAdministrators() {
    return Build("D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;", ")(A;OICI;0x1200a9;;;BU)");
}

bool FolderSecurity::BuildForOwnUser() { return Build("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;", ")"); }

// The SDDL text head, this process's user's SID, tail.
bool FolderSecurity::Build(const char* head, const char* tail) {
    const LocalMemory user = OwnUserSid();
    if (!user) return false;
    char text[320];  // the fixed parts and one SID text (at most 184 characters)
    if (!FormatText(text, sizeof(text), "%s%s%s", head, static_cast<const char*>(user.get()), tail)) return false;
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &made, nullptr)) return false;
    descriptor.reset(made);
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = made;
    attributes.bInheritHandle = FALSE;
    return true;
}

bool OthersCanWrite(PSECURITY_DESCRIPTOR descriptor) {
    const LocalMemory self = OwnUserSid();
    const char* selfText = static_cast<const char*>(self.get());
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    // An owner may always change the DACL.
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr || !Trusted(owner, selfText)) {
        return true;
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr) {
        return true;  // no DACL: everyone may do everything
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // Entries only for what is created below do not apply to the folder itself; denying
        // entries are not counted on.
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangingRights) != 0 && !Trusted(&allowed->SidStart, selfText)) return true;
    }
    return false;
}

}  // namespace win
