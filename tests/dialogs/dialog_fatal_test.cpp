// A fatal error inside a dialog's handler ends the process with its code
// while the system's frames are still between the handler and RunDialog;
// nothing of the dialog is left to wait for.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "dialogs/dialog_hook.h"

namespace ozu {
namespace {

INT_PTR CALLBACK FailsWhenCreated(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG)
        TheErrorHandler().MemoryError();
    return FALSE;
}

INT_PTR CALLBACK OpensAFailingDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        PostMessageW(dialog, WM_APP, 0, 0); // handled once the dialog is shown
        return TRUE;
    }
    if (message == WM_APP)
        RunDialog(L"DONEDLG", dialog, FailsWhenCreated, 0);
    return FALSE;
}

TEST(DialogFatalDeathTest, FatalErrorInAHandlerEndsTheProcess) {
    EXPECT_EXIT(RunDialog(L"DONEDLG", nullptr, FailsWhenCreated, 0),
                ::testing::ExitedWithCode(OZU_EXIT_MEMORY_ERROR), "");
    EXPECT_EXIT(RunDialog(L"DONEDLG", nullptr, OpensAFailingDialog, 0),
                ::testing::ExitedWithCode(OZU_EXIT_MEMORY_ERROR), "");
}

} // namespace
} // namespace ozu
