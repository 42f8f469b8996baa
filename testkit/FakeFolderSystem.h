#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "win/FolderAccess.h"

namespace testkit {

// Descriptors as text (SDDL: owner and DACL).
std::string DescriptorText(PSECURITY_DESCRIPTOR descriptor);
// This process's user, as an SID text.
std::string OwnUserSidText();

// Folder calls for an Installer under test: Wine keeps no descriptors, so the descriptor each
// folder was created with is noted, and what an existing folder "has" is given by the test.
class FakeFolderSystem : public win::FolderSystem {
public:
    bool Elevated() override { return elevated; }
    // Creates the folder for real (without the descriptor, which Wine would not keep) and notes
    // the descriptor text it was given; "" for none.
    bool CreateFolder(const char* path, SECURITY_ATTRIBUTES* security) override;
    // The descriptor the test gave the folder, else the one it was created with here (owned by
    // Administrators, as an elevated creator's folder is), else the system's.
    win::LocalMemory Security(const char* path) override;

    bool elevated = true;
    std::vector<std::pair<std::string, std::string>> created;  // path, descriptor text
    std::map<std::string, std::string> existing;               // path -> descriptor text it has
};

}  // namespace testkit
