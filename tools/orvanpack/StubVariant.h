#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The stub comes in two variants that differ only in the execution level their manifest asks
// Windows for. The packer picks the one the project's delivery mode needs.
enum class ExecutionLevel { kUnknown, kAsInvoker, kRequireAdministrator };

// The level named by the stub's embedded manifest; kUnknown when it carries none. The
// manifest is stored as plain text in the resources, so its text is looked for directly.
ExecutionLevel StubExecutionLevel(const std::vector<unsigned char>& stub);
// Running in place (1) and a per-user project install (2 with perUser) need no rights; the
// install modes (2, 5, 6) otherwise write for all users. kUnknown for any other type.
ExecutionLevel LevelForProjectType(int32_t projectType, bool perUser = false);
// "asInvoker", "requireAdministrator"; "none" for kUnknown.
const char* LevelName(ExecutionLevel level);
// Parses a level name as LevelName gives it; false for anything else.
bool ParseExecutionLevel(const std::string& text, ExecutionLevel& level);
// The file name the build gives the variant with level; empty for kUnknown.
const char* VariantFileName(ExecutionLevel level);

// Whether the stub decodes the package's LZMA blocks: its version resource's "PackageForms"
// value names "lzma". Stubs built before the blocks have no such value.
bool StubDecodesBlocks(const std::vector<unsigned char>& stub);
