// The program's switches. They come from two texts: the environment variable
// "sfxcmd", which the archiver's installer fills with its own switches, and
// the program's command line. Word splitting and switch recognition are
// portable; the two switches that act at once (/wait pauses, /warning shows a
// notice) reach the system through SwitchActions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// Longest word the switch parser looks at (longer words are cut).
inline constexpr size_t kSwitchWordCapacity = 1024;
// The /init text keeps at most 39 characters.
inline constexpr size_t kInitOptionsCapacity = 40;
// Size of the buffer that receives "sfxcmd"; a longer value is not read.
inline constexpr size_t kSfxCommandCapacity = 1024;
// /wait pauses this long.
inline constexpr unsigned kWaitMilliseconds = 2000;

// Process-wide switch flags, only ever set to true (or, for the text, filled)
// while the switches are parsed at start-up, read-only afterwards.
struct Switches {
    bool SilentMode = false;        // no questions, no notices; dialogs accept themselves
    bool MsiMode = false;           // a package installer owns the files and the uninstall entry
    bool NoExplorer = false;        // do not open the program group after setup
    std::u16string InitOptionsText; // initial integration choices for the setup dialog
    // /log: the run is logged to this file (empty: the default file).
    std::optional<std::u16string> LogPath;
    bool ExitCodes = false; // /exitcodes: the exit codes that deployment tools understand
    bool Quiet = false;     // /quiet: silent, and no window at all (boxes go to the log)
    bool NoRestart = false; // /norestart: accepted; the program never restarts Windows
    bool WhatIf = false;    // /whatif: every change is logged as planned, none is made
    // The first switch of the command line that the program does not know.
    std::u16string UnknownSwitch;
    void Reset() { *this = Switches{}; }
};
Switches& TheSwitches();

enum class PassKind {
    Environment, // the text of "sfxcmd": only the silent switch has an effect
    CommandLine, // the full command line; its first word is the program's path
};

// What the acting switches do. Start-up installs the real actions; tests
// record the calls.
class SwitchActions {
public:
    virtual ~SwitchActions() = default;
    virtual void Pause(unsigned milliseconds) = 0; // /wait
    virtual void ShowUninstallWarning() = 0;       // /warning
};

// Splits off the word that starts at or after `position` in `text`. Blanks
// separate words; quotes group blanks into a word and are removed; two quotes
// in a row give one quote character. At most capacity - 1 characters are kept
// in `word` (the rest of the word is consumed and dropped); with no `word` the
// word is only skipped. Returns the position just after the word, or nothing
// when no word is left.
std::optional<size_t> NextWord(std::u16string_view text, size_t position, std::u16string* word,
                               size_t capacity);

// Whether the two texts match case-insensitively over at most n characters,
// each side's terminator counting as one character: the text must begin with
// the whole name, and what follows the name is ignored.
bool MatchSwitchName(std::u16string_view text, std::u16string_view name, size_t n);

// Whether a switch word (switch character included) is the silent switch:
// /S or -s, not followed by an ASCII letter.
bool IsSilentSwitch(std::u16string_view word);

// Whether a switch word is /log: "log" in any case after "/" or "-", then the
// end of the word, "=" or ":". Gives what follows the "=" or ":" (the log
// file's path, empty for the default file); nothing for other words, "/logo"
// among them.
std::optional<std::u16string_view> LogSwitchValue(std::u16string_view word);

// Whether a switch word is "/" or "-" and then `name` (any case, nothing
// after it): /exitcodes, /quiet, /norestart, /whatif.
bool IsWholeSwitch(std::u16string_view word, std::u16string_view name);

// Parses every word of `text`, sets the switch flags and the two requests.
// `setupRequested` is only ever set; `uninstallRequested` is decided by the
// command-line pass (true when it saw no switch other than the silent one,
// /log, /exitcodes, /quiet, /norestart and /whatif) and cleared by the environment
// pass. Those six act in either pass; the others in the command line's only.
void ParseSwitches(PassKind pass, std::u16string_view text, bool& setupRequested,
                   bool& uninstallRequested, SwitchActions& actions);

// The same with the program's own actions (Windows build only).
void ParseSwitches(PassKind pass, std::u16string_view text, bool& setupRequested,
                   bool& uninstallRequested);

// The text of the /warning notice: `completed` on a line of its own, then
// `shouldDeleteFormat` with its "%s" filled by the program path; at most 511
// characters. The formats may come from a translation, so extra or wrong
// conversions render as nothing.
std::u16string BuildUninstallWarning(std::u16string_view completed,
                                     std::u16string_view shouldDeleteFormat,
                                     std::u16string_view programPath);

} // namespace ozu
