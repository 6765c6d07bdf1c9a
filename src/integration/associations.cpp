#include "integration/associations.h"

#include <windows.h>
#include <shlobj.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "base/scoped_handle.h"
#include "base/system_text.h"
#include "base/text.h"
#include "base/trusted_folder.h"
#include "base/win32_text.h"
#include "integration/extension_steps.h"
#include "integration/owner_record.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/registry_rows.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

// Setup owns .o00 to .o29; release covers .o00 to .o99, which older versions
// of the archiver may have taken.
constexpr unsigned kVolumesTaken = 30;
constexpr unsigned kVolumesReleased = 100;
constexpr std::u16string_view kRevExtension = u".rev";

// An empty archive of the family format: the signature, a main archive header
// and an end-of-archive header, each beginning with its CRC32.
constexpr std::array<uint8_t, 24> kOzuTemplate{0x4F, 0x7A, 0x75, 0x21, 0x1A, 0x07, 0x01, 0x00,
                                               0xC1, 0xDF, 0x5F, 0x56, 0x03, 0x01, 0x04, 0x00,
                                               0x1D, 0x77, 0x56, 0x51, 0x03, 0x05, 0x04, 0x00};
// The end-of-central-directory record of an empty ZIP archive.
constexpr std::array<uint8_t, 22> kZipTemplate{0x50, 0x4B, 0x05, 0x06};

// The classes' keys and their values, in the one view they are kept in.
std::u16string ReadClassString(std::u16string_view key, std::u16string_view name, size_t capacity,
                               bool* found = nullptr) {
    std::u16string text;
    const bool ok =
        ReadRegString(RegLocation::Class(key), name, text, u"", capacity, RegistryView::Default);
    if (found) {
        *found = ok;
    }
    return text;
}

LSTATUS WriteClassString(std::u16string_view key, std::u16string_view name,
                         std::u16string_view text) {
    return WriteRegString(RegLocation::Class(key), name, text, RegistryView::Default);
}

bool ClassKeyExists(std::u16string_view key) {
    return RegKeyExists(RegLocation::Class(key), RegistryView::Default);
}

bool ClassKeyHasValues(std::u16string_view key) {
    return RegKeyHasValues(RegLocation::Class(key), RegistryView::Default);
}

void DeleteClassValue(std::u16string_view key, std::u16string_view name) {
    DeleteRegValue(RegLocation::Class(key), name, RegistryView::Default);
}

void DeleteClassKey(std::u16string_view key) {
    DeleteRegKey(RegLocation::Class(key), RegistryView::Default);
}

bool SetClass(std::u16string_view ext, std::u16string_view cls) {
    return WriteClassString(ext, u"", cls) == ERROR_SUCCESS;
}

// An extension's key goes once nothing is left in it: no value, and (which
// the deletion itself tests) no subkey.
void DeleteClassKeyIfEmpty(std::u16string_view ext) {
    if (ClassKeyExists(ext) && !ClassKeyHasValues(ext)) {
        DeleteClassKey(ext);
    }
}

// Takes only our class off an extension; what anyone else keeps there stays.
void RemoveOwnClass(std::u16string_view ext) {
    DeleteClassValue(ext, u"");
    DeleteClassKeyIfEmpty(ext);
}

// ".o00" to ".o99": the old-style volume extensions of the family format.
std::u16string VolumeExtension(unsigned n) {
    return {u'.', u'o', char16_t(u'0' + n / 10 % 10), char16_t(u'0' + n % 10)};
}

// Writes a template file unless one of the right size is already there; a
// file that cannot be written is left out silently. A link planted at the
// name is never written through: it stays, and so does the file it names. A
// file of the wrong size goes first and the template is made anew, so that a
// second name of that file (a hard link) keeps its own content.
void EnsureTemplateFile(const std::u16string& path, std::span<const uint8_t> bytes) {
    CheckedEntry existing = TrustedFolder(ProgramFolder()).Open(path);
    switch (existing.Kind()) {
    case DiskEntry::Missing:
        break;
    case DiskEntry::File:
        if (existing.Size() == bytes.size() ||
            !Make({.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &existing})) {
            return;
        }
        break;
    default:
        return;
    }
    existing.Close();
    // A new file only: a name that appears in the meantime is not followed.
    Make({.kind = ChangeKind::CreateFile,
          .verb = "template-create",
          .path = path,
          .bytes = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())});
}

// The class an extension has before the archiver takes it, so that releasing
// it can give that back.
OwnerRecord ClassOwner(std::u16string_view ext) {
    OwnerRecord record;
    record.existed = ClassKeyExists(ext);
    record.type = ReadClassString(ext, u"", kClassTextCapacity, &record.hadClass);
    return record;
}

// The class and the new-file entry, in the text form earlier versions kept.
OwnerRecord CurrentOwner(std::u16string_view ext, std::u16string_view newKey) {
    const std::u16string fileName = ReadClassString(newKey, u"FileName", kPathCapacity);
    bool hasNullFile = false;
    ReadClassString(newKey, u"NullFile", 10, &hasNullFile);
    OwnerRecord record = ClassOwner(ext);
    record.shellNew = !fileName.empty() ? fileName : hasNullFile ? u"*" : u"";
    return record;
}

// Records an extension's owner unless the extension is ours already (a
// repeated setup must not record our own class), then takes it.
// A type whose owner could not be recorded is not taken: its owner could not
// be given it back.
void TakeClass(std::u16string_view ext, std::u16string_view cls) {
    if (!EqualsNoCase(CurrentClassOf(ext), cls) && !WriteOwnerRecord(ext, ClassOwner(ext))) {
        return;
    }
    SetClass(ext, cls);
}

std::u16string TemplatePath(bool family) {
    return FileBesideProgram(family ? u"ozunew.dat" : u"zipnew.dat");
}

void WriteNewArchiveEntry(std::u16string_view newKey, bool family) {
    // A "ShellNew" key without subkeys goes, with whatever other ways of
    // making a new file it offered, so that the template is what is used.
    DeleteClassKey(newKey);
    const std::u16string path = TemplatePath(family);
    if (family) {
        EnsureTemplateFile(path, kOzuTemplate);
    } else {
        EnsureTemplateFile(path, kZipTemplate);
    }
    WriteClassString(newKey, u"FileName", path);
}

void TakeExtension(std::u16string_view ext, std::u16string_view newKey, const ExtensionWish& wish) {
    const bool wantNew = wish.wantNew, family = wish.family, zip = wish.zip;
    // Only the first take-over records the owner: a repeated setup must not
    // overwrite the record with our own class. The record is written before
    // the type changes hands, so a run cut off in between loses nothing, and a
    // type whose record could not be written is not taken.
    if (!IsOwnAssociation(ext)) {
        const unsigned failed = FailedChanges();
        const OwnerRecord owner = CurrentOwner(ext, newKey);
        if (family || zip) {
            RecordNewFileEntry(ext, newKey);
        }
        // Without a whole record (the kept new-file entry among it) the type
        // stays its owner's, the refusal logged.
        if (FailedChanges() != failed || !WriteOwnerRecord(ext, owner)) {
            return;
        }
        LogRecord("type-take", {{"ext", ext}, {"owner", owner.type}});
    }
    // A type that did not change hands gets nothing else of ours: the next
    // setup would take our own new-file entry for its owner's.
    if (!SetClass(ext, zip ? kZipProgId : kProgId)) {
        return;
    }
    if (family) {
        for (unsigned n = 0; n < kVolumesTaken; ++n) {
            TakeClass(VolumeExtension(n), kProgId);
        }
    }
    if (wantNew && (family || zip)) {
        WriteNewArchiveEntry(newKey, family);
    }
}

// The class recorded before the archiver took the extension; never the
// archiver's own.
std::u16string PreviousClass(const OwnerRecord& record) {
    return IsOwnProgId(record.type) ? std::u16string() : record.type;
}

// Gives the extension back to its previous class; the key goes when it did
// not exist before us. Without a record nothing is guessed: only our class
// goes, and no empty class is written where there may have been another.
void ReleaseClass(std::u16string_view ext, const std::optional<OwnerRecord>& record) {
    if (!record) {
        LogRecord("type-release",
                  {{"ext", ext}, {"owner", u"unknown"}, {"how", u"own-class-only"}});
        RemoveOwnClass(ext);
        return;
    }
    if (!record->existed) {
        LogRecord("type-release", {{"ext", ext}, {"owner", u"none"}, {"how", u"key-deleted"}});
        RemoveOwnClass(ext);
        return;
    }
    if (!record->hadClass) {
        // The key was there without a class: only ours goes, the key stays.
        DeleteClassValue(ext, u"");
        LogRecord("type-release", {{"ext", ext}, {"owner", u"none"}, {"how", u"class-deleted"}});
        return;
    }
    const std::u16string cls = PreviousClass(*record);
    SetClass(ext, cls);
    LogRecord("type-release", {{"ext", ext}, {"owner", cls}, {"how", u"class-restored"}});
}

// Each volume extension goes back to its own previous owner. One that
// earlier versions took has no record of its own and follows the family
// format's previous owner, as it always did. They are released whoever owns
// the family's own extension by now: one that still names our class would
// otherwise point at a class that uninstall deletes. A volume extension that
// another program owns by now is not ours to give back or to delete.
void ReleaseVolumes(const std::optional<OwnerRecord>& family) {
    const std::u16string cls = family && family->existed ? PreviousClass(*family) : u"";
    unsigned released = 0;
    for (unsigned n = 0; n < kVolumesReleased; ++n) {
        const std::u16string volume = VolumeExtension(n);
        const std::optional<OwnerRecord> record = ReadOwnerRecord(volume);
        const unsigned failed = FailedChanges();
        if (!IsOwnAssociation(volume)) {
            // Left empty by a removal whose key deletion failed.
            if (record && !record->existed) {
                DeleteClassKeyIfEmpty(volume);
            }
        } else {
            if (record) {
                ReleaseClass(volume, record);
            } else {
                ++released;
                if (!cls.empty()) {
                    SetClass(volume, cls);
                } else {
                    RemoveOwnClass(volume);
                }
            }
        }
        if (record && FailedChanges() == failed) {
            DeleteOwnerRecord(volume);
        }
    }
    if (released != 0) {
        LogRecord("volumes-release", {{"count", LogNumber(released)}, {"owner", cls}});
    }
}

// An extension that another program took over keeps everything of its own;
// only a new-file entry naming our template goes, with the "ShellNew" key
// when nothing else is left in it.
void RemoveOwnTemplateEntry(std::u16string_view newKey, bool family) {
    bool found = false;
    const std::u16string fileName = ReadClassString(newKey, u"FileName", kPathCapacity, &found);
    if (!found || !SameFileName(fileName, TemplatePath(family))) {
        return;
    }
    DeleteClassValue(newKey, u"FileName");
    if (!ClassKeyHasValues(newKey)) {
        DeleteClassKey(newKey);
    }
}

void RestoreNewArchiveEntry(std::u16string_view ext, std::u16string_view newKey, bool family,
                            const std::optional<OwnerRecord>& record) {
    if (!record || !record->existed) {
        // Nothing to give back: only our own entry goes.
        RemoveOwnTemplateEntry(newKey, family);
        return;
    }
    const std::u16string& previous = record->shellNew;
    DeleteClassValue(newKey, u"FileName");
    if (RestoreNewFileEntry(ext, newKey)) {
        return; // every value, as it was
    }
    if (previous.empty()) {
        // The previous owner had no new-file entry: an empty key is ours and
        // would be left behind in a foreign extension. One that still holds
        // other ways of making a new file ("Data", "Command") is the owner's.
        if (!ClassKeyHasValues(newKey)) {
            DeleteClassKey(newKey);
        }
    } else if (previous[0] == u'*') {
        WriteClassString(newKey, u"NullFile", u"");
    } else {
        WriteClassString(newKey, u"FileName", previous);
    }
}

// What a file class's rows are made of.
struct FileClassFacts {
    std::u16string name;    // shown for its files
    std::u16string command; // opens them
    std::u16string icon;
    bool iconKept = false; // an icon already there (from a theme, say) stays
};

RegData ClassName(const FileClassFacts& facts) {
    return TextData(facts.name);
}
RegData OpenCommand(const FileClassFacts& facts) {
    return TextData(facts.command);
}
RegData ClassIcon(const FileClassFacts& facts) {
    return facts.iconKept ? SkipData() : TextData(facts.icon);
}

using FileClassRows = RegRow<FileClassFacts>[3];

// A file class: its name, open command and icon, all of it the archiver's,
// so that the class goes as a whole. The first write's status tells whether
// we have administrator rights; nothing more is written when it was refused.
constexpr FileClassRows kArchiveClassRows = {
    {RegLocation::Class(u"Mivora"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora\\shell\\open\\command"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
constexpr FileClassRows kZipClassRows = {
    {RegLocation::Class(u"Mivora.ZIP"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora.ZIP\\shell\\open\\command"), u"", RegKind::Text,
     RegRemoval::InTree, RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora.ZIP\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
constexpr FileClassRows kRecoveryClassRows = {
    {RegLocation::Class(u"Mivora.REV"), u"", RegKind::Text, RegRemoval::Tree, RegistryView::Default,
     ClassName},
    {RegLocation::Class(u"Mivora.REV\\shell\\open\\command"), u"", RegKind::Text,
     RegRemoval::InTree, RegistryView::Default, OpenCommand},
    {RegLocation::Class(u"Mivora.REV\\DefaultIcon"), u"", RegKind::Text, RegRemoval::InTree,
     RegistryView::Default, ClassIcon},
};
static_assert(kArchiveClassRows[0].key == RegLocation::Class(kProgId) &&
              kZipClassRows[0].key == RegLocation::Class(kZipProgId) &&
              kRecoveryClassRows[0].key == RegLocation::Class(kRevProgId));

FileClassFacts FileClassFactsOf(const FileClassRows& rows, uint32_t nameId,
                                std::u16string_view command, std::u16string_view icon) {
    FileClassFacts facts{GetLocalizedString(nameId), std::u16string(command), std::u16string(icon)};
    std::u16string kept;
    ReadRegString(rows[2].key, u"", kept, u"", kPathCapacity, RegistryView::Default);
    facts.iconKept = !kept.empty();
    return facts;
}

} // namespace

void SetExtensionAssociation(std::u16string_view ext, ExtensionChoice choice) {
    const auto [selected, shellExt, family, zip] = choice;
    const std::u16string newKey = std::u16string(ext) + u"\\ShellNew";
    // The user may have switched off the "New" menu entries of either format.
    bool wantNew = shellExt;
    constexpr RegLocation kMenuItems = RegLocation::Settings(RegScope::User, kMenuItemsKey);
    if (ReadRegDword(kMenuItems, u"NewOZU", 1, RegistryView::Default) == 0 && family) {
        wantNew = false;
    }
    if (ReadRegDword(kMenuItems, u"NewZIP", 1, RegistryView::Default) == 0 && zip) {
        wantNew = false;
    }

    const ExtensionWish wish{
        .selected = selected, .wantNew = wantNew, .family = family, .zip = zip};
    if (selected) {
        TakeExtension(ext, newKey, wish);
    }

    const std::optional<OwnerRecord> record = ReadOwnerRecord(ext);
    // A change that fails while the type is given back keeps its record: the
    // next uninstall finds in it what is still to be given back.
    const unsigned failed = FailedChanges();
    const ExtensionSteps steps =
        DecideExtensionSteps(wish, {.own = IsOwnAssociation(ext),
                                    .recorded = record.has_value(),
                                    .existedBefore = record && record->existed});
    if (steps.releaseVolumes) {
        ReleaseVolumes(record);
    }
    if (steps.forgetLaterOwner) {
        const std::u16string owner = CurrentClassOf(ext);
        if (!owner.empty()) {
            LogRecord("type-left", {{"ext", ext}, {"owner", owner}});
        }
        DeleteOwnerRecord(ext);
    }
    if (steps.removeOwnTemplate) {
        RemoveOwnTemplateEntry(newKey, family);
    }
    // The previous new-file entry comes back before the type does: a run cut
    // off in between finds the type still ours next time and gives both
    // back, where the other order would find it another's and drop the kept
    // entry with the record.
    const unsigned failedBeforeEntry = FailedChanges();
    if (steps.restoreNewEntry) {
        RestoreNewArchiveEntry(ext, newKey, family, record);
    }
    // A new-file entry that could not be given back keeps the type ours, for
    // the same reason: the next uninstall gives both back.
    if (FailedChanges() != failedBeforeEntry) {
        return;
    }
    if (steps.releaseClass) {
        ReleaseClass(ext, record);
    }
    if (steps.deleteEmptyClassKey) {
        DeleteClassKeyIfEmpty(ext);
    }
    if (steps.deleteRecord && FailedChanges() == failed) {
        DeleteOwnerRecord(ext);
    }
}

void AssociateArchiveTypes(const IntegrationOptions& options) {
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        ForEachExtension(ArchiveTypeTable[i].extensions, [&](std::u16string_view ext) {
            SetExtensionAssociation(ext, {.selected = options.assoc[i] != 0,
                                          .shellExt = options.shellExt != 0,
                                          .family = i == kOzuRow,
                                          .zip = i == kZipRow});
        });
    }
}

bool RegisterProgIds() {
    const std::u16string program = FileBesideProgram(u"Mivora.exe");
    const std::u16string command = u"\"" + program + u"\" \"%1\"";
    const std::u16string archiveIcon = program + u",0";
    const std::u16string volumeIcon = program + u",1";

    // The first class write doubles as the test for administrator rights.
    if (Write(kArchiveClassRows, FileClassFactsOf(kArchiveClassRows, IDS_MIVORAARC, command,
                                                  archiveIcon)) == ERROR_ACCESS_DENIED) {
        return false;
    }
    Write(kZipClassRows, FileClassFactsOf(kZipClassRows, IDS_MIVORAZIPARC, command, archiveIcon));
    // Recovery volumes are always ours: no choice, but a record all the same.
    TakeClass(kRevExtension, kRevProgId);
    Write(kRecoveryClassRows,
          FileClassFactsOf(kRecoveryClassRows, IDS_OZURECVOL, command, volumeIcon));
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return true;
}

void UnregisterProgIds() {
    Remove(kArchiveClassRows);
    Remove(kZipClassRows);
    Remove(kRecoveryClassRows);
}

void ReleaseRecoveryVolumes() {
    // ".rev" goes back to its previous owner while it is still ours; one that
    // another program took since stays theirs.
    const std::optional<OwnerRecord> record = ReadOwnerRecord(kRevExtension);
    const unsigned failed = FailedChanges();
    if (EqualsNoCase(CurrentClassOf(kRevExtension), kRevProgId)) {
        ReleaseClass(kRevExtension, record);
    }
    if (record && FailedChanges() == failed) {
        DeleteOwnerRecord(kRevExtension);
    }
}

} // namespace ozu
