#pragma once

// Where the progress bar of the installing modes stands after each step, as a fraction of the
// bar: the steps' order reads here in one place.
namespace progress_point {

constexpr float kShown = 0.0f;               // the folder is chosen, the bar just shown
constexpr float kViewerWritten = 0.05f;      // project install: the viewer is in its folder
constexpr float kEngineStarted = 0.05f;      // screen saver and plug-in: engine written and loaded
constexpr float kComponentCopied = 0.1f;     // screen saver and plug-in: the copy outside the folder
constexpr float kEngineFilesWritten = 0.25f; // project install: the engine and its channels
constexpr float kLinksMade = 0.3f;           // project install: the Start-menu links
constexpr float kChannelLibraries = 0.3f;    // where the channel libraries' list starts
constexpr float kProjectFiles = 0.6f;        // where the project files' list starts
constexpr float kListSpan = 0.3f;            // how much of the bar one list's items take
constexpr float kNoProgress = -1.0f;         // a list that does not move the bar
constexpr float kFinished = 0.95f;           // the last step before the bar closes
constexpr unsigned long kListStepMs = 200;   // a list moves the bar at most this often

}  // namespace progress_point
