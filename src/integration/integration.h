// The two halves of the archiver's integration side by side: what setup
// writes when the user confirms the setup dialog, and what uninstall takes
// away again. Both run the same writers; removal runs them with every choice
// off and then deletes what is wholly ours.
#pragma once

#include <string>

#include "integration/options.h"

namespace ozu {

// Application path, shell extension, associations of all 17 types, file
// classes and shortcuts, in that order. Returns false, having written nothing
// further, when the registry refused the first application-path or
// file-class write with ERROR_ACCESS_DENIED (no administrator rights).
// programGroupPath (may be null) receives the program group folder.
bool ApplyIntegration(const IntegrationOptions& options, std::u16string* programGroupPath);

// What the setup dialog's OK does: stores the choices, applies them, shows
// the archiver's "remember" notice again, writes the uninstall entry (unless
// a package installer owns it) and gives ".ace" back. Returns what
// ApplyIntegration returned.
bool ConfirmSetup(const IntegrationOptions& options, std::u16string* programGroupPath,
                  bool packageMode);

// Removes everything setup wrote to the registry and the shell: associations,
// shell extension, shortcuts and program groups, file classes, all per-user
// settings, and (unless a package installer owns them) the uninstall entry
// and the application path. Returns how many program groups stay.
unsigned RemoveIntegration(bool packageMode);

} // namespace ozu
