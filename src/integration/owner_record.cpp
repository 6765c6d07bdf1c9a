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
constexpr std::u16string_view kRecordValues[] = {u"Exist", u"Type", u"ShellNew"};

// The machine-wide copy: an absolute key, so that a portable settings file
// never takes it over.
std::u16string MachineKeyOf(std::u16string_view ext) {
    std::u16string key(kMachineSetupKey);
    key += u'\\';
    key += ext;
    return key;
}

std::optional<OwnerRecord> ReadUserRecord(std::u16string_view ext) {
    const std::u16string key = SetupKeyOf(ext);
    const uint32_t exist = ReadSettingDword(key, u"Exist", kNoRecord);
    if (exist == kNoRecord) {
        return std::nullopt;
    }
    OwnerRecord record;
    record.existed = exist != 0;
    ReadSettingString(key, u"Type", record.type, u"", kClassTextCapacity);
    ReadSettingString(key, u"ShellNew", record.shellNew, u"", kShellNewCapacity);
    return record;
}

std::optional<OwnerRecord> ReadMachineRecord(std::u16string_view ext) {
    const std::u16string key = MachineKeyOf(ext);
    const uint32_t exist = ReadRegDword(HKEY_LOCAL_MACHINE, key, u"Exist", kNoRecord);
    if (exist == kNoRecord) {
        return std::nullopt;
    }
    OwnerRecord record;
    record.existed = exist != 0;
    ReadRegString(HKEY_LOCAL_MACHINE, key, u"Type", record.type, u"", kClassTextCapacity);
    ReadRegString(HKEY_LOCAL_MACHINE, key, u"ShellNew", record.shellNew, u"", kShellNewCapacity);
    return record;
}

void DeleteKeyIfEmpty(std::u16string_view key) {
    if (RegKeyExists(HKEY_LOCAL_MACHINE, key) && !RegKeyHasValues(HKEY_LOCAL_MACHINE, key)) {
        DeleteRegKey(HKEY_LOCAL_MACHINE, key); // stays while it has subkeys
    }
}

} // namespace

std::optional<OwnerRecord> ReadOwnerRecord(std::u16string_view ext) {
    if (std::optional<OwnerRecord> record = ReadUserRecord(ext)) {
        return record;
    }
    return ReadMachineRecord(ext);
}

void WriteOwnerRecord(std::u16string_view ext, const OwnerRecord& record) {
    const std::u16string machine = MachineKeyOf(ext);
    WriteRegDword(HKEY_LOCAL_MACHINE, machine, u"Exist", record.existed ? 1 : 0);
    WriteRegString(HKEY_LOCAL_MACHINE, machine, u"Type", record.type);
    WriteRegString(HKEY_LOCAL_MACHINE, machine, u"ShellNew", record.shellNew);
    const std::u16string user = SetupKeyOf(ext);
    WriteSettingDword(user, u"Exist", record.existed ? 1 : 0);
    WriteSettingString(user, u"Type", record.type);
    WriteSettingString(user, u"ShellNew", record.shellNew);
}

void DeleteOwnerRecord(std::u16string_view ext) {
    const std::u16string machine = MachineKeyOf(ext);
    const std::u16string user = SetupKeyOf(ext);
    const bool machineRecord = RegKeyExists(HKEY_LOCAL_MACHINE, machine);
    const bool userRecord = ReadUserRecord(ext).has_value();
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
