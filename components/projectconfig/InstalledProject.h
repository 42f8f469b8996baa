#pragma once
#include <windows.h>

#include <cstdint>

// What the screen saver and the plug-in know of the project they show: the folder it was
// installed into, the configuration the installer wrote there, and the start file's title.
//
// A copy placed outside the install folder (the screen saver in the system directory, the
// plug-in in Winamp's folder) is named after the project, and the installer's viewer entry
// HKEY_LOCAL_MACHINE\SOFTWARE\Velbor\Orvan3D Viewers\3.00.000\<ProjectName> maps that name
// to the folder. The original inside the install folder finds the configuration beside itself.
struct InstalledProject {
    char folder[MAX_PATH] = {};
    char startFile[260] = {};
    // The configuration's "SCTI": the animation period in milliseconds.
    uint32_t periodMs = 20;
    // "SCQC": mouse movement ends the screen saver, not only keys and clicks.
    bool quitOnMouseMove = false;
    // "SCSP": the project is drawn in the small preview, not only full screen.
    bool drawPreview = false;
    char title[260] = "Orvan3D";
};

// The project name a copy stands for: its file name without namePrefix (ignoring case, when
// it starts with it) and without its extension.
void ProjectNameFromModule(HMODULE module, const char* namePrefix, char (&name)[260]);

// Fills project from configName (e.g. "screensaver.cfg"), read through the engine of the
// install folder, and from the start file it names. False, with project as far as it got,
// when no install folder holds configName, the engine cannot be loaded, or the file lacks
// "SCFP" and "SCTI"; the optional chunks keep their defaults when absent.
bool LoadInstalledProject(HMODULE module, const char* namePrefix, const char* configName, HINSTANCE instance,
                          const char* windowClass, InstalledProject& project);
