// libFuzzer target: word splitting and switch parsing of arbitrary UTF-16
// text, with the invariants that hold for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "control/switches.h"

namespace {

class CountingActions final : public ozu::SwitchActions {
public:
    void Pause(unsigned milliseconds) override {
        if (milliseconds != ozu::kWaitMilliseconds)
            std::abort();
        ++pauses;
    }
    void ShowUninstallWarning() override { ++warnings; }
    size_t pauses = 0;
    size_t warnings = 0;
};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses the word capacity, the rest is the text.
    const size_t capacity = data[0] % 8 == 0 ? ozu::kSwitchWordCapacity : data[0] % 8;
    std::u16string text;
    for (size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    std::u16string word;
    std::optional<size_t> position = 0;
    size_t words = 0;
    while (true) {
        const size_t from = *position;
        position = ozu::NextWord(text, from, &word, capacity);
        if (!position)
            break;
        Check(*position > from && *position <= text.size());
        Check(word.size() + 1 <= capacity || (capacity == 0 && word.empty()));
        Check(ozu::NextWord(text, from, nullptr, capacity) == position);
        Check(++words <= text.size());
    }

    ozu::TheSwitches().Reset();
    CountingActions actions;
    bool setup = false;
    bool uninstall = true;
    ozu::ParseSwitches(ozu::PassKind::Environment, text, setup, uninstall, actions);
    Check(!setup && !uninstall && actions.pauses == 0 && actions.warnings == 0);
    Check(!ozu::TheSwitches().MsiMode && !ozu::TheSwitches().NoExplorer &&
          ozu::TheSwitches().InitOptionsText.empty() && ozu::TheSwitches().UnknownSwitch.empty());
    ozu::ParseSwitches(ozu::PassKind::CommandLine, text, setup, uninstall, actions);
    // Setup and the acting switches are counted switches: never an uninstall.
    Check(!(setup && uninstall));
    Check(!(uninstall && actions.pauses + actions.warnings > 0));
    Check(ozu::TheSwitches().InitOptionsText.size() < ozu::kInitOptionsCapacity);
    // An unknown switch is a counted one, and /quiet is always silent.
    const std::u16string& unknown = ozu::TheSwitches().UnknownSwitch;
    Check(unknown.empty() || (!uninstall && (unknown[0] == u'/' || unknown[0] == u'-')));
    Check(!ozu::TheSwitches().Quiet || ozu::TheSwitches().SilentMode);
    // Only the word itself asks for a preview, which changes nothing.
    std::u16string lower(text);
    for (char16_t& c : lower)
        c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    Check(!ozu::TheSwitches().WhatIf || lower.find(u"whatif") != std::u16string::npos);
    return 0;
}
