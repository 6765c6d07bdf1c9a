// The few process-wide objects that start-up owns and hands to the dialogs
// and the uninstall procedure. They live from start-up to exit.
#pragma once

#include <windows.h>

namespace ozu {

// The icon "OZUICON" (the dialogs' large icon), or nullptr when none was found.
HICON& ProgramIcon();

// The bold dialog font for the completion dialog's thanks text, or nullptr.
HFONT BoldFont();
// Creates BoldFont (MS Shell Dlg, bold, 12 pixels scaled to the screen's DPI).
void CreateBoldFont();
// Deletes BoldFont; nullptr afterwards.
void DeleteBoldFont();

// The process exit code: 0, or 1 when the user cancelled the setup dialog.
int& ExitCode();

// Puts everything back to its state at program start (tests).
void ResetAppStateForTesting();

} // namespace ozu
