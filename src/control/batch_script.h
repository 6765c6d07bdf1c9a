// The lines of the self-removal batch file "Uninstall_Ozu.Bat". Portable:
// the choice of how each path is written and the composition of the lines;
// writing them to disk is the uninstall procedure's job.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ozu {

// Each line (a group of lines for the removal attempts) holds at most this
// many characters with its terminator; a longer one is left out rather than
// cut, since a cut path names something else.
inline constexpr size_t kBatchLineCapacity = 1024;

// How often the batch file tries to delete the program before giving up.
inline constexpr int kBatchRemovalAttempts = 5;

// The command interpreter reads a batch file in the console's code page, not
// in the code page the program writes its texts in, so a path outside ASCII
// is written as its short (8.3) form when that is plain ASCII, else as
// itself when it converts exactly to the console's code page. Without such a
// form (none returned) the lines that need the path are left out.
// `shortForm` is the path's short form, or empty when it is unknown.
std::optional<std::u16string> ChooseBatchForm(std::u16string_view path,
                                              std::u16string_view shortForm,
                                              bool (*convertsExactly)(std::u16string_view));

bool IsPlainAscii(std::u16string_view text);

// The forms of the three paths the batch file names: the program (P), its
// folder (F) and the batch file itself (B).
struct BatchPathForms {
    std::optional<std::u16string> program;
    std::optional<std::u16string> folder;
    std::optional<std::u16string> batch;
};

// The batch file's lines in order, each ending with "\r\n": restart the
// program with /wait (so that this process has ended), up to five attempts
// at deleting the program and removing its folder, each after the first
// again after a /wait of the program, the warning for the user
// unless silent, and the deletion of the batch file itself. Lines that need
// a path without a form, or that would not fit, are left out.
std::vector<std::u16string> ComposeBatchLines(const BatchPathForms& forms, bool silent);

} // namespace ozu
