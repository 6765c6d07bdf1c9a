#include "integration/associations.h"

#include "base/file_system.h"
#include "base/paths.h"
#include "integration/app_registration.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "settings/settings_store.h"

namespace ozu {

bool ApplyIntegration(const IntegrationOptions& options, std::u16string* programGroupPath) {
    if (!RegisterAppPath())
        return false;
    RegisterShellExtension(false, options);
    AssociateArchiveTypes(options);
    if (!RegisterProgIds())
        return false;
    // A theme may give the shortcuts an icon of its own.
    std::u16string icon;
    ReadSettingString(u"Interface\\Themes", u"ShellExtIcon", icon, u"", kPathCapacity);
    if (!icon.empty() && !PathExists(icon))
        icon.clear();
    UpdateShortcuts(options, programGroupPath, icon);
    return true;
}

} // namespace ozu
