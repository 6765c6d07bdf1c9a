#pragma once
// The files and folders as a planning run (/whatif) would have left them: the
// planning sink (change_sink.h) keeps here what it would remove or make, and
// the file system's reads ask here first, so that later steps see what
// earlier ones would have changed. A real run plans nothing, and every read
// goes to the disk. Portable: the host build checks it under the sanitizers.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ozu {

// The attributes of a path the plan removes (the file system's "no
// attributes").
inline constexpr uint32_t kPlannedGone = 0xFFFFFFFFu;

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
