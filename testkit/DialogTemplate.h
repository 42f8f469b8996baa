#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads dialog templates (DIALOG and DIALOGEX) as stored in a module's resources, so tests can
// check what the resource compiler really produced.
namespace testkit {

struct DialogControlTemplate {
    int id = 0;              // signed: -1 for the unnamed statics
    std::string className;   // the platform's ordinals as their class names ("Button", "Edit", ...)
    std::string text;        // an ordinal text (an icon id) as "#<number>"
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;         // empty when there is none
    std::string windowClass;  // empty for the standard dialog class
    std::string caption;
    bool hasFont = false;
    int pointSize = 0;
    int weight = 0;           // DIALOGEX only
    bool italic = false;      // DIALOGEX only
    std::string fontName;
    std::vector<DialogControlTemplate> controls;
};

// Parses a template from its bytes; false when they are cut short or malformed.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate& out);

// Loads the dialog resource named name with language (0 for any) from a PE file, without
// running it, and parses it. False when the file, the resource or the template is missing or bad.
bool LoadDialogTemplate(const std::string& peFile, const char* name, WORD language, DialogTemplate& out);

// The language ids under which the module stores the dialog resource name.
std::vector<WORD> DialogLanguages(const std::string& peFile, const char* name);

}  // namespace testkit
