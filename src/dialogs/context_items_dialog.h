// The context-menu items dialog "SETUPCONTEXTITEMS": which commands the shell
// extension puts into the context menu, and the file masks it always treats
// as archives. Reads and writes "Setup\MenuItems" directly.
#pragma once

#include <windows.h>

namespace ozu {

// Shows the dialog owned by `owner`; IDOK when the items were stored, IDCANCEL
// when the user cancelled, -1 when the dialog could not be shown.
INT_PTR RunContextItemsDialog(HWND owner);

} // namespace ozu
