#include "integration/integration.h"

#include <windows.h>
#include <shlobj.h>

#include "base/change.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "integration/app_registration.h"
#include "integration/associations.h"
#include "integration/file_classes.h"
#include "integration/owner_record.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "settings/settings_store.h"

namespace ozu {

bool ApplyIntegration(const IntegrationOptions& options, std::u16string* programGroupPath) {
    if (!RegisterAppPath()) {
        return false;
    }
    RegisterShellExtension(ShellRegistration::Write, options);
    AssociateArchiveTypes(options);
    if (!RegisterProgIds()) {
        return false;
    }
    // A theme may give the shortcuts an icon of its own.
    std::u16string icon;
    ReadRegString(RegLocation::Settings(RegScope::User, u"Interface\\Themes"), u"ShellExtIcon",
                  icon, u"", kPathCapacity, RegistryView::Default);
    if (!icon.empty() && !PathExists(icon)) {
        icon.clear();
    }
    UpdateShortcuts(options, programGroupPath, icon);
    return true;
}

bool ConfirmSetup(const IntegrationOptions& options, std::u16string* programGroupPath,
                  bool packageMode) {
    StoreIntegrationOptions(options);
    const bool applied = ApplyIntegration(options, programGroupPath);
    // A new setup shows the "remember" notice of the archiver again.
    DeleteRegValue(RegLocation::Settings(RegScope::User, u"Interface\\Misc"), u"RemShown",
                   RegistryView::Default);
    if (!packageMode) {
        RegisterUninstallEntry();
    }
    // ".ace" is no longer offered; give it back to its previous owner.
    SetExtensionAssociation(u".ace", {});
    return applied;
}

namespace {

// The archiver's file class names the installation that registered it last.
// When that is another copy, the shared integration (types, shell extension,
// shortcuts, settings and the records of previous owners) is that copy's,
// and its own uninstall gives it back.
bool AnotherInstallationIsRegistered() {
    std::u16string command;
    ReadRegString(RegLocation::Class(u"Mivora\\shell\\open\\command"), u"", command, u"",
                  kPathCapacity, RegistryView::Default);
    if (NamesThisInstallation(command)) {
        return false;
    }
    LogRecord("left-alone", {{"what", u"integration"}, {"names", LogData(command)}});
    return true;
}

} // namespace

unsigned RemoveIntegration(bool packageMode) {
    if (AnotherInstallationIsRegistered()) {
        if (!packageMode) {
            RemoveAppRegistration(); // what still names this folder goes
        }
        return 0;
    }
    const IntegrationOptions nothing{};
    const FailureWatch watch;
    AssociateArchiveTypes(nothing);
    ReleaseRecoveryVolumes();
    // A type that could not be given back keeps its record, which lives in
    // the settings roots: they stay for the next uninstall to finish.
    const bool recordsKept = watch.Failed();
    // Each record went with its type; a portable file's run leaves the
    // machine-wide keys themselves to go here.
    DeleteEmptyMachineRecords();
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    RemoveArchiverPath();
    RegisterShellExtension(ShellRegistration::Remove, nothing);
    const unsigned groupsLeft = UpdateShortcuts(nothing, nullptr, u"");
    UnregisterProgIds();
    if (!recordsKept) {
        // What else the archiver keeps for the whole machine, and the
        // backups of the previous owners, go with the settings roots.
        DeleteRegTree(RegLocation::Settings(RegScope::Machine, u""), RegistryView::Default);
        DeleteRegTree(RegLocation::Settings(RegScope::User, u""), RegistryView::Default);
    }
    if (!packageMode) {
        RemoveAppRegistration();
    }
    return groupsLeft;
}

} // namespace ozu
