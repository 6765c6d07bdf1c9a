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
#include "integration/file_classes.h"
#include "integration/new_file_templates.h"
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

void WriteNewArchiveEntry(std::u16string_view newKey, bool family) {
    // A "ShellNew" key without subkeys goes, with whatever other ways of
    // making a new file it offered, so that the template is what is used.
    DeleteClassKey(newKey);
    EnsureTemplateFile(family);
    WriteClassString(newKey, u"FileName", TemplatePath(family));
}

void TakeExtension(std::u16string_view ext, std::u16string_view newKey, const ExtensionWish& wish) {
    const bool wantNew = wish.wantNew, family = wish.family, zip = wish.zip;
    // Only the first take-over records the owner: a repeated setup must not
    // overwrite the record with our own class. The record is written before
    // the type changes hands, so a run cut off in between loses nothing, and a
    // type whose record could not be written is not taken.
    if (!IsOwnAssociation(ext)) {
        const FailureWatch watch;
        const OwnerRecord owner = CurrentOwner(ext, newKey);
        if (family || zip) {
            RecordNewFileEntry(ext, newKey);
        }
        // Without a whole record (the kept new-file entry among it) the type
        // stays its owner's, the refusal logged.
        if (watch.Failed() || !WriteOwnerRecord(ext, owner)) {
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
        const FailureWatch watch;
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
        if (record && !watch.Failed()) {
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
        // With the extension, its "ShellNew" key did not exist before setup:
        // one left empty (its deletion failed once) is ours.
        if (record && ClassKeyExists(newKey) && !ClassKeyHasValues(newKey)) {
            DeleteClassKey(newKey);
        }
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
    const FailureWatch watch;
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
    const FailureWatch entryWatch;
    if (steps.restoreNewEntry) {
        RestoreNewArchiveEntry(ext, newKey, family, record);
    }
    // A new-file entry that could not be given back keeps the type ours, for
    // the same reason: the next uninstall gives both back.
    if (entryWatch.Failed()) {
        return;
    }
    if (steps.releaseClass) {
        ReleaseClass(ext, record);
    }
    if (steps.deleteEmptyClassKey) {
        DeleteClassKeyIfEmpty(ext);
    }
    if (steps.deleteRecord && !watch.Failed()) {
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
    // The first class write doubles as the test for administrator rights.
    if (WriteFileClass(FileClass::Archive) == ERROR_ACCESS_DENIED) {
        return false;
    }
    WriteFileClass(FileClass::Zip);
    // Recovery volumes are always ours: no choice, but a record all the same.
    TakeClass(kRevExtension, kRevProgId);
    WriteFileClass(FileClass::Recovery);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return true;
}

void ReleaseRecoveryVolumes() {
    // ".rev" goes back to its previous owner while it is still ours; one that
    // another program took since stays theirs.
    const std::optional<OwnerRecord> record = ReadOwnerRecord(kRevExtension);
    const FailureWatch watch;
    if (EqualsNoCase(CurrentClassOf(kRevExtension), kRevProgId)) {
        ReleaseClass(kRevExtension, record);
    } else if (record && !record->existed) {
        // Left empty by a removal whose key deletion failed.
        DeleteClassKeyIfEmpty(kRevExtension);
    }
    if (record && !watch.Failed()) {
        DeleteOwnerRecord(kRevExtension);
    }
}

} // namespace ozu
