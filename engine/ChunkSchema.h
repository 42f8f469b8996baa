#pragma once
#include <cstdint>

// The chunk files our programs write and read through the engine's channels: what the
// installing modes, the uninstaller, the screen saver, the plug-in, the viewer and the test
// fixtures must spell alike. A chunk tag is four upper-case letters.

// A fixed text field of these files: paths, the project name, the start file. Zero-filled when
// shorter; a text that fills it has no terminator.
inline constexpr uint32_t kTextFieldSize = 259;

// The uninstall record in the installation folder: the file count (32-bit LE) and one field
// per file in creation order, the folder count and one field per folder (children before
// parents), the project name, and for the screen-saver and plug-in installs an empty marker.
inline constexpr char kRecordName[] = "uninstall.nfo";
inline constexpr char kRecordFileCountTag[] = "UNFC";
inline constexpr char kRecordFileTag[] = "UNFN";
inline constexpr char kRecordFolderCountTag[] = "UNDC";
inline constexpr char kRecordFolderTag[] = "UNDN";
inline constexpr char kRecordProjectNameTag[] = "UNPN";
inline constexpr char kRecordComponentMarkerTag[] = "UNSK";

// The configuration file of a screen saver or plug-in install, read back by what it installed:
// the start file's path (a text field), the animation period in milliseconds (32-bit LE), and
// for the screen saver whether mouse movement ends it and whether the small preview draws.
inline constexpr char kScreensaverConfigName[] = "screensaver.cfg";
inline constexpr char kWinampConfigName[] = "winamp.cfg";
inline constexpr char kConfigStartFileTag[] = "SCFP";
inline constexpr char kConfigTimingTag[] = "SCTI";
inline constexpr char kConfigQuitOnMouseTag[] = "SCQC";
inline constexpr char kConfigSmallPreviewTag[] = "SCSP";

// The project's start file as our viewer reads it: the title, and optionally how long to stay
// open in milliseconds, the exit code (both 32-bit LE) and a file to write a report of the run
// into. The viewer's session record in its cache holds the title again.
inline constexpr char kStartTitleTag[] = "ZRXS";
inline constexpr char kStartHoldTag[] = "HOLD";
inline constexpr char kStartExitTag[] = "EXIT";
inline constexpr char kStartNoteTag[] = "NOTE";
inline constexpr char kSessionTag[] = "SESS";

// A file in the engine's stored form: a chunk file holding one such chunk, whose data is the
// plain size and a zlib stream.
inline constexpr char kVbrfTag[] = "VBRF";
