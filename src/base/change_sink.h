#pragma once
// The one place where the program's changes reach the machine. A run has one
// sink, chosen at start-up: the applying sink makes every change; the
// planning sink (/whatif) makes none, but decides each as the real run would
// (probing rights and files in use where it can) and keeps what it would have
// changed in the plan (change_plan.h, registry_plan.h), which every later
// read sees, so that a step reading back an earlier one decides as in the
// real run. Test builds add a sink that fails a chosen change. Each sink logs
// every change with its outcome.

#include <windows.h>

#include <string_view>

#include "base/change.h"

namespace ozu {

class ChangeSink {
public:
    // Makes, plans or fails the change; its error (0: made or planned),
    // also left as the thread's last error.
    virtual DWORD Make(const Change& change) = 0;
    // The result word of a change that succeeded: "done" or "planned".
    virtual std::u16string_view MadeWord() const = 0;

protected:
    ChangeSink() = default;
    ~ChangeSink() = default;
};

ChangeSink& ApplyingSink();
ChangeSink& PlanningSink();

// The run's sink: the applying one until another is chosen.
ChangeSink& Changes();
void UseChangeSink(ChangeSink& sink);

// Hands a change to the run's sink and answers yes or no: true when it was
// made (or planned). Named apart from the sinks' Make, which returns the
// system's error, so that neither answer is read as the other.
inline bool Made(const Change& change) {
    return Changes().Make(change) == ERROR_SUCCESS;
}

// The outcome word of a step in the run log: "failed" when it failed, else
// the sink's word for a change made.
std::u16string_view ChangeResult(bool succeeded);

// The two halves of a change: the system's work, and the plan's decision of
// it (the same error the work would meet, where it can be known, and the
// plan updated). The sinks are made of them.
DWORD ApplyChange(const Change& change);
DWORD PlanChange(const Change& change);

} // namespace ozu
