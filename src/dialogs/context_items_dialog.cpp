#include "dialogs/context_items_dialog.h"

#include <string>

#include "base/win32_text.h"
#include "dialogs/dialog_hook.h"
#include "integration/options.h"
#include "res/resource.h"
#include "settings/settings_store.h"

namespace ozu {
namespace {

const DialogDescription kContextItemsDialog{"SETUPCONTEXTITEMS", u"HELPContextItems"};
constexpr RegLocation kMenuItems = RegLocation::Settings(RegScope::User, kMenuItemsKey);

void OnInit(HWND dialog) {
    for (const ContextMenuItem& item : ContextMenuItemTable) {
        bool ticked =
            ReadRegDword(kMenuItems, item.valueName, item.defaultValue, RegistryView::Default) != 0;
        CheckDlgButton(dialog, item.control, ticked ? BST_CHECKED : BST_UNCHECKED);
    }
    std::u16string masks;
    ReadRegString(kMenuItems, kAlwaysArcValue, masks, kAlwaysArcDefault, kAlwaysArcCapacity,
                  RegistryView::Default);
    HWND edit = GetDlgItem(dialog, IDC_CONTEXTALWAYSARC);
    KeepLeftToRight(edit);
    // The stored text holds at most 1023 characters; so does what is typed.
    SendMessageW(edit, EM_LIMITTEXT, kAlwaysArcCapacity - 1, 0);
    SetWindowTextW(edit, W(masks));
}

void OnOk(HWND dialog) {
    for (const ContextMenuItem& item : ContextMenuItemTable) {
        bool ticked = IsDlgButtonChecked(dialog, item.control) == BST_CHECKED;
        WriteRegDword(kMenuItems, item.valueName, ticked ? 1 : 0, RegistryView::Default);
    }
    HWND edit = GetDlgItem(dialog, IDC_CONTEXTALWAYSARC);
    std::u16string masks(kAlwaysArcCapacity, u'\0');
    int length = GetWindowTextW(edit, W(masks.data()), static_cast<int>(kAlwaysArcCapacity));
    masks.resize(static_cast<size_t>(length > 0 ? length : 0));
    WriteRegString(kMenuItems, kAlwaysArcValue, masks, RegistryView::Default);
    FlushSettings();
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogHook(dialog, message, wParam, lParam, kContextItemsDialog)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR RunContextItemsDialog(HWND owner) {
    return RunDialog(L"SETUPCONTEXTITEMS", owner, ContextItemsDialogProc, 0);
}

} // namespace ozu
