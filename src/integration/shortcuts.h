// The archiver's shortcuts: desktop, start menu and the "Mivora" program
// groups of the current user and of all users.
#pragma once

#include <string>
#include <string_view>

namespace ozu {

struct IntegrationOptions;

// Creates or removes every shortcut as the options say. When groupPath is
// given it receives the path of the program group that was made (the
// all-users group when both are made). An empty iconFile means no icon.
// Returns how many program groups that were to go are still there.
unsigned UpdateShortcuts(const IntegrationOptions& options, std::u16string* groupPath,
                         std::u16string_view iconFile);

} // namespace ozu
