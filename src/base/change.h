#pragma once
// Every change the program makes to the machine is one Change: a value that
// says what changes and how. Writers build it and hand it to the run's sink
// (change_sink.h), which makes it, plans it or (in tests) fails it, and logs
// it; no writer calls the system to change anything, and none knows whether
// the run is a preview. A change refers to what it names and owns none of
// it: it lives for the one call that hands it over.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/log_fields.h"

namespace ozu {

class CheckedEntry;

// A registry value as it is stored: name, type and data.
struct RegValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::string data;
};

// Whether a shortcut already at the name is replaced or keeps what is not set.
enum class ExistingLink { Replace, Keep };

// A shortcut as the shell-link object saves it. Properties left empty
// (std::nullopt) are not set.
struct ShortcutFacts {
    ExistingLink existing = ExistingLink::Replace;
    std::u16string_view target;
    std::u16string_view path;
    std::optional<std::u16string_view> workingFolder;
    std::optional<std::u16string_view> description;
    std::u16string_view iconFile;
    std::optional<std::u16string_view> arguments;
};

enum class ChangeKind : uint8_t {
    // The registry; a key is its root, its view and its full path.
    SetValue,    // value
    DeleteValue, // name
    CopyValues,  // values, into toRoot\toKey
    DeleteKey,   // one key without subkeys
    DeleteTree,  // a key with everything below it
    // The portable settings file's entries, kept in memory until it is saved.
    SetEntry,    // name (the entry), shown (its text)
    DeleteEntry, // name
    // A file replaced as a whole by bytes, never seen half written (the
    // portable settings file's save).
    ReplaceFile, // path, bytes
    // An entry checked through its handle (trusted_folder.h), acted on
    // through that handle.
    DeleteChecked, // entry
    RenameChecked, // entry (at path, which it names no longer), to target
    // Anything else.
    ScheduleDeletion, // target (or path, which the record names), at the next restart
    CreateFolder,     // path
    CreateFile,       // path, a new file of these bytes
    SaveShortcut,     // shortcut
    StartInterpreter, // path (the interpreter), command; target names the batch file
    OpenFolder,       // path, in a window of the shell
};

struct Change {
    ChangeKind kind = ChangeKind::SetValue;
    // The record's verb in the run log; none for a change whose outcome the
    // record of the change after it tells (a rename before a schedule).
    std::string_view verb = {};

    HKEY root = nullptr;
    REGSAM view = 0; // 0 or KEY_WOW64_64KEY
    std::u16string_view key = {};
    const RegValue* value = nullptr;
    std::u16string_view name = {};
    std::u16string_view shown = {}; // the data as the log shows it
    HKEY toRoot = nullptr;
    std::u16string_view toKey = {};
    const std::vector<RegValue>* values = nullptr;

    CheckedEntry* entry = nullptr;
    std::u16string_view path = {};
    std::u16string_view target = {};
    std::string_view bytes = {};
    const ShortcutFacts* shortcut = nullptr;
    std::u16string_view command = {};

    // An attempt whose failure its writer reports in its own record (a
    // deletion that a schedule then takes over): only its success is logged.
    bool attempt = false;
    // Fields of the record beside the change's own, before its result.
    LogField extra[4] = {};
};

// The registry's status of a key deletion that leaves the key for its
// subkeys, as every single key's deletion does by design: no failure, and no
// record.
inline constexpr DWORD kKeyKeptForSubkeys = ERROR_KEY_HAS_CHILDREN;

// Whether an outcome changed nothing: a registry deletion that found nothing
// to delete, a key kept for its subkeys, or a folder that was there already.
// Such a change has no record.
bool ChangedNothing(const Change& change, DWORD error);

// Takes note of a change's outcome (0: made; `made` is the word for that,
// "done" or "planned"): a failure counts for the run (FailedChanges), and the
// change's record is written to the run log. Neither for what changed
// nothing; a failed attempt is its writer's to report and count.
void RecordChange(const Change& change, DWORD error, std::u16string_view made);
// How many changes of this run failed (or, in a preview, would fail); and
// how many of them were registry changes (the result line tells them apart).
unsigned FailedChanges();
unsigned FailedRegistryChanges();

// Remembers the count of failed changes when made, to tell whether one failed
// since: a record is kept, or a step skipped, when an earlier step of the
// same work failed.
class FailureWatch {
public:
    FailureWatch() : start_(FailedChanges()) {}
    bool Failed() const { return FailedChanges() != start_; }

private:
    unsigned start_;
};

} // namespace ozu
