// The help viewer: the archiver's help file "mivora.chm" shown through the
// system's HTML help control. A missing help file or help control is no
// error; the request then simply shows nothing.
#pragma once

#include <string>
#include <string_view>

namespace ozu {

inline constexpr std::u16string_view kHelpFileName = u"mivora.chm";

// What is handed to the help control: "<file>::/html/<topic>.htm", or the file
// alone for its contents (empty topic).
std::u16string HelpTopicPath(std::u16string_view helpFile, std::u16string_view topic);

#ifdef _WIN32
// Opens the topic of the help file beside the program (or its copy in the
// language folder); an empty topic opens the contents.
void ShowHelpTopic(std::u16string_view topic);
#endif

} // namespace ozu
