// Uninstall mode: gives every archive type back to its previous owner,
// removes the shell integration and the settings, deletes the installed files
// named in "Uninstall.lst", and hands the removal of the program itself and
// of its folder to a batch file that runs after the program has ended.
#pragma once

#include <string>
#include <string_view>

#include "control/run_report.h"

namespace ozu {

// The installation's list of installed files, in the program folder.
inline constexpr std::u16string_view kListFileName = u"Uninstall.lst";
// The program folder is scheduled for removal at restart only under this name.
inline constexpr std::u16string_view kProgramFolderName = u"Mivora";

// The whole procedure, and how it ended: cancelled (No), failed (no list file,
// no batch file or no interpreter), done, or done with a restart needed.
// `afterAnotherRun`: the run waited for another setup or uninstall to end,
// which may have removed this installation already; then it ends as done at
// once, asking and showing nothing.
RunReport RunUninstall(bool afterAnotherRun = false);

} // namespace ozu
