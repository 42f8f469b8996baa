#include "testkit/FakeFolderSystem.h"

#include <sddl.h>

#include "win/Handle.h"

namespace testkit {

std::string DescriptorText(PSECURITY_DESCRIPTOR descriptor) {
    char* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "<unreadable>";
    }
    const win::LocalMemory owned(text);
    return text;
}

std::string OwnUserSidText() {
    win::Handle token;
    unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    char* text = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) ||
        !::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        return "";
    }
    const win::LocalMemory owned(text);
    return text;
}

bool FakeFolderSystem::CreateFolder(const char* path, SECURITY_ATTRIBUTES* security) {
    if (!::CreateDirectoryA(path, nullptr)) return false;
    created.emplace_back(path, security != nullptr ? DescriptorText(security->lpSecurityDescriptor) : "");
    return true;
}

win::LocalMemory FakeFolderSystem::Security(const char* path) {
    std::string text;
    std::string key = path;
    if (!key.empty() && key.back() != '\\') key.push_back('\\');
    const auto given = existing.find(path);
    if (given != existing.end()) {
        text = given->second;
    } else {
        for (const auto& folder : created) {
            if (folder.first == key && !folder.second.empty()) text = folder.second;
        }
    }
    if (text.empty()) return win::FolderSystem::Security(path);
    // A folder read back names its owner: an elevated creator's folder is the administrators'.
    if (text.compare(0, 2, "O:") != 0) text = "O:BA" + text;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return nullptr;
    }
    return win::LocalMemory(descriptor);
}

}  // namespace testkit
