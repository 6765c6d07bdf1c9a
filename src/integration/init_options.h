// The initial choices handed to setup with /init, for example "A1101D1P0".
#pragma once

#include <string_view>

#include "integration/options.h"

namespace ozu {

// Reads the text as pairs of a letter and a value character and sets the
// fields they name: A with up to 20 digits sets assoc entries in order; C, D,
// I, M, P and S set cascadedMenu, desktop, menuIcons, startMenu, programs and
// shellExt. "1" sets a field, any other character clears it. Other letters are
// skipped with their value; a letter without a value ends the reading.
void ApplyInitOptionsText(IntegrationOptions& options, std::u16string_view text);

} // namespace ozu
