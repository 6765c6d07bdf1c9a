// What every dialog of the program does alike, before its own handling: the
// texts and caption of its section in the language file, the SIZE scaling,
// right-to-left mirroring and the help topic. Also how a dialog is started,
// so that a language library without the template falls back to ours.
#pragma once

#include <windows.h>

#include <string_view>

namespace ozu {

struct DialogDescription {
    std::string_view section;      // the language file's section: "SETUPDLG", ...
    std::u16string_view helpTopic; // empty: the dialog has no help topic
};

// Handles the messages that are common to every dialog; true when the message
// was handled completely (the dialog procedure then returns TRUE).
// WM_INITDIALOG is never reported as handled, so that the dialog goes on
// with its own initialisation afterwards.
bool CommonDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                      const DialogDescription& description);

// Applies the language file's section to a dialog that has just been created:
// control texts, caption and SIZE. (Part of CommonDialogHook's WM_INITDIALOG.)
void LocalizeDialog(HWND dialog, std::string_view section);

// For a right-to-left language: shows a control's text left to right all the
// same (file paths and file masks read wrongly mirrored). Nothing otherwise.
void KeepLeftToRight(HWND control);

// DialogBoxParamW with the template from the resource module, falling back to
// the program's own template when the language library lacks it or the
// dialog cannot be created from it. -1 when no template could be shown.
INT_PTR RunDialog(const wchar_t* templateName, HWND owner, DLGPROC procedure, LPARAM parameter);

} // namespace ozu
