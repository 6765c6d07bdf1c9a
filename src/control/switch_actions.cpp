// What /wait and /warning do in the running program.
#include <windows.h>

#include "base/program_path.h"
#include "control/switches.h"
#include "dialogs/message_box.h"
#include "localization/localized_strings.h"
#include "res/resource.h"

namespace ozu {
namespace {

class ProgramSwitchActions final : public SwitchActions {
public:
    void Pause(unsigned milliseconds) override { Sleep(milliseconds); }

    // Shown by the self-removal batch file when the program file outlived the
    // uninstall: the user has to delete it by hand.
    void ShowUninstallWarning() override {
        const std::u16string text =
            BuildUninstallWarning(GetLocalizedString(IDS_UNINSTALLCOMPLETED),
                                  GetLocalizedString(IDS_UNINSTALLSHOULDDELETE), ProgramPath());
        ShowMessageBox(nullptr, text, GetLocalizedString(IDS_UNINSTALLOZU),
                       MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
};

} // namespace

void ParseSwitches(PassKind pass, std::u16string_view text, bool& setupRequested,
                   bool& uninstallRequested) {
    ProgramSwitchActions actions;
    ParseSwitches(pass, text, setupRequested, uninstallRequested, actions);
}

} // namespace ozu
