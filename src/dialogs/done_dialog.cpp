#include "dialogs/done_dialog.h"

#include <shellapi.h>

#include <string>

#include "base/paths.h"
#include "base/win32_text.h"
#include "dialogs/dialog_hook.h"
#include "dialogs/help.h"
#include "localization/localized_strings.h"
#include "res/resource.h"

namespace ozu {
namespace {

const DialogDescription kDoneDialog{"DONEDLG", u""};

std::u16string CurrentFolder() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::u16string folder(size, u'\0');
    DWORD length = GetCurrentDirectoryW(size, W(folder.data()));
    folder.resize(length < size ? length : 0);
    return folder;
}

void Open(HWND dialog, const std::u16string& target) {
    ShellExecuteW(dialog, L"open", W(target), nullptr, nullptr, SW_SHOWNORMAL);
}

void OnInit(HWND dialog, const DoneDialogContext& context) {
    if (context.icon) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(context.icon));
    }
    if (context.boldFont) {
        SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT,
                            reinterpret_cast<WPARAM>(context.boldFont), TRUE);
    }
    KeepLeftToRight(GetDlgItem(dialog, IDC_INSTFOLDER));
    SetDlgItemTextW(dialog, IDC_INSTFOLDER, W(CurrentFolder()));
    if (context.silent) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogHook(dialog, message, wParam, lParam, kDoneDialog)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, *reinterpret_cast<const DoneDialogContext*>(lParam));
        // OK, not the folder box (the first stop), takes the keyboard: Enter
        // closes the dialog and the folder is not shown selected.
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_VIEWHELP:
            ShowHelpTopic(u"");
            return TRUE;
        case IDC_VIEWLICENSE:
            Open(dialog, FindInLanguageFolder(JoinPath(CurrentFolder(), u"license.txt")));
            return TRUE;
        case IDC_HOMEPAGE:
            Open(dialog, GetLocalizedString(IDS_HOMEURL));
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void RunDoneDialog(const DoneDialogContext& context) {
    RunDialog(L"DONEDLG", nullptr, DoneDialogProc,
              reinterpret_cast<LPARAM>(const_cast<DoneDialogContext*>(&context)));
}

} // namespace ozu
