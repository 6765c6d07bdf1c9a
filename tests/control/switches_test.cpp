#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/switches.h"

namespace ozu {
namespace {

// All words of a text, split with the given capacity.
std::vector<std::u16string> Words(std::u16string_view text, size_t capacity = 1024) {
    std::vector<std::u16string> words;
    std::u16string word;
    std::optional<size_t> position = 0;
    while ((position = NextWord(text, *position, &word, capacity))) {
        words.push_back(word);
    }
    return words;
}

using WordList = std::vector<std::u16string>;

TEST(NextWord, SplitsAtBlanksAndTabsAndQuotesGroupThem) {
    EXPECT_EQ(Words(u"  a\tbc   d \t"), (WordList{u"a", u"bc", u"d"}));
    EXPECT_EQ(Words(u""), WordList{});
    EXPECT_EQ(Words(u" \t  "), WordList{});
    EXPECT_EQ(Words(u"a\nb"), WordList{u"a\nb"}); // line breaks are not blanks
    // Quotes group blanks and are removed.
    EXPECT_EQ(Words(u"\"a b\" c"), (WordList{u"a b", u"c"}));
    EXPECT_EQ(Words(u"ab\"c d\"e f"), (WordList{u"abc de", u"f"}));
    EXPECT_EQ(Words(u"\"C:\\Program Files\\Mivora\\uninstall.exe\" /S"),
              (WordList{u"C:\\Program Files\\Mivora\\uninstall.exe", u"/S"}));
    // Two quotes stand for one quote inside and outside quotes, never for an
    // empty quoted text.
    EXPECT_EQ(Words(u"\"\" x"), (WordList{u"\"", u"x"}));
    EXPECT_EQ(Words(u"a\"\"b"), WordList{u"a\"b"});
    EXPECT_EQ(Words(u"\"a\"\"b c\" d"), (WordList{u"a\"b c", u"d"}));
    // An unbalanced quote makes the rest one word, also after two quotes.
    EXPECT_EQ(Words(u"\"\"\" x"), WordList{u"\" x"});
    EXPECT_EQ(Words(u"/S \"a b  /setup\tc"), (WordList{u"/S", u"a b  /setup\tc"}));
    EXPECT_EQ(Words(u"\""), WordList{u""});
}

TEST(NextWord, ReturnsThePositionOfTheBlankThatEndedTheWord) {
    std::u16string word;
    EXPECT_EQ(NextWord(u"  ab  cd", 0, &word, 10), std::optional<size_t>(4));
    EXPECT_EQ(word, u"ab");
    EXPECT_EQ(NextWord(u"  ab  cd", 4, &word, 10), std::optional<size_t>(8));
    EXPECT_EQ(word, u"cd");
    EXPECT_EQ(NextWord(u"  ab  cd", 8, &word, 10), std::nullopt);
    EXPECT_EQ(word, u"");
}

TEST(NextWord, KeepsCapacityMinusOneCharactersAndConsumesTheRest) {
    const std::u16string longWord(1500, u'x');
    const std::u16string text = u"/" + longWord + u" /setup";
    const WordList words = Words(text);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].size(), 1023u);
    EXPECT_EQ(words[0], u"/" + std::u16string(1022, u'x'));
    EXPECT_EQ(words[1], u"/setup");

    // A word of exactly capacity - 1 characters is kept whole.
    EXPECT_EQ(Words(std::u16string(1023, u'y'))[0].size(), 1023u);
    // Doubled quotes count once against the capacity.
    EXPECT_EQ(Words(u"a\"\"\"\"b", 4), WordList{u"a\"\""});
    EXPECT_EQ(Words(u"abc de", 1), (WordList{u"", u""}));
    EXPECT_EQ(Words(u"abc de", 0), (WordList{u"", u""}));
}

TEST(NextWord, WithoutABufferTheWordIsOnlySkipped) {
    const std::u16string_view text = u" \"a b\"\"c\" d";
    std::u16string word;
    const auto withBuffer = NextWord(text, 0, &word, 1024);
    const auto withoutBuffer = NextWord(text, 0, nullptr, 1024);
    EXPECT_EQ(withBuffer, withoutBuffer);
    EXPECT_EQ(NextWord(text, *withoutBuffer, nullptr, 0), std::optional<size_t>(text.size()));
}

TEST(NextWord, HandlesAHundredThousandCharacterCommandLine) {
    // Many short words.
    std::u16string text;
    while (text.size() < 100000) {
        text += u"/wait\t";
    }
    EXPECT_EQ(Words(text).size(), text.size() / 6);

    // One huge word, partly quoted, with an unbalanced quote near the end.
    std::u16string huge(100000, u'z');
    huge[10] = u'"';
    huge[50000] = u'"';
    huge[99990] = u'"';
    huge[20] = u' ';
    const WordList words = Words(huge);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0].size(), 1023u);
}

// Records what the acting switches did, in order.
class RecordingActions final : public SwitchActions {
public:
    void Pause(unsigned milliseconds) override {
        calls.push_back(milliseconds == 2000 ? u"pause 2s" : u"pause of another length");
    }
    void ShowUninstallWarning() override { calls.push_back(u"warning"); }
    std::vector<std::u16string> calls;
};

struct ParseResult {
    bool setup = false;
    bool uninstall = false;
    std::vector<std::u16string> calls;
};

class SwitchParsing : public ::testing::Test {
protected:
    void SetUp() override { TheSwitches().Reset(); }
    void TearDown() override { TheSwitches().Reset(); }

    // The two passes as start-up runs them.
    ParseResult Run(std::u16string_view sfxcmd, std::u16string_view commandLine) {
        ParseResult result;
        RecordingActions actions;
        ParseSwitches(PassKind::Environment, sfxcmd, result.setup, result.uninstall, actions);
        EXPECT_TRUE(actions.calls.empty()) << "the environment pass must not act";
        EXPECT_FALSE(result.uninstall);
        ParseSwitches(PassKind::CommandLine, commandLine, result.setup, result.uninstall, actions);
        result.calls = actions.calls;
        return result;
    }
    ParseResult Run(std::u16string_view commandLine) { return Run(u"", commandLine); }
};

constexpr std::u16string_view kProgram = u"\"C:\\Program Files\\Mivora\\uninstall.exe\"";

std::u16string Line(std::u16string_view switches) {
    return std::u16string(kProgram) + u" " + std::u16string(switches);
}

// The modes and switches after both passes, in words.
std::string Outcome(const ParseResult& r) {
    const Switches& s = TheSwitches();
    std::string text = r.setup ? (r.uninstall ? "setup+uninstall" : "setup")
                               : (r.uninstall ? "uninstall" : "neither");
    text += s.SilentMode ? " silent" : "";
    text += s.MsiMode ? " msi" : "";
    text += s.NoExplorer ? " noexplorer" : "";
    text += s.Quiet ? " quiet" : "";
    text += s.NoRestart ? " norestart" : "";
    text += s.WhatIf ? " whatif" : "";
    text += s.ExitCodes ? " exitcodes" : "";
    if (s.LogPath) {
        text += " log=[" + std::string(s.LogPath->begin(), s.LogPath->end()) + "]";
    }
    if (!s.UnknownSwitch.empty()) {
        text += " unknown=[" + std::string(s.UnknownSwitch.begin(), s.UnknownSwitch.end()) + "]";
    }
    if (!s.InitOptionsText.empty()) {
        text += " init=[" + std::string(s.InitOptionsText.begin(), s.InitOptionsText.end()) + "]";
    }
    for (const std::u16string& call : r.calls) {
        text += ", " + std::string(call.begin(), call.end());
    }
    return text;
}

// The silent switch is not counted: with it alone the program still uninstalls.
TEST_F(SwitchParsing, SilentSwitchIsSlashOrDashSNotFollowedByAnAsciiLetter) {
    for (const char16_t* word : {u"/S", u"/s", u"-S", u"-s", u"/S2", u"/S-", u"/S.", u"/s/setup",
                                 u"/S\u00e9", u"/S\u00c4x", u"\"/S\""}) {
        TheSwitches().Reset();
        EXPECT_EQ(Outcome(Run(Line(word))), "uninstall silent")
            << testing::PrintToString(std::u16string(word));
    }
    // Words that only look silent are counted switches; without a switch
    // character a word is no switch at all.
    for (const char16_t* word :
         {u"/Sx", u"/SX", u"/Sequence", u"-silent", u"/", u"-", u"/\u015a", u"/\u00df", u"/x"}) {
        TheSwitches().Reset();
        EXPECT_EQ(Outcome(Run(Line(word))).substr(0, 7), "neither")
            << testing::PrintToString(std::u16string(word));
    }
    TheSwitches().Reset();
    EXPECT_EQ(Outcome(Run(Line(u"S"))), "uninstall");
}

TEST_F(SwitchParsing, ModesSwitchesAndActionsOfBothPasses) {
    const struct {
        std::u16string_view environment, commandLine;
        std::string outcome;
    } cases[] = {
        {u"", kProgram, "uninstall"},
        {u"", u"", "uninstall"},
        {u"", u"/setup", "setup"},
        {u"", u"/S /setup /msi /noexplorer", "setup silent msi noexplorer"},
        // Any other switch without /setup: neither mode.
        {u"", u"/msi", "neither msi"},
        {u"", u"/noexplorer", "neither noexplorer"},
        {u"", u"/initA1", "neither init=[A1]"},
        {u"", u"/foo", "neither unknown=[/foo]"},
        // Names match without regard to case and ignore what follows them.
        {u"", u"/SETUPNOW", "setup"},
        {u"", u"-Setup", "setup"},
        {u"", u"/set", "neither unknown=[/set]"},
        {u"", u"/setu", "neither unknown=[/setu]"},
        {u"", u"/noexplore", "neither unknown=[/noexplore]"},
        {u"", u"/NOEXPLORERplease", "neither noexplorer"},
        {u"", u"/setupmsi", "setup"}, // the first name that matches acts alone
        // /init keeps what follows its name; the last one wins.
        {u"", u"/initA1101D1P0", "neither init=[A1101D1P0]"},
        {u"", u"-INITs1", "neither init=[s1]"},
        {u"", u"\"/init a b\"", "neither init=[ a b]"},
        {u"", u"/initD1 /initP0", "neither init=[P0]"},
        // /wait and /warning act while parsing, in their order.
        {u"", u"/wait", "neither, pause 2s"},
        {u"", u"/WAIT /Wait", "neither, pause 2s, pause 2s"},
        {u"", u"/wait /warning -waitlonger", "neither, pause 2s, warning, pause 2s"},
        {u"", u"/wai /warn", "neither unknown=[/wai]"},
        // A quoted switch still counts.
        {u"", u"\"/setup\"", "setup"},
        {u"", u"\"/wa\"it", "neither, pause 2s"},
        // The environment can only make the program silent.
        {u"/setup /msi /noexplorer /initD1 /wait /warning", kProgram, "uninstall"},
        {u"/S", u"/setup", "setup silent"},
        {u"  -s  ", kProgram, "uninstall silent"},
        // How the run reports is no mode: these neither count nor need the
        // command line. The command line's /log wins over the installer's.
        {u"", u"/S /quiet /norestart", "uninstall silent quiet norestart"},
        {u"", u"-QUIET -NoRestart", "uninstall silent quiet norestart"},
        {u"", u"/setup /WhatIf", "setup whatif"},
        {u"/whatif", kProgram, "uninstall whatif"},
        {u"", u"/whatif:yes", "neither unknown=[/whatif:yes]"},
        {u"/log=C:\\s.log /exitcodes /quiet", kProgram,
         "uninstall silent quiet exitcodes log=[C:\\s.log]"},
        {u"/log:C:\\a.log", u"/log=C:\\b.log", "uninstall log=[C:\\b.log]"},
        {u"/foo", kProgram, "uninstall"},
        // Habits from other installers are switches the program does not know.
        {u"", u"/VERYSILENT /SUPPRESSMSGBOXES", "neither unknown=[/VERYSILENT]"},
        {u"", u"/quietly /norestarts", "neither unknown=[/quietly]"},
        {u"", u"/exitcodes /qn", "neither exitcodes unknown=[/qn]"},
    };
    for (const auto& c : cases) {
        TheSwitches().Reset();
        // Switches follow the program's name on the command line.
        const std::u16string line = c.commandLine.empty() || c.commandLine == kProgram
                                        ? std::u16string(c.commandLine)
                                        : Line(c.commandLine);
        EXPECT_EQ(Outcome(Run(c.environment, line)), c.outcome)
            << testing::PrintToString(std::u16string(c.environment)) << " then "
            << testing::PrintToString(line);
    }
    // /init keeps 39 characters.
    const std::u16string options = u"A" + std::u16string(60, u'1');
    Run(Line(u"/init" + options));
    EXPECT_EQ(TheSwitches().InitOptionsText, options.substr(0, 39));
}

TEST_F(SwitchParsing, SetupIsNeverClearedAndUninstallIsDecidedByEachPass) {
    RecordingActions actions;
    bool setup = true;
    bool uninstall = true;
    ParseSwitches(PassKind::Environment, u"/S", setup, uninstall, actions);
    EXPECT_TRUE(setup);
    EXPECT_FALSE(uninstall);
    ParseSwitches(PassKind::CommandLine, kProgram, setup, uninstall, actions);
    EXPECT_TRUE(setup);
    // Start-up runs setup first, so a true setup request wins.
    EXPECT_TRUE(uninstall);
}

TEST_F(SwitchParsing, OverlongWordsAndHugeCommandLinesAreHandled) {
    // The switch name lies within the first 1023 characters, so a long tail
    // does not stop /setup.
    EXPECT_TRUE(Run(Line(u"/setup" + std::u16string(5000, u'x'))).setup);

    // 100,000 characters of counted switches and waits.
    std::u16string line(kProgram);
    size_t waits = 0;
    while (line.size() < 100000) {
        line += u" /wait \"/unknown switch\" -";
        ++waits;
    }
    const ParseResult r = Run(u"", line);
    EXPECT_EQ(r.calls.size(), waits);
    EXPECT_FALSE(r.uninstall);

    // One word of 100,000 characters with an unbalanced quote.
    const ParseResult huge =
        Run(u"\"" + std::u16string(100000, u'/'), Line(u"\"/S" + std::u16string(100000, u' ')));
    EXPECT_TRUE(TheSwitches().SilentMode);
    EXPECT_TRUE(huge.uninstall);
}

TEST(MatchSwitchName, TheTextMustBeginWithTheWholeName) {
    EXPECT_TRUE(MatchSwitchName(u"setup", u"setup", 5));
    EXPECT_TRUE(MatchSwitchName(u"SeTuP", u"setup", 5));
    EXPECT_TRUE(MatchSwitchName(u"setupnow", u"setup", 5));
    EXPECT_FALSE(MatchSwitchName(u"setu", u"setup", 5));
    EXPECT_FALSE(MatchSwitchName(u"", u"setup", 5));
    EXPECT_FALSE(MatchSwitchName(u"sexup", u"setup", 5));
    // An n beyond both lengths compares the whole texts, terminators included.
    EXPECT_TRUE(MatchSwitchName(u"msi", u"msi", 10));
    EXPECT_TRUE(MatchSwitchName(u"MSI", u"msi", 4));
    EXPECT_FALSE(MatchSwitchName(u"msix", u"msi", 10));
    EXPECT_FALSE(MatchSwitchName(u"msix", u"msi", 4));
    EXPECT_TRUE(MatchSwitchName(u"msix", u"msi", 3));
    EXPECT_TRUE(MatchSwitchName(u"", u"", 3));
}

TEST(UninstallWarning, NamesTheProgramOnTheLineAfterTheCompletedText) {
    EXPECT_EQ(BuildUninstallWarning(u"Mivora has been removed.", u"Please delete %s yourself.",
                                    u"C:\\Mivora\\uninstall.exe"),
              u"Mivora has been removed.\nPlease delete C:\\Mivora\\uninstall.exe yourself.");
    // The completed text is an argument, never a format.
    EXPECT_EQ(BuildUninstallWarning(u"100% done %s", u"%s", u"P"), u"100% done %s\nP");
    // Translated formats cannot read missing arguments.
    EXPECT_EQ(BuildUninstallWarning(u"Done", u"%s %s %d %n %x|%%", u"P"), u"Done\nP    |%");
    EXPECT_EQ(BuildUninstallWarning(u"Done", u"no path", u"P"), u"Done\nno path");
}

TEST(UninstallWarning, IsLimitedTo511Characters) {
    const std::u16string longPath(2047, u'p');
    std::u16string text = BuildUninstallWarning(u"Done", u"Delete %s", longPath);
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text.substr(0, 12), u"Done\nDelete ");

    text = BuildUninstallWarning(std::u16string(600, u'c'), u"Delete %s", u"P");
    EXPECT_EQ(text, std::u16string(511, u'c'));

    text = BuildUninstallWarning(std::u16string(510, u'c'), u"Delete %s", u"P");
    EXPECT_EQ(text, std::u16string(510, u'c') + u"\n");
}

} // namespace
} // namespace ozu
