// The setup dialog "SETUPDLG": the user's integration choices, and on OK the
// whole apply sequence of setup mode.
#pragma once

#include <windows.h>

#include <string>

namespace ozu {

// What start-up hands to the setup dialog (the dialogs do not reach into the
// program control's state themselves).
struct SetupDialogContext {
    bool silent = false; // press OK at once
    // /quiet: no window at all; the choices go straight to the integration,
    // as the dialog that accepts itself would carry them.
    bool windowless = false;
    bool msiMode = false;            // an installer package owns the uninstall entry
    std::u16string initOptionsText;  // the /init text, applied over the stored choices
    HICON icon = nullptr;            // the dialog's large icon, or none
    std::u16string programGroupPath; // out: the program group folder that OK created
    bool integrationApplied = false; // out: OK wrote the integration (false without the rights)
};

// Shows the dialog (or, windowless, does what its OK does). 1 when the user confirmed and the
// integration was written; 0 when the user cancelled or the dialog could not be shown at all
// (nothing has been written then; the caller sets the exit code to 1).
INT_PTR RunSetupDialog(SetupDialogContext& context);

} // namespace ozu
