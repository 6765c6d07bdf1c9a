// The completion dialog "DONEDLG" shown after a confirmed setup.
#pragma once

#include <windows.h>

namespace ozu {

struct DoneDialogContext {
    bool silent = false;      // press OK at once
    HICON icon = nullptr;     // the dialog's large icon, or none
    HFONT boldFont = nullptr; // for the thanks text, or none
};

void RunDoneDialog(const DoneDialogContext& context);

} // namespace ozu
