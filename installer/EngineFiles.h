#pragma once

// The engine's libraries every mode extracts before it can load the engine, in extraction
// order; each is stored zlib-compressed in the package. The project's start file follows them.
constexpr const char* kEngineFiles[] = {
    "EngineCore.dll",
    "channels\\ChunkSaver.dll",
    "channels\\FolderScan.dll",
    "channels\\ChunkLoader.dll",
    "channels\\3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll",
    "channels\\7B1D4F22-8C3E-4A52-B06F-2D3E4F5A6B72.dll",
    "channels\\9C2E5A33-0D4F-4B63-A17E-3E4F5A6B7C83.dll",
    "channels\\1D3F6B44-2E5A-4C74-B28D-4F5A6B7C8D94.dll",
    "channels\\4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll",
    "3rd\\msvcr71.dll",
};
