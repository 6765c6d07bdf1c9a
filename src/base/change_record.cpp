// The run's sink, and the one place where a change becomes its record in the
// run log.
#include "base/change_sink.h"
#include "base/format.h"
#include "base/run_log.h"
#include "base/system_info.h"
#include "base/trusted_folder.h"

namespace ozu {
namespace {

ChangeSink* g_sink = nullptr;
unsigned g_failedChanges = 0;
unsigned g_failedRegistryChanges = 0;

std::u16string_view RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) {
        return u"HKCR";
    }
    if (root == HKEY_CURRENT_USER) {
        return u"HKCU";
    }
    return root == HKEY_LOCAL_MACHINE ? u"HKLM" : u"settings file";
}

bool IsRegistryKind(ChangeKind kind) {
    return kind <= ChangeKind::DeleteTree;
}

bool IsEntryKind(ChangeKind kind) {
    return kind == ChangeKind::SetEntry || kind == ChangeKind::DeleteEntry;
}

} // namespace

ChangeSink& Changes() {
    return g_sink != nullptr ? *g_sink : ApplyingSink();
}

void UseChangeSink(ChangeSink& sink) {
    g_sink = &sink;
}

std::u16string_view ChangeResult(bool succeeded) {
    return succeeded ? Changes().MadeWord() : u"failed";
}

bool ChangedNothing(const Change& change, DWORD error) {
    const bool deletion = change.kind == ChangeKind::DeleteValue ||
                          change.kind == ChangeKind::DeleteKey ||
                          change.kind == ChangeKind::DeleteTree;
    // A folder that is there already (the program group of an earlier
    // setup) is what its creation wanted.
    if (change.kind == ChangeKind::CreateFolder) {
        return error == ERROR_ALREADY_EXISTS;
    }
    return deletion && (error == ERROR_FILE_NOT_FOUND || error == kKeyKeptForSubkeys);
}

unsigned FailedChanges() {
    return g_failedChanges;
}

unsigned FailedRegistryChanges() {
    return g_failedRegistryChanges;
}

void RecordChange(const Change& change, DWORD error, std::u16string_view made) {
    if (ChangedNothing(change, error) || (error != 0 && change.attempt)) {
        return;
    }
    if (error != 0) {
        ++g_failedChanges;
        g_failedRegistryChanges += IsRegistryKind(change.kind) ? 1 : 0;
    }
    if (!RunLogActive() || change.verb.empty()) {
        return;
    }
    const bool registry = IsRegistryKind(change.kind);
    const bool entry = IsEntryKind(change.kind);
    const bool files = !registry && !entry;
    // Under WOW64 the two views hold different keys: every registry record
    // names its own. 32-bit Windows has one view, and no field for it.
    std::u16string_view view;
    if (registry) {
        view = change.view != 0 ? u"64" : RunningUnderWow64() ? u"32" : std::u16string_view();
    }
    std::u16string to;
    if (change.kind == ChangeKind::CopyValues) {
        to = FormatText(kLogLineCapacity, u"%s\\%s", RootName(change.toRoot), change.toKey);
    } else if (change.kind == ChangeKind::RenameChecked) {
        to = change.target;
    }
    std::u16string_view path = files ? change.path : std::u16string_view();
    // A rename's entry names its target by now: its writer gives the path
    // it had.
    if (change.kind == ChangeKind::DeleteChecked) {
        path = change.entry->Path();
    } else if (change.kind == ChangeKind::SaveShortcut) {
        path = change.shortcut->path;
    }
    // The interpreter's record names the batch file it runs.
    const bool interpreter = change.kind == ChangeKind::StartInterpreter;
    std::u16string_view name = registry ? change.name : std::u16string_view();
    if (change.kind == ChangeKind::SetValue) {
        name = change.value->name;
    }
    const std::u16string errorText = LogNumber(error);
    LogRecord(
        change.verb,
        {{"root", registry ? RootName(change.root) : std::u16string_view()},
         {"key", registry ? change.key : std::u16string_view()},
         {"entry", entry ? change.name : std::u16string_view()},
         {"path", interpreter ? std::u16string_view() : path},
         {"batch-file", interpreter ? change.target : std::u16string_view()},
         {"name", name},
         {"data", change.shown},
         {"to", change.kind == ChangeKind::CopyValues || change.kind == ChangeKind::RenameChecked
                    ? std::u16string_view(to)
                    : std::u16string_view()},
         change.extra[0],
         change.extra[1],
         change.extra[2],
         change.extra[3],
         {"view", view},
         {"result", error == 0 ? made : u"failed"},
         {"error", error != 0 ? std::u16string_view(errorText) : std::u16string_view()}});
}

} // namespace ozu
