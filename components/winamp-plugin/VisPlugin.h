#pragma once
#include <windows.h>

// Winamp's visualisation plug-in interface, as a host finds it in Plugins\vis_*.dll: the
// library exports winampVisGetHeader (plain C name and calling convention), which returns a
// header, and the header's getModule hands out the modules by index until it returns null.
// The layouts are the host's; every field stays where it is.

constexpr int kVisHeaderVersion = 0x101;

struct winampVisModule {
    char* description;
    HWND hwndParent;        // set by the host before Init
    HINSTANCE hDllInstance;  // set by the host before Init
    int sRate;
    int nCh;
    int latencyMs;  // how long before the sound the host should fill the data
    int delayMs;    // how long Render takes, so that the host can keep it in step
    int levelChannels;  // channels of frequency levels the module wants (levelData)
    int waveformChannels;
    unsigned char levelData[2][576];
    unsigned char waveformData[2][576];
    void (*Config)(winampVisModule* module);
    // 0 on success.
    int (*Init)(winampVisModule* module);
    // 0 to go on, 1 to be stopped.
    int (*Render)(winampVisModule* module);
    void (*Quit)(winampVisModule* module);
    void* userData;
};

struct winampVisHeader {
    int version;
    char* description;
    winampVisModule* (*getModule)(int index);
};

using WinampVisGetHeaderFunc = winampVisHeader* (*)();

static_assert(sizeof(void*) != 4 || sizeof(winampVisModule) == 36 + 4 * 576 + 20, "the host's module layout");
static_assert(sizeof(void*) != 4 || sizeof(winampVisHeader) == 12, "the host's header layout");
