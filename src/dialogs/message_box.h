// Every message box of the program goes through ShowMessageBox, so that a
// right-to-left language gets right-aligned, right-to-left boxes everywhere
// and tests can see and answer the boxes without a screen.
#pragma once

#include <windows.h>

#include <string_view>

namespace ozu {

// MessageBoxW with the given style; adds MB_RIGHT | MB_RTLREADING while the
// language is right-to-left. Returns what the box returns (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style);

// With `hidden`, no box is shown at all (a run that no one may see): each is
// logged with the answer it takes, the one that changes least (No, Cancel,
// or OK for a notice).
void HideMessageBoxes(bool hidden);

// Test seam: while a hook is set, ShowMessageBox calls it instead of showing a
// box and returns its answer. The hook receives the final style (right-to-left
// flags included). Returns the hook that was set before; nullptr restores the
// real boxes.
using MessageBoxHook = int (*)(HWND owner, std::u16string_view text, std::u16string_view caption,
                               UINT style);
MessageBoxHook SetMessageBoxHookForTesting(MessageBoxHook hook);

} // namespace ozu
