// Setup mode: the setup dialog writes the integration; then, unless a package
// installer runs the show, the completion dialog and the notice about the
// 32-bit edition on 64-bit Windows; last the new program group is opened.
#include <windows.h>
#include <shellapi.h>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "control/app_state.h"
#include "control/startup.h"
#include "control/switches.h"
#include "dialogs/done_dialog.h"
#include "dialogs/message_box.h"
#include "dialogs/setup_dialog.h"
#include "localization/localized_strings.h"
#include "res/resource.h"

namespace ozu {
namespace {

// The notice recommends the x64 edition, which an Itanium system cannot run.
void ShowNoticeFor32BitEdition() {
    if (RunningUnderWow64() && !TheSwitches().SilentMode && !NativeIsItanium()) {
        ShowMessageBox(nullptr, GetLocalizedString(IDS_WARN32BIT),
                       GetLocalizedString(IDS_UNINSTTITLE), MB_ICONINFORMATION);
    }
}

void OpenProgramGroup(const std::u16string& group) {
    const Switches& switches = TheSwitches();
    if (group.empty() || switches.SilentMode || switches.MsiMode || switches.NoExplorer ||
        !PathExists(group)) {
        return;
    }
    // A window of the shell; a preview shows none.
    Made({.kind = ChangeKind::OpenFolder, .verb = "group-open", .path = group, .attempt = true});
}

} // namespace

RunReport RunSetupMode() {
    const Switches& switches = TheSwitches();
    SetupDialogContext setup{};
    setup.silent = switches.SilentMode;
    setup.windowless = switches.Quiet;
    setup.msiMode = switches.MsiMode;
    setup.initOptionsText = switches.InitOptionsText;
    setup.icon = ProgramIcon();
    if (RunSetupDialog(setup) == 0) {
        // Cancelled (or the dialog could not be shown): nothing was written,
        // and the installer learns it from the exit code.
        ExitCode() = 1;
        return {RunOutcome::Cancelled};
    }
    // Without administrator rights the apply sequence stopped at its first
    // machine-wide write; the user learns it here, an unattended run from the
    // log and the exit code.
    if (!setup.integrationApplied && !switches.SilentMode) {
        ShowMessageBox(nullptr, GetLocalizedString(IDS_NOADMINRIGHTS),
                       GetLocalizedString(IDS_UNINSTTITLE), MB_ICONWARNING);
    }
    // Under /quiet the completion dialog, which would only accept itself,
    // is not made at all.
    if (!switches.MsiMode && !switches.Quiet) {
        RunDoneDialog(DoneDialogContext{switches.SilentMode, ProgramIcon(), BoldFont()});
        ShowNoticeFor32BitEdition();
    }
    OpenProgramGroup(setup.programGroupPath);
    // A change that failed on the way left part of the integration unwritten.
    return {setup.integrationApplied && FailedChanges() == 0 ? RunOutcome::Done
                                                             : RunOutcome::Failed};
}

} // namespace ozu
