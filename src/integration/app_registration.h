// The archiver's application path ("App Paths") and its entry in the list of
// installed programs.
#pragma once

#include <cstddef>
#include <string>

namespace ozu {

inline constexpr int kProductVersionMajor = 6;
inline constexpr int kProductVersionMinor = 0;
inline constexpr int kProductVersionBuild = 0;

// Writes "App Paths\Mivora.exe" in both registry views and "exe32" in the
// machine settings root. False when the first write was refused with
// ERROR_ACCESS_DENIED (no administrator rights); nothing else is written then.
bool RegisterAppPath();

// Writes the uninstall entry "Mivora archiver".
void RegisterUninstallEntry();

// Appends the version and bitness to the name in text, e.g. "Mivora" becomes
// "Mivora 6.00 (32-bit)"; every append is cut to the capacity (terminator
// included).
void BuildDisplayName(std::u16string& text, size_t capacity = 2048);

// Deletes the application path and the uninstall entry, in both registry
// views, unless another installation registered them since.
void RemoveAppRegistration();

// Whether the uninstall entry is there and names this installation (its
// folder or its uninstall command); a missing entry or value names nobody.
bool UninstallEntryNamesThisInstallation();

// Deletes "exe32", which RegisterAppPath writes beside the application path.
// An installer package keeps the application path and the entry for its own
// removal, but this value is the archiver's: it goes in either case.
void RemoveArchiverPath();

} // namespace ozu
