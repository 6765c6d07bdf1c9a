// What the uninstalling program cannot delete while it runs (itself, its
// folder, what is left for the restart) goes through a batch file that the
// command interpreter runs once the program has ended.
#pragma once

#include <string>
#include <string_view>

namespace ozu {

// The self-removal batch file, in the user's temporary folder.
inline constexpr std::u16string_view kBatchFileName = u"Uninstall_Ozu.Bat";

// Writes the batch file for `programPath` and its folder (as `folderText`
// names it) and starts the interpreter on it; `silent` leaves out the
// warning for the user. False when the file could not be written or the
// interpreter not started.
bool StartSelfRemoval(const std::u16string& programPath, const std::u16string& folderText,
                      bool silent);

// Appends one line of the batch file in the console's (OEM) code page, which
// is what the command interpreter reads batch files in. A line with a
// character that code page can't hold exactly is not written (false).
bool AppendBatchLine(std::string& bytes, std::u16string_view line);

} // namespace ozu
