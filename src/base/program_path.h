#pragma once
// The program's own path, from which every "file beside the program" is
// derived. Tests point it at a staging folder.

#include <string>
#include <string_view>

namespace ozu {

// Full path of the running executable (GetModuleFileNameW), or what a test set.
std::u16string ProgramPath();
// The folder of ProgramPath(), without a trailing separator (a drive root
// keeps its backslash).
std::u16string ProgramFolder();
// ProgramPath() with its name part replaced by name.
std::u16string FileBesideProgram(std::u16string_view name);

// Makes ProgramPath() answer path; an empty path restores the real one.
void SetProgramPathForTesting(std::u16string path);

} // namespace ozu
