#pragma once
// Shared by the resource script and the code. The template names IDD_PROGRESSBAR and
// IDD_ISNTALLDIALOG are deliberately not defined here: the script must see them as bare words
// so that the templates are stored under those string names, which the program loads.

// Progress window.
#define IDC_PROGRESS_BAR 1003

// Installation options dialog. "Install" takes the standard OK id so that Enter presses it;
// "Cancel" deliberately does not take the standard cancel id, so that Escape does nothing.
#define IDC_INSTALL 1
#define IDC_FOLDER_EDIT 1000
#define IDC_BROWSE 1001
#define IDC_CANCEL_INSTALL 1002
#define IDC_STATIC_TEXT -1

#ifndef RC_INVOKED
constexpr char kProgressTemplateName[] = "IDD_PROGRESSBAR";
constexpr char kOptionsTemplateName[] = "IDD_ISNTALLDIALOG";
#endif
