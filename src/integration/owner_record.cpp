#include "integration/owner_record.h"

#include <windows.h>

#include "integration/options.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

// Recorded file names are read into 2048 characters.
constexpr size_t kShellNewCapacity = 2048;
// "Exist" is 0 or 1; anything else says there is no record.
constexpr uint32_t kNoRecord = 2;

constexpr std::u16string_view kRecordValues[] = {u"Exist", u"HasType", u"Type", u"ShellNew"};

// The machine-wide keys lie where the machine's settings keys of the same
// names would, but are named from their root, so that a portable settings
// file never takes them over.
std::u16string MachinePath(std::u16string_view settingsKey) {
    return RegLocation::Settings(RegScope::Machine, settingsKey).Path();
}

// The machine-wide copy of an extension's record, beside the per-user one.
std::u16string MachinePathOf(std::u16string_view ext) {
    return MachinePath(SetupKeyOf(ext));
}

// One copy of the record: per user below the settings root (HKCU), or
// machine-wide (HKLM, an absolute key).
std::optional<OwnerRecord> ReadRecordAt(const RegLocation& key) {
    const uint32_t exist = ReadRegDword(key, u"Exist", kNoRecord, RegistryView::Default);
    if (exist == kNoRecord) {
        return std::nullopt;
    }
    OwnerRecord record;
    record.existed = exist != 0;
    // Earlier versions did not keep "HasType": their empty class was written back.
    record.hadClass = ReadRegDword(key, u"HasType", 1, RegistryView::Default) != 0;
    ReadRegString(key, u"Type", record.type, u"", kClassTextCapacity, RegistryView::Default);
    ReadRegString(key, u"ShellNew", record.shellNew, u"", kShellNewCapacity, RegistryView::Default);
    return record;
}

// "Exist" goes last: a copy whose other values could not all be written is
// no record, and the next setup writes it again. True when the copy is whole.
bool WriteRecordAt(const RegLocation& key, const OwnerRecord& record) {
    const RegistryView view = RegistryView::Default;
    return WriteRegDword(key, u"HasType", record.hadClass ? 1 : 0, view) == ERROR_SUCCESS &&
           WriteRegString(key, u"Type", record.type, view) == ERROR_SUCCESS &&
           WriteRegString(key, u"ShellNew", record.shellNew, view) == ERROR_SUCCESS &&
           WriteRegDword(key, u"Exist", record.existed ? 1 : 0, view) == ERROR_SUCCESS;
}

std::u16string NewFilePathOf(std::u16string_view ext) {
    return MachinePathOf(ext) + u"\\ShellNew";
}

RegLocation Machine(const std::u16string& path) {
    return RegLocation::Absolute(RegScope::Machine, path);
}
RegLocation User(const std::u16string& key) {
    return RegLocation::Settings(RegScope::User, key);
}

void DeleteKeyIfEmpty(const RegLocation& key) {
    if (RegKeyExists(key, RegistryView::Default) && !RegKeyHasValues(key, RegistryView::Default)) {
        DeleteRegKey(key, RegistryView::Default); // stays while it has subkeys
    }
}

} // namespace

std::optional<OwnerRecord> ReadOwnerRecord(std::u16string_view ext) {
    // Every setup writes the machine-wide record, whoever runs it; a per-user
    // one may be left from an earlier setup by another account, and stale.
    if (std::optional<OwnerRecord> record = ReadRecordAt(Machine(MachinePathOf(ext)))) {
        return record;
    }
    return ReadRecordAt(User(SetupKeyOf(ext)));
}

bool WriteOwnerRecord(std::u16string_view ext, const OwnerRecord& record) {
    const bool machine = WriteRecordAt(Machine(MachinePathOf(ext)), record);
    const bool user = WriteRecordAt(User(SetupKeyOf(ext)), record);
    return machine && user;
}

void RecordNewFileEntry(std::u16string_view ext, std::u16string_view newKey) {
    // What a run cut off before the record was complete kept goes first.
    const std::u16string kept = NewFilePathOf(ext);
    DeleteRegTree(Machine(kept), RegistryView::Default);
    CopyRegValues(RegLocation::Class(newKey), Machine(kept), RegistryView::Default);
}

bool RestoreNewFileEntry(std::u16string_view ext, std::u16string_view newKey) {
    return CopyRegValues(Machine(NewFilePathOf(ext)), RegLocation::Class(newKey),
                         RegistryView::Default);
}

void DeleteOwnerRecord(std::u16string_view ext) {
    const std::u16string machinePath = MachinePathOf(ext);
    const std::u16string userKey = SetupKeyOf(ext);
    const RegLocation machine = Machine(machinePath);
    const RegLocation user = User(userKey);
    const bool machineRecord = RegKeyExists(machine, RegistryView::Default);
    const bool userRecord = ReadRecordAt(user).has_value();
    if (machineRecord) {
        DeleteRegTree(Machine(NewFilePathOf(ext)), RegistryView::Default);
    }
    for (std::u16string_view name : kRecordValues) {
        if (machineRecord) {
            DeleteRegValue(machine, name, RegistryView::Default);
        }
        if (userRecord) {
            DeleteRegValue(user, name, RegistryView::Default);
        }
    }
    if (machineRecord) {
        DeleteKeyIfEmpty(machine);
    }
}

void DeleteEmptyMachineRecords() {
    const std::u16string setup = MachinePath(u"Setup");
    const std::u16string root = MachinePath(u"");
    DeleteKeyIfEmpty(Machine(setup));
    DeleteKeyIfEmpty(Machine(root));
}

} // namespace ozu
