#pragma once
// The sink of the test builds: it makes every change as the applying sink
// does, but fails the chosen one (counted from 1, in the order the run hands
// them over) with a chosen error, without making it, as the system would
// refuse it. It counts the changes of the run either way.

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/change_sink.h"

namespace ozu::test {

class FaultingSink final : public ChangeSink {
public:
    // failAt 0 fails nothing.
    FaultingSink(uint32_t failAt, DWORD error) : failAt_(failAt), error_(error) {}

    DWORD Make(const Change& change) override;
    std::u16string_view MadeWord() const override { return ApplyingSink().MadeWord(); }

    uint32_t Changes() const { return count_; }
    bool Failed() const { return failAt_ != 0 && count_ >= failAt_; }
    // The record verb of the change that was failed (empty: none, or one
    // without a record of its own).
    const std::string& FailedVerb() const { return failedVerb_; }

private:
    uint32_t failAt_;
    DWORD error_;
    uint32_t count_ = 0;
    std::string failedVerb_;
};

} // namespace ozu::test
