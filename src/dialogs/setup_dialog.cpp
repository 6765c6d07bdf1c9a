#include "dialogs/setup_dialog.h"

#include <richedit.h>

#include <string>

#include "base/win32_text.h"
#include "dialogs/context_items_dialog.h"
#include "dialogs/dialog_hook.h"
#include "integration/init_options.h"
#include "integration/integration.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/settings_store.h"

namespace ozu {
namespace {

const DialogDescription kSetupDialog{"SETUPDLG", u"HELPIntegrationSettings"};

struct SetupDialogState {
    SetupDialogContext* context;
    IntegrationOptions options;
};

// The check boxes of the six flags beside the archive types.
struct FlagControl {
    int control;
    bool IntegrationOptions::*field;
};
constexpr FlagControl kFlagControls[] = {
    {IDC_LINKDESKTOP, &IntegrationOptions::desktop},
    {IDC_LINKSTARTMENU, &IntegrationOptions::startMenu},
    {IDC_LINKPROGRAMS, &IntegrationOptions::programs},
    {IDC_SHELLEXT, &IntegrationOptions::shellExt},
    {IDC_SHELLCASCADED, &IntegrationOptions::cascadedMenu},
    {IDC_SHELLICONS, &IntegrationOptions::menuIcons},
};

bool IsTicked(HWND dialog, int control) {
    return IsDlgButtonChecked(dialog, control) == BST_CHECKED;
}

void Tick(HWND dialog, int control, bool ticked) {
    CheckDlgButton(dialog, control, ticked ? BST_CHECKED : BST_UNCHECKED);
}

// The context-menu style only matters while the shell extension is chosen.
void UpdateShellControls(HWND dialog) {
    bool shellExt = IsTicked(dialog, IDC_SHELLEXT);
    EnableWindow(GetDlgItem(dialog, IDC_SHELLCASCADED), shellExt);
    EnableWindow(GetDlgItem(dialog, IDC_SHELLICONS), shellExt);
}

void FillExplanation(HWND dialog) {
    std::u16string text = u"   ";
    for (uint32_t id = IDS_INSTHELP1; id <= IDS_INSTHELP5; ++id) {
        text += u" " + GetLocalizedString(id);
    }
    text += u"\r\n    " + GetLocalizedString(IDS_INSTHELP6);
    HWND control = GetDlgItem(dialog, IDC_INSTHELP);
    SendMessageW(control, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
    SetWindowTextW(control, W(text));
}

void ShowOptions(HWND dialog, const IntegrationOptions& options) {
    for (size_t row = 0; row < kArchiveTypeCount; ++row) {
        Tick(dialog, ArchiveTypeTable[row].control, options.assoc[row]);
    }
    for (const FlagControl& flag : kFlagControls) {
        Tick(dialog, flag.control, options.*flag.field);
    }
    UpdateShellControls(dialog);
}

// Only the fields that have a control change: assoc entries 17 to 19 keep
// what the /init text gave them.
void ReadOptions(HWND dialog, IntegrationOptions& options) {
    for (size_t row = 0; row < kArchiveTypeCount; ++row) {
        options.assoc[row] = IsTicked(dialog, ArchiveTypeTable[row].control);
    }
    for (const FlagControl& flag : kFlagControls) {
        options.*flag.field = IsTicked(dialog, flag.control);
    }
}

void ToggleAllTypes(HWND dialog) {
    bool anyClear = false;
    for (const ArchiveType& type : ArchiveTypeTable) {
        anyClear = anyClear || !IsTicked(dialog, type.control);
    }
    for (const ArchiveType& type : ArchiveTypeTable) {
        Tick(dialog, type.control, anyClear);
    }
}

// The choices the dialog opens with: the stored ones, the /init text over them.
void LoadChoices(SetupDialogState& state) {
    LoadIntegrationOptions(state.options);
    if (!state.context->initOptionsText.empty()) {
        ApplyInitOptionsText(state.options, state.context->initOptionsText);
    }
}

// The whole of setup: the choices are stored first, so that a later failure
// of a writer does not lose them, then written into the system.
void ApplyChoices(SetupDialogState& state) {
    state.context->integrationApplied =
        ConfirmSetup(state.options, &state.context->programGroupPath, state.context->msiMode);
}

void OnInit(HWND dialog, SetupDialogState& state) {
    FillExplanation(dialog);
    LoadChoices(state);
    ShowOptions(dialog, state.options);
    SetForegroundWindow(dialog);
    if (state.context->icon) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.context->icon));
    }
    if (state.context->silent) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

void OnOk(HWND dialog, SetupDialogState& state) {
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ReadOptions(dialog, state.options);
    ApplyChoices(state);
    SetCursor(previous);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogHook(dialog, message, wParam, lParam, kSetupDialog)) {
        return TRUE;
    }
    auto* state = reinterpret_cast<SetupDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<SetupDialogState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        OnInit(dialog, *state);
        return TRUE;
    case WM_COMMAND:
        if (!state) {
            return FALSE;
        }
        switch (LOWORD(wParam)) {
        case IDC_SHELLEXT:
            UpdateShellControls(dialog);
            return TRUE;
        case IDC_ASSOCALL:
            ToggleAllTypes(dialog);
            return TRUE;
        case IDC_SETCONTEXTMENU:
            RunContextItemsDialog(dialog);
            return TRUE;
        case IDOK:
            OnOk(dialog, *state);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR RunSetupDialog(SetupDialogContext& context) {
    SetupDialogState state{&context, IntegrationOptions{}};
    if (context.windowless) {
        // What the dialog shows, it reads back unchanged when it presses OK
        // itself: the choices need no window to pass through.
        LoadChoices(state);
        ApplyChoices(state);
        return 1;
    }
    INT_PTR result =
        RunDialog(L"SETUPDLG", nullptr, SetupDialogProc, reinterpret_cast<LPARAM>(&state));
    // A dialog that could not be shown has written nothing: that is a cancel,
    // not a finished setup.
    return result == 1 ? 1 : 0;
}

} // namespace ozu
