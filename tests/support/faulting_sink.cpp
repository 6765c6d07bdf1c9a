#include "support/faulting_sink.h"

namespace ozu::test {

DWORD FaultingSink::Make(const Change& change) {
    if (++count_ != failAt_) {
        return ApplyingSink().Make(change);
    }
    failedVerb_ = change.verb;
    RecordChange(change, error_, MadeWord());
    ::SetLastError(error_);
    return error_;
}

} // namespace ozu::test
