#include "control/app_state.h"

#include "base/scoped_handle.h"
#include "base/system_info.h"

namespace ozu {
namespace {

struct AppState {
    HICON programIcon = nullptr;
    GdiObject boldFont;
    int exitCode = 0;
};

AppState& State() {
    static AppState state;
    return state;
}

} // namespace

HICON& ProgramIcon() {
    return State().programIcon;
}

HFONT BoldFont() {
    return static_cast<HFONT>(State().boldFont.Get());
}

void CreateBoldFont() {
    // A character height of 12 pixels at 96 DPI (negative: character height,
    // not cell height), bold, in the dialogs' own face.
    State().boldFont.Reset(CreateFontW(ScaleToScreenDpi(-12), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                       0, 0, 0, 0, 0, L"MS Shell Dlg"));
}

void DeleteBoldFont() {
    State().boldFont.Reset();
}

int& ExitCode() {
    return State().exitCode;
}

void ResetAppStateForTesting() {
    AppState& state = State();
    state.programIcon = nullptr; // icons from LoadIconW are shared and never destroyed
    state.boldFont.Reset();
    state.exitCode = 0;
}

} // namespace ozu
