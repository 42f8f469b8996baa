#include "tools/orvanpack/StubVariant.h"

#include <algorithm>
#include <cstring>

#include "package/PackageSchema.h"

ExecutionLevel StubExecutionLevel(const std::vector<unsigned char>& stub) {
    static const char kAttribute[] = "<requestedExecutionLevel level=\"";
    const auto* begin = reinterpret_cast<const char*>(stub.data());
    const char* end = begin + stub.size();
    const char* found = std::search(begin, end, kAttribute, kAttribute + sizeof(kAttribute) - 1);
    if (found == end) return ExecutionLevel::kUnknown;
    const char* value = found + sizeof(kAttribute) - 1;
    const char* quote = std::find(value, end, '"');
    ExecutionLevel level = ExecutionLevel::kUnknown;
    ParseExecutionLevel(std::string(value, quote), level);
    return level;
}

ExecutionLevel LevelForProjectType(int32_t projectType, bool perUser) {
    switch (static_cast<ProjectType>(projectType)) {
        case ProjectType::kRun: return ExecutionLevel::kAsInvoker;
        case ProjectType::kInstall: return perUser ? ExecutionLevel::kAsInvoker : ExecutionLevel::kRequireAdministrator;
        case ProjectType::kScreensaver:
        case ProjectType::kWinamp: return ExecutionLevel::kRequireAdministrator;
        default: return ExecutionLevel::kUnknown;
    }
}

const char* LevelName(ExecutionLevel level) {
    switch (level) {
        case ExecutionLevel::kAsInvoker: return "asInvoker";
        case ExecutionLevel::kRequireAdministrator: return "requireAdministrator";
        default: return "none";
    }
}

bool ParseExecutionLevel(const std::string& text, ExecutionLevel& level) {
    for (ExecutionLevel candidate : {ExecutionLevel::kAsInvoker, ExecutionLevel::kRequireAdministrator}) {
        if (text == LevelName(candidate)) {
            level = candidate;
            return true;
        }
    }
    return false;
}

const char* VariantFileName(ExecutionLevel level) {
    switch (level) {
        case ExecutionLevel::kAsInvoker: return "Orvan3DExe.exe";
        case ExecutionLevel::kRequireAdministrator: return "Orvan3DExeAdmin.exe";
        default: return "";
    }
}

bool StubDecodesBlocks(const std::vector<unsigned char>& stub) {
    // A version resource's strings are UTF-16LE: the key, its zero, padding to 4 bytes, the value.
    const auto wide = [](const std::string& text) {
        std::vector<unsigned char> out;
        for (const char c : text) out.insert(out.end(), {static_cast<unsigned char>(c), 0});
        return out;
    };
    const std::vector<unsigned char> key = wide("PackageForms");
    auto at = std::search(stub.begin(), stub.end(), key.begin(), key.end());
    if (at == stub.end()) return false;
    at += static_cast<std::ptrdiff_t>(key.size());
    while (at + 1 < stub.end() && at[0] == 0 && at[1] == 0) at += 2;
    std::string value;
    for (; at + 1 < stub.end() && at[1] == 0 && at[0] != 0 && value.size() < 64; at += 2) {
        value += static_cast<char>(at[0]);
    }
    value = " " + value + " ";
    return value.find(" lzma ") != std::string::npos;
}
