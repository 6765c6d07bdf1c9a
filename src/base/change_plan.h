#pragma once
// A planning run (/whatif) takes every step of a setup or an uninstall and
// decides each as the real run would, but changes nothing: every writer of
// the program (registry, files, folders, shortcuts, the batch file and its
// interpreter) asks Planning() before it acts, and then only logs what it
// would do. Later steps read what earlier ones would have changed, so the
// plan follows the real run: the files and folders it would remove or make
// are kept here, the registry's planned changes in the settings layer.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ozu {

// True for the whole of a planning run.
bool Planning();
void StartPlanning();

// The outcome word of a change in the run log: "failed" when it failed (or,
// while planning, would fail), else "planned" while planning and "done".
std::u16string_view ChangeResult(bool succeeded);

// A path the plan would remove, or make with these attributes.
void PlanGone(std::u16string_view path);
void PlanMade(std::u16string_view path, uint32_t attributes);
// The attributes the plan gives a path (0xFFFFFFFF: gone); none when the
// plan has not touched it and the disk answers.
std::optional<uint32_t> PlannedAttributes(std::u16string_view path);
// Whether the plan makes (or moves) anything below the folder, which the
// disk does not show yet.
bool PlanMakesSomethingBelow(std::u16string_view folder);

} // namespace ozu
