// The record of what an extension held before the archiver took it over, so
// that giving it back restores exactly that.
//
// The file types live in the machine-wide classes, but setup and uninstall
// may run under different accounts (a deployment as the system account, a
// removal by the user), and a portable installation may never save its
// settings file. So the record is kept twice: per user, below the settings
// root as it always was ("Setup\<ext>": "Exist", "Type", "ShellNew", and
// "HasType", which earlier versions did not keep), and
// machine-wide in the registry below the archiver's own key, with the same
// values. It is written before the type changes hands, and read machine-wide
// first (every setup writes it), per user second. A previous new-file entry ("ShellNew") is also
// kept whole, every value with its type, machine-wide only: the per-user
// "ShellNew" text names its file alone, as earlier versions stored it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// Classes and recorded texts are read into 512 characters; a longer one does
// not fit and reads as empty.
inline constexpr size_t kClassTextCapacity = 512;

struct OwnerRecord {
    bool existed = true;     // the extension's key existed before setup
    bool hadClass = true;    // it had a class (a default value), perhaps an empty one
    std::u16string type;     // its previous class, possibly empty
    std::u16string shellNew; // the previous new-file entry: its file name, "*", or empty
};

std::optional<OwnerRecord> ReadOwnerRecord(std::u16string_view ext);
// Writes both copies; false when either could not be written whole: the
// machine-wide copy serves every account's uninstall, the user's the
// settings that a portable file may hold, and a type is taken only with both.
bool WriteOwnerRecord(std::u16string_view ext, const OwnerRecord& record);
// Keeps every value of the extension's new-file key `newKey` beside the
// machine-wide record (none when the key is missing), and puts them back
// into that key; false when nothing of the kind was kept.
void RecordNewFileEntry(std::u16string_view ext, std::u16string_view newKey);
bool RestoreNewFileEntry(std::u16string_view ext, std::u16string_view newKey);
// Deletes both copies of the record (the user's choice for the type stays).
void DeleteOwnerRecord(std::u16string_view ext);
// Removes the machine-wide record keys once they hold nothing.
void DeleteEmptyMachineRecords();

} // namespace ozu
