// The application path, by which the system starts "Mivora.exe" by name, and
// the entry in the list of installed programs, with this program as the
// archiver's uninstaller.

#include "integration/app_registration.h"

#include <windows.h>

#include "base/file_system.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/registry_rows.h"

namespace ozu {

namespace {

constexpr RegLocation kAppPathKey = RegLocation::Absolute(
    RegScope::Machine, u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe");
constexpr RegLocation kUninstallKey = RegLocation::Absolute(
    RegScope::Machine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver");
constexpr RegLocation kMachineSettings = RegLocation::Settings(RegScope::Machine, u"");
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

// What the application path's rows are made of.
struct AppPathFacts {
    std::u16string exe;    // "Mivora.exe" beside this program
    std::u16string folder; // its folder, without the final separator
};

RegData ExeOf(const AppPathFacts& facts) {
    return TextData(facts.exe);
}
RegData FolderOf(const AppPathFacts& facts) {
    return TextData(facts.folder);
}

// Both views hold a copy: 64-bit programs look in the 64-bit one (on 32-bit
// Windows the second table repeats the first). Each copy is removed on its
// own, as it may have become another installation's.
constexpr RegRow<AppPathFacts> kAppPathRows[] = {
    {kAppPathKey, u"", RegKind::Text, RegRemoval::Key, RegistryView::Default, ExeOf},
    {kAppPathKey, u"Path", RegKind::Text, RegRemoval::Key, RegistryView::Default, FolderOf},
};
constexpr RegRow<AppPathFacts> kAppPath64Rows[] = {
    {kAppPathKey, u"", RegKind::Text, RegRemoval::Key, RegistryView::View64, ExeOf},
    {kAppPathKey, u"Path", RegKind::Text, RegRemoval::Key, RegistryView::View64, FolderOf},
};
// The archiver's own record of where it is, in the machine settings root.
constexpr RegRow<AppPathFacts> kArchiverPathRows[] = {
    {kMachineSettings, u"exe32", RegKind::Text, RegRemoval::Value, RegistryView::Default, ExeOf},
};

AppPathFacts AppPathFactsNow() {
    AppPathFacts facts{ProgramPath(), {}};
    ReplaceNamePart(facts.exe, kArchiverExe, kPathCapacity);
    facts.folder = FolderWithoutSeparator(facts.exe);
    return facts;
}

} // namespace

bool RegisterAppPath() {
    const AppPathFacts facts = AppPathFactsNow();
    // The first machine-wide write tells whether we have administrator rights.
    if (Write(kAppPathRows, facts) == ERROR_ACCESS_DENIED) {
        return false;
    }
    Write(kArchiverPathRows, facts);
    Write(kAppPath64Rows, facts);
    return true;
}

void RemoveArchiverPath() {
    Remove(kArchiverPathRows);
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

namespace {

// What the uninstall entry's rows are made of.
struct EntryFacts {
    std::u16string displayName;
    std::u16string command;       // this program, quoted
    std::u16string installFolder; // with its final separator
    uint64_t kib = 0;
    bool iconKept = false;
};

RegData VersionText(const EntryFacts&) {
    return TextData(FormatText(kVersionTextCapacity, u"%d.%02d.%d", kProductVersionMajor,
                               kProductVersionMinor, kProductVersionBuild));
}
RegData EstimatedSize(const EntryFacts& facts) {
    return NumberData(facts.kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(facts.kib));
}
RegData DisplayIcon(const EntryFacts& facts) {
    return facts.iconKept ? SkipData()
                          : TextData(JoinPath(facts.installFolder, kArchiverExe, kPathCapacity));
}

// Programs and Features and deployment tools run the two commands as command
// lines: unquoted, a path with a space would let a program planted at a
// prefix of it ("C:\Program.exe") run with the uninstaller's rights.
constexpr RegRow<EntryFacts> kUninstallEntryRows[] = {
    {kUninstallKey, u"DisplayName", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts& f) { return TextData(f.displayName); }},
    {kUninstallKey, u"DisplayVersion", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     VersionText},
    {kUninstallKey, u"VersionMajor", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return NumberData(kProductVersionMajor); }},
    {kUninstallKey, u"VersionMinor", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return NumberData(kProductVersionMinor); }},
    {kUninstallKey, u"UninstallString", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts& f) { return TextData(f.command); }},
    {kUninstallKey, u"QuietUninstallString", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts& f) { return TextData(f.command + u" /S /quiet"); }},
    // Windows no longer computes the size shown in the list; in KiB, rounded up.
    {kUninstallKey, u"EstimatedSize", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     EstimatedSize},
    {kUninstallKey, u"DisplayIcon", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     DisplayIcon},
    {kUninstallKey, u"InstallLocation", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts& f) { return TextData(f.installFolder); }},
    {kUninstallKey, u"NoModify", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return NumberData(1); }},
    {kUninstallKey, u"NoRepair", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return NumberData(1); }},
    {kUninstallKey, u"Language", RegKind::Number, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return NumberData(0); }},
    {kUninstallKey, u"Publisher", RegKind::Text, RegRemoval::Key, RegistryView::Default,
     [](const EntryFacts&) { return TextData(std::u16string(kPublisher)); }},
};

EntryFacts EntryFactsNow() {
    EntryFacts facts;
    facts.displayName = u"Mivora";
    BuildDisplayName(facts.displayName, kPathCapacity);
    const std::u16string program = ProgramPath();
    facts.command = u"\"" + program + u"\"";
    facts.installFolder = FolderPartOf(program, kPathCapacity);
    facts.kib = (TreeBytes(facts.installFolder) + 1023) / 1024;
    // An icon the installer set, naming a file that exists, is kept.
    std::u16string icon;
    ReadRegString(kUninstallKey, u"DisplayIcon", icon, u"", kPathCapacity, RegistryView::Default);
    facts.iconKept = !icon.empty() && PathExists(icon);
    return facts;
}

} // namespace

void RegisterUninstallEntry() {
    Write(kUninstallEntryRows, EntryFactsNow());
}

namespace {

// The registered value, read in the view chosen.
std::u16string RegisteredValue(const RegLocation& key, std::u16string_view name,
                               RegistryView view) {
    std::u16string value;
    ReadRegString(key, name, value, u"", kPathCapacity, view);
    return value;
}

// A key that another copy of the archiver registered since names that copy's
// folder: it stays, so that copy can still be started and removed.
bool BelongsToAnother(std::u16string_view what, std::u16string_view value) {
    if (NamesThisInstallation(value)) {
        return false;
    }
    LogRecord("left-alone", {{"what", what}, {"names", LogData(value)}});
    return true;
}

} // namespace

bool UninstallEntryNamesThisInstallation() {
    for (std::u16string_view name : {u"InstallLocation", u"UninstallString"}) {
        const std::u16string value = RegisteredValue(kUninstallKey, name, RegistryView::Default);
        if (!value.empty() && NamesThisInstallation(value)) {
            return true;
        }
    }
    return false;
}

void RemoveAppRegistration() {
    if (!BelongsToAnother(u"uninstall-entry", RegisteredValue(kUninstallKey, u"InstallLocation",
                                                              RegistryView::Default)) &&
        !BelongsToAnother(u"uninstall-entry", RegisteredValue(kUninstallKey, u"UninstallString",
                                                              RegistryView::Default))) {
        Remove(kUninstallEntryRows);
    }
    if (!BelongsToAnother(u"app-path", RegisteredValue(kAppPathKey, u"", RegistryView::Default))) {
        Remove(kAppPathRows);
    }
    // On 32-bit Windows the same key, gone by now.
    if (!BelongsToAnother(u"app-path-64",
                          RegisteredValue(kAppPathKey, u"", RegistryView::View64))) {
        Remove(kAppPath64Rows);
    }
}

} // namespace ozu
