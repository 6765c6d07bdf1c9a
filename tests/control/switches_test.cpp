#include "control/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ozu {
namespace {

// All words of a text, split with the given capacity.
std::vector<std::u16string> Words(std::u16string_view text, size_t capacity = 1024) {
    std::vector<std::u16string> words;
    std::u16string word;
    std::optional<size_t> position = 0;
    while ((position = NextWord(text, *position, &word, capacity)))
        words.push_back(word);
    return words;
}

using WordList = std::vector<std::u16string>;

TEST(NextWord, SplitsAtBlanksAndTabsAndSkipsThemAtBothEnds) {
    EXPECT_EQ(Words(u"  a\tbc   d \t"), (WordList{u"a", u"bc", u"d"}));
    EXPECT_EQ(Words(u""), WordList{});
    EXPECT_EQ(Words(u" \t  "), WordList{});
    // Line breaks are not blanks.
    EXPECT_EQ(Words(u"a\nb"), WordList{u"a\nb"});
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

TEST(NextWord, QuotesGroupBlanksAndAreRemoved) {
    EXPECT_EQ(Words(u"\"a b\" c"), (WordList{u"a b", u"c"}));
    EXPECT_EQ(Words(u"ab\"c d\"e f"), (WordList{u"abc de", u"f"}));
    EXPECT_EQ(Words(u"\"C:\\Program Files\\Mivora\\uninstall.exe\" /S"),
              (WordList{u"C:\\Program Files\\Mivora\\uninstall.exe", u"/S"}));
    // Two quotes in a row are a quote character, not an empty quoted text.
    EXPECT_EQ(Words(u"\"\" x"), (WordList{u"\"", u"x"}));
}

TEST(NextWord, TwoQuotesStandForOneQuoteInsideAndOutsideQuotes) {
    EXPECT_EQ(Words(u"a\"\"b"), WordList{u"a\"b"});
    EXPECT_EQ(Words(u"\"a\"\"b c\" d"), (WordList{u"a\"b c", u"d"}));
    // Two quotes, then a single one that opens quotes to the end.
    EXPECT_EQ(Words(u"\"\"\" x"), WordList{u"\" x"});
}

TEST(NextWord, AnUnbalancedQuoteMakesTheRestOneWord) {
    EXPECT_EQ(Words(u"/S \"a b  /setup\tc"), (WordList{u"/S", u"a b  /setup\tc"}));
    EXPECT_EQ(Words(u"\""), WordList{u""});
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
    while (text.size() < 100000)
        text += u"/wait\t";
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

TEST_F(SwitchParsing, SilentSwitchIsSlashOrDashSNotFollowedByAnAsciiLetter) {
    for (const char16_t* word : {u"/S", u"/s", u"-S", u"-s", u"/S2", u"/S-", u"/S.", u"/s/setup",
                                 u"/S\u00e9", u"/S\u00c4x", u"\"/S\""}) {
        TheSwitches().Reset();
        const ParseResult r = Run(Line(word));
        EXPECT_TRUE(TheSwitches().SilentMode)
            << "word " << testing::PrintToString(std::u16string(word));
        // The silent switch is not counted: still an uninstall.
        EXPECT_TRUE(r.uninstall);
        EXPECT_FALSE(r.setup);
    }
}

TEST_F(SwitchParsing, WordsThatOnlyLookSilentAreCountedSwitches) {
    for (const char16_t* word :
         {u"/Sx", u"/SX", u"/Sequence", u"-silent", u"/", u"-", u"/\u015a", u"/\u00df", u"/x"}) {
        TheSwitches().Reset();
        const ParseResult r = Run(Line(word));
        EXPECT_FALSE(TheSwitches().SilentMode) << testing::PrintToString(std::u16string(word));
        EXPECT_FALSE(r.uninstall) << testing::PrintToString(std::u16string(word));
        EXPECT_FALSE(r.setup);
        EXPECT_TRUE(r.calls.empty());
    }
    // Without a switch character a word is no switch at all.
    EXPECT_TRUE(Run(Line(u"S")).uninstall);
    EXPECT_FALSE(TheSwitches().SilentMode);
}

TEST_F(SwitchParsing, ResultingModes) {
    ParseResult r = Run(std::u16string(kProgram));
    EXPECT_TRUE(r.uninstall);
    EXPECT_FALSE(r.setup);

    r = Run(u"");
    EXPECT_TRUE(r.uninstall);

    r = Run(Line(u"/setup"));
    EXPECT_TRUE(r.setup);
    EXPECT_FALSE(r.uninstall);

    r = Run(Line(u"/S /setup /msi /noexplorer"));
    EXPECT_TRUE(r.setup);
    EXPECT_FALSE(r.uninstall);
    EXPECT_TRUE(TheSwitches().SilentMode);
    EXPECT_TRUE(TheSwitches().MsiMode);
    EXPECT_TRUE(TheSwitches().NoExplorer);

    // Any other switch without /setup: neither mode.
    for (const char16_t* word : {u"/msi", u"/noexplorer", u"/initA1", u"/foo", u"/set"}) {
        r = Run(Line(word));
        EXPECT_FALSE(r.setup) << testing::PrintToString(std::u16string(word));
        EXPECT_FALSE(r.uninstall) << testing::PrintToString(std::u16string(word));
    }
}

TEST_F(SwitchParsing, NamesMatchCaseInsensitivelyAndIgnoreWhatFollows) {
    EXPECT_TRUE(Run(Line(u"/SETUPNOW")).setup);
    EXPECT_TRUE(Run(Line(u"-Setup")).setup);
    EXPECT_FALSE(Run(Line(u"/set")).setup);
    EXPECT_FALSE(Run(Line(u"/setu")).setup);

    Run(Line(u"/noexplore"));
    EXPECT_FALSE(TheSwitches().NoExplorer);
    Run(Line(u"/NOEXPLORERplease"));
    EXPECT_TRUE(TheSwitches().NoExplorer);

    // The first name that matches acts; the others are not tried.
    TheSwitches().Reset();
    Run(Line(u"/setupmsi"));
    EXPECT_FALSE(TheSwitches().MsiMode);
}

TEST_F(SwitchParsing, InitKeepsWhatFollowsTheNameUpTo39Characters) {
    Run(Line(u"/initA1101D1P0"));
    EXPECT_EQ(TheSwitches().InitOptionsText, u"A1101D1P0");
    Run(Line(u"-INITs1"));
    EXPECT_EQ(TheSwitches().InitOptionsText, u"s1");
    Run(Line(u"\"/init a b\""));
    EXPECT_EQ(TheSwitches().InitOptionsText, u" a b");

    const std::u16string options = u"A" + std::u16string(60, u'1');
    Run(Line(u"/init" + options));
    EXPECT_EQ(TheSwitches().InitOptionsText, options.substr(0, 39));

    // The last /init wins.
    Run(Line(u"/initD1 /initP0"));
    EXPECT_EQ(TheSwitches().InitOptionsText, u"P0");
}

TEST_F(SwitchParsing, WaitAndWarningActWhileParsingInTheirOrder) {
    ParseResult r = Run(Line(u"/wait"));
    EXPECT_EQ(r.calls, (WordList{u"pause 2s"}));
    EXPECT_FALSE(r.uninstall);
    EXPECT_FALSE(r.setup);

    r = Run(Line(u"/WAIT /Wait"));
    EXPECT_EQ(r.calls, (WordList{u"pause 2s", u"pause 2s"}));

    r = Run(Line(u"/wait /warning -waitlonger"));
    EXPECT_EQ(r.calls, (WordList{u"pause 2s", u"warning", u"pause 2s"}));

    r = Run(Line(u"/wai /warn"));
    EXPECT_TRUE(r.calls.empty());
}

TEST_F(SwitchParsing, AQuotedSwitchStillCounts) {
    EXPECT_TRUE(Run(Line(u"\"/setup\"")).setup);
    EXPECT_EQ(Run(Line(u"\"/wa\"it")).calls, WordList{u"pause 2s"});
}

TEST_F(SwitchParsing, TheEnvironmentCanOnlyMakeTheProgramSilent) {
    ParseResult r =
        Run(u"/setup /msi /noexplorer /initD1 /wait /warning", std::u16string(kProgram));
    EXPECT_FALSE(r.setup);
    EXPECT_TRUE(r.uninstall);
    EXPECT_FALSE(TheSwitches().MsiMode);
    EXPECT_FALSE(TheSwitches().NoExplorer);
    EXPECT_TRUE(TheSwitches().InitOptionsText.empty());
    EXPECT_TRUE(r.calls.empty());
    EXPECT_FALSE(TheSwitches().SilentMode);

    r = Run(u"/S", Line(u"/setup"));
    EXPECT_TRUE(TheSwitches().SilentMode);
    EXPECT_TRUE(r.setup);
    EXPECT_FALSE(r.uninstall);

    TheSwitches().Reset();
    r = Run(u"  -s  ", std::u16string(kProgram));
    EXPECT_TRUE(TheSwitches().SilentMode);
    EXPECT_TRUE(r.uninstall);
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
}

TEST(MatchSwitchName, ATerminatorCountsWhenTheTextIsShorterThanN) {
    // n beyond both lengths compares the whole texts, terminators included.
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
}

TEST(UninstallWarning, TranslatedFormatsCannotReadMissingArguments) {
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
