// The application path, by which the system starts "Mivora.exe" by name, and
// the entry in the list of installed programs, with this program as the
// archiver's uninstaller.

#include "integration/app_registration.h"

#include "base/file_system.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/settings_store.h"

#include <windows.h>

namespace ozu {

namespace {

constexpr std::u16string_view kAppPathKey =
    u"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
constexpr std::u16string_view kUninstallKey =
    u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";
constexpr std::u16string_view kArchiverExe = u"Mivora.exe";
constexpr std::u16string_view kPublisher = u"Kalvuna GmbH";
// The version parts of the display name are formatted in this many characters.
constexpr size_t kVersionTextCapacity = 100;

// Appends as much of addition as the capacity (terminator included) leaves room for.
void AppendCut(std::u16string& text, std::u16string_view addition, size_t capacity) {
    if (capacity == 0 || text.size() >= capacity - 1) {
        return;
    }
    text.append(addition.substr(0, capacity - 1 - text.size()));
}

// The folder of a full path, without the separator before the name; a drive
// root keeps its backslash ("D:\").
std::u16string FolderWithoutSeparator(std::u16string_view path) {
    std::u16string folder(path);
    StripNamePart(folder);
    return folder;
}

// The bytes of the files in a folder's tree. Links are not followed: what
// they point to is not part of the installation.
uint64_t TreeBytes(const std::u16string& folder) {
    uint64_t bytes = 0;
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kPathCapacity));
    FoundEntry entry;
    while (scan.Next(entry)) {
        if (entry.isReparsePoint) {
            continue;
        }
        bytes += entry.isDirectory ? TreeBytes(entry.name) : entry.size;
    }
    return bytes;
}

} // namespace

bool RegisterAppPath() {
    std::u16string exe = ProgramPath();
    ReplaceNamePart(exe, kArchiverExe, kPathCapacity);
    // The first machine-wide write tells whether we have administrator rights.
    if (WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, u"", exe) == ERROR_ACCESS_DENIED) {
        return false;
    }
    WriteRegString(HKEY_LOCAL_MACHINE, u"", u"exe32", exe);
    const std::u16string folder = FolderWithoutSeparator(exe);
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, u"Path", folder);
    // 64-bit programs look in the 64-bit view; on 32-bit Windows these two
    // writes simply repeat the ones above.
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, u"", exe, RegistryView::View64);
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, u"Path", folder, RegistryView::View64);
    return true;
}

void BuildDisplayName(std::u16string& text, size_t capacity) {
    if (!text.empty()) {
        AppendCut(text, u" ", capacity);
    }
    AppendCut(
        text,
        FormatText(kVersionTextCapacity, u"%d.%02d", kProductVersionMajor, kProductVersionMinor),
        capacity);
    AppendCut(text, FormatText(kVersionTextCapacity, u" (%s)", GetLocalizedString(IDS_32BIT)),
              capacity);
}

void RegisterUninstallEntry() {
    std::u16string displayName = u"Mivora";
    BuildDisplayName(displayName, kPathCapacity);
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayName", displayName);
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayVersion",
                   FormatText(kVersionTextCapacity, u"%d.%02d.%d", kProductVersionMajor,
                              kProductVersionMinor, kProductVersionBuild));
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"VersionMajor", kProductVersionMajor);
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"VersionMinor", kProductVersionMinor);
    const std::u16string program = ProgramPath();
    // Programs and Features and deployment tools run these as command lines:
    // unquoted, a path with a space would let a program planted at a prefix
    // of it ("C:\Program.exe") run with the uninstaller's rights.
    const std::u16string command = u"\"" + program + u"\"";
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"UninstallString", command);
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"QuietUninstallString",
                   command + u" /S /quiet");

    const std::u16string installFolder = FolderPartOf(program, kPathCapacity);
    // Windows no longer computes the size shown in the list; in KiB, rounded up.
    const uint64_t kib = (TreeBytes(installFolder) + 1023) / 1024;
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"EstimatedSize",
                  kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kib));
    // An icon the installer set, naming a file that exists, is kept.
    std::u16string icon;
    ReadRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayIcon", icon, u"", kPathCapacity);
    if (icon.empty() || !PathExists(icon)) {
        WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayIcon",
                       JoinPath(installFolder, kArchiverExe, kPathCapacity));
    }
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"InstallLocation", installFolder);
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"NoModify", 1);
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"NoRepair", 1);
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, u"Language", 0);
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, u"Publisher", kPublisher);
}

namespace {

// The registered value, read in the view chosen.
std::u16string RegisteredValue(std::u16string_view key, std::u16string_view name,
                               RegistryView view = RegistryView::Default) {
    std::u16string value;
    ReadRegString(HKEY_LOCAL_MACHINE, key, name, value, u"", kPathCapacity, view);
    return value;
}

// A key that another copy of the archiver registered since names that copy's
// folder: it stays, so that copy can still be started and removed.
bool BelongsToAnother(std::u16string_view what, std::u16string_view value) {
    if (NamesThisInstallation(value))
        return false;
    LogRecord("left-alone", {{"what", what}, {"names", LogData(value)}});
    return true;
}

} // namespace

void RemoveAppRegistration() {
    if (!BelongsToAnother(u"uninstall-entry", RegisteredValue(kUninstallKey, u"InstallLocation")) &&
        !BelongsToAnother(u"uninstall-entry", RegisteredValue(kUninstallKey, u"UninstallString")))
        DeleteRegKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    if (!BelongsToAnother(u"app-path", RegisteredValue(kAppPathKey, u"")))
        DeleteRegKey(HKEY_LOCAL_MACHINE, kAppPathKey);
    // RegisterAppPath also wrote the key in the 64-bit view (on 32-bit
    // Windows the same key, gone by now).
    if (!BelongsToAnother(u"app-path-64", RegisteredValue(kAppPathKey, u"", RegistryView::View64)))
        DeleteRegKey(HKEY_LOCAL_MACHINE, kAppPathKey, RegistryView::View64);
}

} // namespace ozu
