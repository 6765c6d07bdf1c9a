// File associations and the archiver's file classes.
#pragma once

#include <string>
#include <string_view>

#include "integration/options.h"

namespace ozu {

// Associates or releases every extension of every archive type.
void AssociateArchiveTypes(const IntegrationOptions& options);

// How one extension is to be handled: selected (associated) or not (given
// back); shellExt allows the new-archive entry, which only the family format
// and ZIP have. An all-false record gives the extension back.
struct ExtensionChoice {
    bool selected = false;
    bool shellExt = false;
    bool family = false; // the family's own format: volume extensions, template
    bool zip = false;
};

// Associates or releases one extension. The previous owner is recorded on the
// first take-over only and restored on release; an extension that another
// program took over since is never given back or associated anew.
void SetExtensionAssociation(std::u16string_view ext, ExtensionChoice choice);

// Writes the classes "Mivora", "Mivora.ZIP" and "Mivora.REV" and associates
// ".rev". False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterProgIds();

// Gives ".rev" back to the owner it had before setup, while it is ours.
void ReleaseRecoveryVolumes();

} // namespace ozu
