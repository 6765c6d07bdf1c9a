#pragma once
// The sinks' work that more than one file of them shares: the registry's
// changes made, and what the deletion and the rename do to an entry checked
// through its handle (trusted_folder.h), made or planned. Only the sinks
// include this.

#include <windows.h>

#include <string_view>

#include "base/change.h"
#include "base/trusted_folder.h"

namespace ozu {

// Makes a change of the registry (ChangeKind::SetValue to DeleteTree).
LSTATUS ApplyRegistryChange(const Change& change);

struct CheckedEntryChanges {
    // What keeps the entry from going, before anything is tried: an entry
    // not held for changes, or read-only with other names. 0 when nothing.
    static DWORD Refusal(const CheckedEntry& entry);
    // Clears the read-only, hidden and system attributes and deletes the
    // entry (a folder only when it is empty); the handle is closed.
    static DWORD Delete(CheckedEntry& entry);
    // Moves the entry to `target` in the same folder, never over an existing
    // name; the handle stays open and now names the target.
    static DWORD Rename(CheckedEntry& entry, std::u16string_view target);
    static DWORD PlanDelete(CheckedEntry& entry);
    static DWORD PlanRename(CheckedEntry& entry, std::u16string_view target);
};

} // namespace ozu
