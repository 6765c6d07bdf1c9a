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

constexpr std::u16string_view kMachineSetupKey = u"\\SOFTWARE\\Mivora\\Setup";
constexpr std::u16string_view kMachineRootKey = u"\\SOFTWARE\\Mivora";
constexpr std::u16string_view kRecordValues[] = {u"Exist", u"HasType", u"Type", u"ShellNew"};

// The machine-wide copy: an absolute key, so that a portable settings file
// never takes it over.
std::u16string MachineKeyOf(std::u16string_view ext) {
    std::u16string key(kMachineSetupKey);
    key += u'\\';
    key += ext;
    return key;
}

// One copy of the record: per user below the settings root (HKCU), or
// machine-wide (HKLM, an absolute key).
std::optional<OwnerRecord> ReadRecordAt(HKEY root, const std::u16string& key) {
    const uint32_t exist = ReadRegDword(root, key, u"Exist", kNoRecord);
    if (exist == kNoRecord) {
        return std::nullopt;
    }
    OwnerRecord record;
    record.existed = exist != 0;
    // Earlier versions did not keep "HasType": their empty class was written back.
    record.hadClass = ReadRegDword(root, key, u"HasType", 1) != 0;
    ReadRegString(root, key, u"Type", record.type, u"", kClassTextCapacity);
    ReadRegString(root, key, u"ShellNew", record.shellNew, u"", kShellNewCapacity);
    return record;
}

void WriteRecordAt(HKEY root, const std::u16string& key, const OwnerRecord& record) {
    WriteRegDword(root, key, u"Exist", record.existed ? 1 : 0);
    WriteRegDword(root, key, u"HasType", record.hadClass ? 1 : 0);
    WriteRegString(root, key, u"Type", record.type);
    WriteRegString(root, key, u"ShellNew", record.shellNew);
}

std::u16string NewFileRecordOf(std::u16string_view ext) {
    return MachineKeyOf(ext) + u"\\ShellNew";
}

void DeleteKeyIfEmpty(std::u16string_view key) {
    if (RegKeyExists(HKEY_LOCAL_MACHINE, key) && !RegKeyHasValues(HKEY_LOCAL_MACHINE, key)) {
        DeleteRegKey(HKEY_LOCAL_MACHINE, key); // stays while it has subkeys
    }
}

} // namespace

std::optional<OwnerRecord> ReadOwnerRecord(std::u16string_view ext) {
    if (std::optional<OwnerRecord> record = ReadRecordAt(HKEY_CURRENT_USER, SetupKeyOf(ext))) {
        return record;
    }
    return ReadRecordAt(HKEY_LOCAL_MACHINE, MachineKeyOf(ext));
}

void WriteOwnerRecord(std::u16string_view ext, const OwnerRecord& record) {
    WriteRecordAt(HKEY_LOCAL_MACHINE, MachineKeyOf(ext), record);
    WriteRecordAt(HKEY_CURRENT_USER, SetupKeyOf(ext), record);
}

void RecordNewFileEntry(std::u16string_view ext, std::u16string_view newKey) {
    // What a run cut off before the record was complete kept goes first.
    const std::u16string kept = NewFileRecordOf(ext);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kept);
    CopyRegValues(HKEY_CLASSES_ROOT, newKey, HKEY_LOCAL_MACHINE, kept);
}

bool RestoreNewFileEntry(std::u16string_view ext, std::u16string_view newKey) {
    return CopyRegValues(HKEY_LOCAL_MACHINE, NewFileRecordOf(ext), HKEY_CLASSES_ROOT, newKey);
}

void DeleteOwnerRecord(std::u16string_view ext) {
    const std::u16string machine = MachineKeyOf(ext);
    const std::u16string user = SetupKeyOf(ext);
    const bool machineRecord = RegKeyExists(HKEY_LOCAL_MACHINE, machine);
    const bool userRecord = ReadRecordAt(HKEY_CURRENT_USER, user).has_value();
    if (machineRecord) {
        DeleteRegTree(HKEY_LOCAL_MACHINE, NewFileRecordOf(ext));
    }
    for (std::u16string_view name : kRecordValues) {
        if (machineRecord) {
            DeleteRegValue(HKEY_LOCAL_MACHINE, machine, name);
        }
        if (userRecord) {
            DeleteSettingValue(user, name);
        }
    }
    if (machineRecord) {
        DeleteKeyIfEmpty(machine);
    }
}

void DeleteEmptyMachineRecords() {
    DeleteKeyIfEmpty(kMachineSetupKey);
    DeleteKeyIfEmpty(kMachineRootKey);
}

} // namespace ozu
