// An exception thrown by a dialog's handler cannot unwind through the system's
// frames: it must arrive where the dialog was started, with its exit code,
// after every dialog it passes through has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "base/error_handler.h"
#include "dialogs/dialog_hook.h"

namespace ozu {
namespace {

std::vector<HWND> g_dialogs; // every dialog the handlers saw created
bool g_ranOnAfterInner = false;

bool Created(HWND dialog, UINT message) {
    if (message != WM_INITDIALOG)
        return false;
    g_dialogs.push_back(dialog);
    PostMessageW(dialog, WM_APP, 0, 0); // handled once the dialog is shown
    return true;
}

INT_PTR ThrowsWhenCreated(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (Created(dialog, message))
        throw OZU_EXIT{OZU_EXIT_SEVERE_ERROR};
    return FALSE;
}

INT_PTR ThrowsWhileShown(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (Created(dialog, message))
        return TRUE;
    if (message == WM_APP)
        throw std::bad_alloc();
    return FALSE;
}

INT_PTR OpensAFailingDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (Created(dialog, message))
        return TRUE;
    if (message == WM_APP) {
        RunDialog(L"DONEDLG", dialog, GuardedDialogProc<ThrowsWhenCreated>, 0);
        g_ranOnAfterInner = true;
    }
    return FALSE;
}

INT_PTR EndsWithSeven(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (Created(dialog, message))
        return TRUE;
    if (message == WM_APP)
        EndDialog(dialog, 7);
    return FALSE;
}

TEST(DialogGuard, ExceptionArrivesWithItsCodeAfterItsDialogsHaveEnded) {
    const struct {
        DLGPROC procedure;
        size_t dialogs;
        int code;
    } cases[] = {
        {GuardedDialogProc<ThrowsWhenCreated>, 1, OZU_EXIT_SEVERE_ERROR},
        {GuardedDialogProc<ThrowsWhileShown>, 1, OZU_EXIT_MEMORY_ERROR},
        {GuardedDialogProc<OpensAFailingDialog>, 2, OZU_EXIT_SEVERE_ERROR},
    };
    for (const auto& c : cases) {
        g_dialogs.clear();
        int code = -1;
        try {
            RunDialog(L"DONEDLG", nullptr, c.procedure, 0);
        } catch (const OZU_EXIT& exit) {
            code = exit.code;
        }
        EXPECT_EQ(code, c.code);
        ASSERT_EQ(g_dialogs.size(), c.dialogs);
        for (HWND dialog : g_dialogs)
            EXPECT_FALSE(IsWindow(dialog));
    }
    EXPECT_FALSE(g_ranOnAfterInner) << "the outer handler went on after the inner failure";
    // Nothing of a failure is left over for the next dialog.
    EXPECT_EQ(RunDialog(L"DONEDLG", nullptr, GuardedDialogProc<EndsWithSeven>, 0), 7);
}

} // namespace
} // namespace ozu
