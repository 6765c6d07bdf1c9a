// How the self-removal batch file names its paths and which lines it holds.
#include <gtest/gtest.h>

#include "control/batch_script.h"

namespace ozu {
namespace {

bool NeverExact(std::u16string_view) {
    return false;
}
bool AlwaysExact(std::u16string_view) {
    return true;
}

TEST(BatchForm, AsciiPathsAreWrittenAsTheyAre) {
    EXPECT_EQ(
        ChooseBatchForm(u"C:\\Mivora\\uninstall.exe", u"C:\\MIVORA\\UNINST~1.EXE", NeverExact),
        u"C:\\Mivora\\uninstall.exe");
}

TEST(BatchForm, OtherPathsPreferAnAsciiShortFormThenAnExactConsoleForm) {
    const std::u16string path = u"C:\\M\u00e9t\u00e9\\uninstall.exe";
    EXPECT_EQ(ChooseBatchForm(path, u"C:\\METE~1\\UNINST~1.EXE", NeverExact),
              u"C:\\METE~1\\UNINST~1.EXE");
    // Short names switched off: the short form is the long one.
    EXPECT_EQ(ChooseBatchForm(path, path, AlwaysExact), path);
    EXPECT_EQ(ChooseBatchForm(path, u"", AlwaysExact), path);
    EXPECT_FALSE(ChooseBatchForm(path, path, NeverExact));
    EXPECT_FALSE(ChooseBatchForm(path, u"", NeverExact));
}

const std::u16string P = u"C:\\Mivora\\uninstall.exe";
const std::u16string F = u"C:\\Mivora";
const std::u16string B = u"C:\\Temp\\Uninstall_Ozu.Bat";

std::u16string Joined(const std::vector<std::u16string>& lines) {
    std::u16string all;
    for (const auto& line : lines) {
        all += line;
    }
    return all;
}

const std::u16string kAttempt = u"del \"C:\\Mivora\\uninstall.exe\"\r\n"
                                u"rd \"C:\\Mivora\"\r\n"
                                u"if not exist \"C:\\Mivora\\uninstall.exe\" goto done\r\n";

// Every attempt comes after the program's own pause, so that a program
// still running for a few seconds does not use them all up; the warning
// (never when silent) comes after the last attempt, and the batch file
// deletes itself last.
TEST(BatchLines, EachAttemptAfterAPauseThenTheWarningThenItself) {
    const std::u16string pause = u"\"C:\\Mivora\\uninstall.exe\" /wait\r\n";
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent);
        const std::u16string all = Joined(ComposeBatchLines({P, F, B}, silent));
        size_t at = 0;
        for (int attempt = 0; attempt < kBatchRemovalAttempts; ++attempt) {
            ASSERT_EQ(all.compare(at, pause.size() + kAttempt.size(), pause + kAttempt), 0)
                << "attempt " << attempt;
            at += pause.size() + kAttempt.size();
        }
        const std::u16string warning = u"if exist \"C:\\Mivora\\uninstall.exe\" "
                                       u"\"C:\\Mivora\\uninstall.exe\" /warning\r\n";
        EXPECT_EQ(all.substr(at), u":done\r\n" + (silent ? u"" : warning) +
                                      u"del \"C:\\Temp\\Uninstall_Ozu.Bat\"\r\n");
    }
}

TEST(BatchLines, LinesNeedingAPathWithoutAFormAreLeftOut) {
    EXPECT_EQ(Joined(ComposeBatchLines({std::nullopt, F, B}, false)),
              u":done\r\ndel \"C:\\Temp\\Uninstall_Ozu.Bat\"\r\n");
    std::u16string noFolder = Joined(ComposeBatchLines({P, std::nullopt, B}, false));
    EXPECT_EQ(noFolder.find(u"del \"C:\\Mivora\\uninstall.exe\""), std::u16string::npos);
    EXPECT_NE(noFolder.find(u"/wait"), std::u16string::npos);
    EXPECT_NE(noFolder.find(u"/warning"), std::u16string::npos);
    EXPECT_EQ(Joined(ComposeBatchLines({P, F, std::nullopt}, true)).find(u"Uninstall_Ozu"),
              std::u16string::npos);
}

TEST(BatchLines, PercentSignsAreDoubledSoTheInterpreterKeepsThem) {
    auto lines =
        ComposeBatchLines({u"C:\\50%off\\u.exe", u"C:\\50%off", u"C:\\T\\%TEMP%.bat"}, true);
    EXPECT_EQ(lines.front(), u"\"C:\\50%%off\\u.exe\" /wait\r\n");
    EXPECT_EQ(lines.back(), u"del \"C:\\T\\%%TEMP%%.bat\"\r\n");
}

TEST(BatchLines, TooLongLinesAreLeftOutNotCut) {
    std::u16string folder = u"C:\\" + std::u16string(400, u'x');
    std::u16string program = folder + u"\\uninstall.exe";
    auto lines = ComposeBatchLines({program, folder, B}, false);
    // The /wait line (about 430 characters) fits; an attempt names the
    // program twice and the folder once (over 1300 characters) and does not.
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], u"\"" + program + u"\" /wait\r\n");
    EXPECT_EQ(lines[1], u":done\r\n");
    EXPECT_EQ(lines[2], u"if exist \"" + program + u"\" \"" + program + u"\" /warning\r\n");
    for (const auto& line : lines) {
        EXPECT_LT(line.size(), kBatchLineCapacity);
    }
}

} // namespace
} // namespace ozu
