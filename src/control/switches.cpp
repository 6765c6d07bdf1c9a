#include "control/switches.h"

#include "base/format.h"
#include "base/system_text.h"
#include "base/text.h"

namespace ozu {
namespace {

// The /warning notice is limited to this many characters, terminator included.
constexpr size_t kUninstallWarningCapacity = 512;

void StoreChar(std::u16string* word, size_t capacity, char16_t c) {
    // capacity - 1 characters at most: the rest of an overlong word is dropped.
    if (word != nullptr && word->size() + 1 < capacity) {
        word->push_back(c);
    }
}

// Acts on one counted switch of the command line; false for one the program
// does not know. The names are tried in this order and the first that
// matches wins, so "/setupmsi" is only /setup.
bool ActOnSwitch(std::u16string_view name, Switches& switches, bool& setupRequested,
                 SwitchActions& actions) {
    if (MatchSwitchName(name, u"setup", 5)) {
        setupRequested = true;
    } else if (MatchSwitchName(name, u"msi", 3)) {
        switches.MsiMode = true;
    } else if (MatchSwitchName(name, u"init", 4)) {
        switches.InitOptionsText = Truncate(std::u16string(name.substr(4)), kInitOptionsCapacity);
    } else if (MatchSwitchName(name, u"wait", 4)) {
        // The self-removal batch file starts the program with /wait so that
        // the uninstalling process has ended before its file is deleted.
        actions.Pause(kWaitMilliseconds);
    } else if (MatchSwitchName(name, u"noexplorer", 10)) {
        switches.NoExplorer = true;
    } else if (MatchSwitchName(name, u"warning", 7)) {
        actions.ShowUninstallWarning();
    } else {
        return false;
    }
    return true;
}

} // namespace

Switches& TheSwitches() {
    static Switches switches;
    return switches;
}

std::optional<size_t> NextWord(std::u16string_view text, size_t position, std::u16string* word,
                               size_t capacity) {
    if (word != nullptr) {
        word->clear();
    }
    size_t pos = position;
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
    if (pos >= text.size()) {
        return std::nullopt;
    }
    bool quoted = false;
    while (pos < text.size()) {
        const char16_t c = text[pos];
        if (c == u'"') {
            if (pos + 1 < text.size() && text[pos + 1] == u'"') {
                // Two quotes stand for one quote character, inside quotes or not.
                StoreChar(word, capacity, u'"');
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
            continue;
        }
        if (!quoted && IsBlank(c)) {
            break;
        }
        StoreChar(word, capacity, c);
        ++pos;
    }
    return pos;
}

bool MatchSwitchName(std::u16string_view text, std::u16string_view name, size_t n) {
    return CompareTextNoCaseN(text, name, n) == 0;
}

bool IsSilentSwitch(std::u16string_view word) {
    if (word.size() < 2 || (word[0] != u'/' && word[0] != u'-')) {
        return false;
    }
    // The letter is upper-cased the way the user's locale does it; the end of
    // the word counts as "not a letter", so /S, -s and /S2 are silent while
    // /Setup is not.
    if (SystemUpperChar(word[1]) != u'S') {
        return false;
    }
    return word.size() < 3 || !IsAsciiLetter(word[2]);
}

std::optional<std::u16string_view> LogSwitchValue(std::u16string_view word) {
    if (word.size() < 4 || (word[0] != u'/' && word[0] != u'-') ||
        !EqualsNoCase(word.substr(1, 3), u"log")) {
        return std::nullopt;
    }
    if (word.size() == 4) {
        return std::u16string_view();
    }
    if (word[4] != u'=' && word[4] != u':') {
        return std::nullopt;
    }
    return word.substr(5);
}

bool IsWholeSwitch(std::u16string_view word, std::u16string_view name) {
    return word.size() == name.size() + 1 && (word[0] == u'/' || word[0] == u'-') &&
           EqualsNoCase(word.substr(1), name);
}

void ParseSwitches(PassKind pass, std::u16string_view text, bool& setupRequested,
                   bool& uninstallRequested, SwitchActions& actions) {
    Switches& switches = TheSwitches();
    size_t counted = 0;
    std::u16string word;
    std::optional<size_t> position = 0;
    while ((position = NextWord(text, *position, &word, kSwitchWordCapacity))) {
        if (word.empty() || (word[0] != u'/' && word[0] != u'-')) {
            continue;
        }
        // The silent switch counts in either pass and never counts as a switch:
        // "uninstall.exe /S" is still a (silent) uninstall.
        if (IsSilentSwitch(word)) {
            switches.SilentMode = true;
            continue;
        }
        // Nor do these: "uninstall.exe /S /log" is a silent uninstall. They
        // say how the run reports, so the installer's "sfxcmd" may give them
        // too; a /log of the command line (the later pass) wins.
        if (std::optional<std::u16string_view> log = LogSwitchValue(word)) {
            switches.LogPath = std::u16string(*log);
            continue;
        }
        if (IsWholeSwitch(word, u"exitcodes")) {
            switches.ExitCodes = true;
            continue;
        }
        if (IsWholeSwitch(word, u"quiet")) {
            switches.Quiet = switches.SilentMode = true;
            continue;
        }
        if (IsWholeSwitch(word, u"norestart")) {
            switches.NoRestart = true;
            continue;
        }
        // A preview changes nothing, so it may come from either text too.
        if (IsWholeSwitch(word, u"whatif")) {
            switches.WhatIf = true;
            continue;
        }
        ++counted;
        // The installer's "sfxcmd" may not select or change what is done.
        if (pass == PassKind::CommandLine &&
            !ActOnSwitch(std::u16string_view(word).substr(1), switches, setupRequested, actions) &&
            switches.UnknownSwitch.empty()) {
            switches.UnknownSwitch = word;
        }
    }
    uninstallRequested = pass == PassKind::CommandLine && counted == 0;
}

std::u16string BuildUninstallWarning(std::u16string_view completed,
                                     std::u16string_view shouldDeleteFormat,
                                     std::u16string_view programPath) {
    std::u16string message = FormatText(kUninstallWarningCapacity, u"%s\n", completed);
    message +=
        FormatText(kUninstallWarningCapacity - message.size(), shouldDeleteFormat, programPath);
    return message;
}

} // namespace ozu
