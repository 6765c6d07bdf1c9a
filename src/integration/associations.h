// File associations and the archiver's file classes.
#pragma once

#include <string>
#include <string_view>

#include "integration/options.h"

namespace ozu {

// Associates or releases every extension of every archive type.
void AssociateArchiveTypes(const IntegrationOptions& options);

// Associates (selected) or releases one extension. The previous owner is
// recorded on the first take-over only and restored on release; an extension
// that another program took over since is never touched. shellExt allows the
// new-archive entry, which only the family format and ZIP have.
void SetExtensionAssociation(std::u16string_view ext, bool selected, bool shellExt, bool family,
                             bool zip);

// Writes the classes "Mivora", "Mivora.ZIP" and "Mivora.REV" and associates
// ".rev". False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterProgIds();

// Deletes the classes that RegisterProgIds writes and gives ".rev" up.
void UnregisterProgIds();

} // namespace ozu
