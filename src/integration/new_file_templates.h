// The template files of the "New" menu's entries: an empty archive of the
// family format ("ozunew.dat") and of ZIP ("zipnew.dat"), beside the program.
#pragma once

#include <string>

namespace ozu {

// Where the template of the family format (true) or of ZIP lives.
std::u16string TemplatePath(bool family);

// Writes the template unless one of the right size is already there; a
// file that cannot be written is left out silently.
void EnsureTemplateFile(bool family);

} // namespace ozu
