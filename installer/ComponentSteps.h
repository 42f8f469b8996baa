#pragma once
#include "installer/Installer.h"

// What the screen-saver and plug-in installations share: their start, and their common end
// once their component is in place.
class Installer::ComponentSteps {
public:
    // A mode's own options in its configuration file; false stops the installation.
    using OptionsWriter = bool (*)(Installer& in, FileSaverChannel* saver);
    // The user's folder (false when the dialog is left; noClimbing as in
    // ChooseFolderWithProgress), progress shown, engine files on disk and the engine loaded.
    static bool Start(Installer& in, const char* projectName, const char* proposedFolder, bool noClimbing);
    // Channels and project files, the configuration file configName (one of our own file names,
    // see InFolder) with optionsWriter's chunks when given, record, release, registration,
    // success message.
    static bool Finish(Installer& in, const char* configName, const char* projectName, OptionsWriter optionsWriter);
};
