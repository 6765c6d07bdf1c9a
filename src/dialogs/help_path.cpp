#include "base/format.h"
#include "base/paths.h"
#include "base/text.h"
#include "dialogs/help.h"

namespace ozu {

std::u16string HelpTopicPath(std::u16string_view helpFile, std::u16string_view topic) {
    if (topic.empty()) {
        return Truncate(std::u16string(helpFile), kPathCapacity);
    }
    return FormatText(kPathCapacity, u"%s::/html/%s.htm", helpFile, topic);
}

} // namespace ozu
