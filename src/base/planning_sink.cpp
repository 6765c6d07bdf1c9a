// The planning sink (/whatif): every change decided as the real run would
// decide it, and none made. What can be asked without changing anything is
// asked (the rights on a key, whether a file in use would go); what a change
// would leave is kept in the plan, which later reads see.
#include <windows.h>

#include "base/change_plan.h"
#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/handle_info.h"
#include "base/reg_key.h"
#include "base/registry_plan.h"
#include "base/sink_work.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

bool ValuePresent(const Change& change) {
    if (std::optional<std::optional<RegValue>> planned =
            registry_plan::FindValue(change.root, change.view, change.key, change.name)) {
        return planned->has_value();
    }
    RegKey opened;
    return opened.Open(change.root, change.key, KEY_QUERY_VALUE | change.view) == ERROR_SUCCESS &&
           ::RegQueryValueExW(opened.Get(), W(std::u16string(change.name)), nullptr, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS;
}

LSTATUS PlanRegistry(const Change& change) {
    const HKEY root = change.root;
    const REGSAM view = change.view;
    LSTATUS status;
    switch (change.kind) {
    case ChangeKind::SetValue:
        status = registry_plan::ProbeChange(root, view, change.key, KEY_SET_VALUE);
        if (status == ERROR_SUCCESS) {
            registry_plan::SetValue(root, view, change.key, *change.value);
        }
        return status;
    case ChangeKind::DeleteValue:
        if (!ValuePresent(change)) {
            return ERROR_FILE_NOT_FOUND;
        }
        status = registry_plan::ProbeChange(root, view, change.key, KEY_SET_VALUE);
        if (status == ERROR_SUCCESS) {
            registry_plan::DeleteValue(root, view, change.key, change.name);
        }
        return status;
    case ChangeKind::CopyValues:
        status = registry_plan::ProbeChange(change.toRoot, view, change.toKey, KEY_SET_VALUE);
        for (size_t index = 0; status == ERROR_SUCCESS && index < change.values->size(); ++index) {
            registry_plan::SetValue(change.toRoot, view, change.toKey, (*change.values)[index]);
        }
        return status;
    default:
        break;
    }
    // A key deletion; a single key with subkeys stays, as the registry keeps it.
    if (change.key.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!registry_plan::KeyPresent(root, view, change.key)) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (change.kind == ChangeKind::DeleteKey && registry_plan::HasSubkeys(root, view, change.key)) {
        return kKeyKeptForSubkeys;
    }
    status = registry_plan::ProbeChange(root, view, change.key, DELETE);
    if (status == ERROR_SUCCESS) {
        registry_plan::DeleteKey(root, view, change.key);
    }
    return status;
}

// Sets the delete disposition of an open file and clears it again: whether
// the deletion would be taken, without deleting. The system's error when not.
DWORD ProbeDeletion(HANDLE handle) {
    const SetInfoFn setInfo = Calls().setInfo;
    if (setInfo == nullptr) {
        return ERROR_SUCCESS; // nothing to ask before Vista: the plan assumes it goes
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!setInfo(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return ::GetLastError();
    }
    disposition.DeleteFile = FALSE;
    return setInfo(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? ERROR_SUCCESS
               : ::GetLastError();
}

// Whether a folder holds nothing once the plan's removals are done, and the
// plan moved nothing into it.
bool PlannedEmpty(std::u16string_view folder) {
    if (PlanMakesSomethingBelow(folder)) {
        return false;
    }
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kLongPathCapacity));
    FoundEntry entry;
    return !scan.Next(entry) && !entry.error;
}

// Whether a change can be made where only an administrator may write: the
// list of deletions at the next restart lives in the machine's registry.
DWORD ProbeRestartList() {
    RegKey pending;
    return static_cast<DWORD>(pending.Open(
        HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager", KEY_SET_VALUE));
}

DWORD PlanMaking(std::u16string_view path, uint32_t attributes, DWORD existsError) {
    if (PathExists(path)) {
        return existsError;
    }
    PlanMade(path, attributes);
    return ERROR_SUCCESS;
}

DWORD PlanFile(const Change& change) {
    switch (change.kind) {
    case ChangeKind::DeleteChecked:
        return CheckedEntryChanges::PlanDelete(*change.entry);
    case ChangeKind::RenameChecked:
        return CheckedEntryChanges::PlanRename(*change.entry, change.target);
    case ChangeKind::ScheduleDeletion:
        return ProbeRestartList();
    case ChangeKind::CreateFolder:
        return PlanMaking(change.path, FILE_ATTRIBUTE_DIRECTORY, ERROR_ALREADY_EXISTS);
    case ChangeKind::CreateFile:
        return PlanMaking(change.path, FILE_ATTRIBUTE_NORMAL, ERROR_FILE_EXISTS);
    case ChangeKind::SaveShortcut:
        PlanMade(change.shortcut->path, FILE_ATTRIBUTE_NORMAL);
        return ERROR_SUCCESS;
    default:
        // The portable file (its entries and its save), the interpreter and
        // a shell window: nothing to ask beforehand.
        return ERROR_SUCCESS;
    }
}

class Planning final : public ChangeSink {
public:
    DWORD Make(const Change& change) override {
        const DWORD error = PlanChange(change);
        RecordChange(change, error, MadeWord());
        ::SetLastError(error);
        return error;
    }
    std::u16string_view MadeWord() const override { return u"planned"; }
};

} // namespace

DWORD CheckedEntryChanges::PlanDelete(CheckedEntry& entry) {
    if (const DWORD refused = Refusal(entry)) {
        return refused;
    }
    // A file that the system keeps from going (a library loaded by a running
    // program, say) refuses the deletion only when it is asked: ask, and take
    // the question back at once. A read-only file would refuse for the
    // attribute that the real run clears first.
    if (entry.kind_ == DiskEntry::File && (entry.attributes_ & FILE_ATTRIBUTE_READONLY) == 0) {
        if (const DWORD error = ProbeDeletion(entry.handle_.Get())) {
            return error;
        }
    }
    // A folder goes only once it is empty, as the plan leaves it. Some
    // systems refuse to search a folder held open for deletion, so the
    // handle goes first: nothing is done through it while planning.
    entry.handle_.Reset();
    if (entry.kind_ == DiskEntry::Folder && !PlannedEmpty(entry.path_)) {
        return ERROR_DIR_NOT_EMPTY;
    }
    PlanGone(entry.path_);
    entry.kind_ = DiskEntry::Missing;
    return ERROR_SUCCESS;
}

DWORD CheckedEntryChanges::PlanRename(CheckedEntry& entry, std::u16string_view target) {
    if (!entry.handle_ || !entry.canChange_) {
        return ERROR_SHARING_VIOLATION;
    }
    PlanGone(entry.path_);
    PlanMade(target, entry.attributes_);
    entry.path_ = target;
    return ERROR_SUCCESS;
}

DWORD PlanChange(const Change& change) {
    return change.kind <= ChangeKind::DeleteTree ? static_cast<DWORD>(PlanRegistry(change))
                                                 : PlanFile(change);
}

ChangeSink& PlanningSink() {
    static Planning sink;
    return sink;
}

} // namespace ozu
