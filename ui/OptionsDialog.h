#pragma once
#include <windows.h>

// The modal dialog in which the user confirms or changes the target folder of an installation.
// It does not create the folder; it only hands over a full path.
class OptionsDialog {
public:
    OptionsDialog();
    OptionsDialog(const OptionsDialog&) = delete;
    OptionsDialog& operator=(const OptionsDialog&) = delete;
    virtual ~OptionsDialog() = default;

    // Copies at most 259 characters of defaultFolder (when not null) into `folder`, runs the
    // dialog IDD_ISNTALLDIALOG of instance with no owner (parent is not used) and returns
    // `accepted`: true once "Install" was pressed, on this or an earlier Show. A dialog that
    // cannot be created counts as cancelled; nothing is reported.
    // An accepted folder that is not a full path is refused with "Please enter a full folder
    // path, for example C:\Program Files\<ProjectName>." (caption: the project name) and the
    // dialog shows again with the text as entered. So is a folder whose name has no exact
    // narrow form (win::ShowNoExactPath names it).
    virtual bool Show(HINSTANCE instance, HWND parent, const char* defaultFolder);
    // A drive letter, colon and backslash, or a UNC path: the only folders an install can be
    // recorded and removed again from.
    static bool IsFullPath(const char* path);
    // The refusal box of Show, for other places where the user names a folder.
    static void RefuseFolder(const char* projectName);
    // The proposed, then the chosen folder; never null.
    virtual const char* GetFolder();
    // The dialog procedure's handlers.
    virtual void OnInitDialog(HWND dialog);
    virtual void OnInstall();
    virtual void OnBrowse(HWND dialog);
    virtual void OnFolderEdited(const char* text);
    // Sets the caption to name followed by " Installation Options"; null keeps it. A name too
    // long for both is cut so that the suffix always shows.
    virtual void SetProjectName(const char* name);

    char title[300];
    char projectName[300] = {};
    char folder[300];
    // The folder as typed when it has no exact narrow form (then refused like a relative one,
    // with its own box); empty otherwise.
    wchar_t unusableFolder[260] = {};
    bool accepted = false;
};
