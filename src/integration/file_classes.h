// The archiver's file classes: "Mivora" for the family format, "Mivora.ZIP"
// and "Mivora.REV" for recovery volumes, each a name, an open command and an
// icon, all of it the archiver's.
#pragma once

#include <windows.h>

namespace ozu {

enum class FileClass { Archive, Zip, Recovery };

// Writes one class, naming the archiver's program; an icon already there (from
// a theme, say) stays. The status of its first write: ERROR_ACCESS_DENIED
// without administrator rights, and then nothing more was written.
LSTATUS WriteFileClass(FileClass which);
// Deletes the three classes whole.
void UnregisterProgIds();

} // namespace ozu
