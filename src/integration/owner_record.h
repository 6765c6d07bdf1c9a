// The record of what an extension held before the archiver took it over, so
// that giving it back restores exactly that.
//
// The file types live in the machine-wide classes, but setup and uninstall
// may run under different accounts (a deployment as the system account, a
// removal by the user), and a portable installation may never save its
// settings file. So the record is kept twice: per user, below the settings
// root as it always was ("Setup\<ext>": "Exist", "Type", "ShellNew"), and
// machine-wide in the registry below the archiver's own key, with the same
// values. It is written before the type changes hands, and read per user
// first, machine-wide second.
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
    std::u16string type;     // its previous class, possibly empty
    std::u16string shellNew; // the previous new-file entry: its file name, "*", or empty
};

std::optional<OwnerRecord> ReadOwnerRecord(std::u16string_view ext);
void WriteOwnerRecord(std::u16string_view ext, const OwnerRecord& record);
// Deletes both copies of the record (the user's choice for the type stays).
void DeleteOwnerRecord(std::u16string_view ext);
// Removes the machine-wide record keys once they hold nothing.
void DeleteEmptyMachineRecords();

} // namespace ozu
