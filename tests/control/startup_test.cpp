// Start-up pieces in-process under Wine: the "sfxcmd" buffer, the /warning
// notice through the message-box seam, the bold font and the program icon.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "control/app_state.h"
#include "control/startup.h"
#include "control/switches.h"
#include "dialogs/message_box.h"
#include "localization/localized_strings.h"
#include "res/resource.h"

namespace ozu {
namespace {

class SfxCommand : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(L"sfxcmd", nullptr); }
    static void Set(const std::u16string& value) {
        ASSERT_TRUE(SetEnvironmentVariableW(L"sfxcmd", W(value)));
    }
};

TEST_F(SfxCommand, MissingOrEmptyGivesNoText) {
    SetEnvironmentVariableW(L"sfxcmd", nullptr);
    EXPECT_EQ(ReadSfxCommand(), u"");
    Set(u"");
    EXPECT_EQ(ReadSfxCommand(), u"");
}

TEST_F(SfxCommand, AValueThatFitsItsBufferIsReadWhole) {
    Set(u"/S /setup");
    EXPECT_EQ(ReadSfxCommand(), u"/S /setup");
    const std::u16string longest = u"/S" + std::u16string(1021, u' ');
    Set(longest);
    EXPECT_EQ(ReadSfxCommand(), longest);
}

TEST_F(SfxCommand, AValueLongerThanItsBufferStaysEmpty) {
    // Not read in part: a cut value could turn into a different switch.
    Set(u"/S" + std::u16string(1022, u' '));
    EXPECT_EQ(ReadSfxCommand(), u"");
    Set(u"/S" + std::u16string(70000, u'x'));
    EXPECT_EQ(ReadSfxCommand(), u"");
}

// The message boxes ShowMessageBox was asked for, answered with IDOK.
struct ShownBox {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT style;
};
std::vector<ShownBox> g_boxes;

int RecordBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style) {
    g_boxes.push_back({owner, std::u16string(text), std::u16string(caption), style});
    return IDOK;
}

class WarningSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        TheSwitches().Reset();
        previous_ = SetMessageBoxHookForTesting(&RecordBox);
    }
    void TearDown() override {
        SetMessageBoxHookForTesting(previous_);
        SetProgramPathForTesting(u"");
        TheSwitches().Reset();
    }

private:
    MessageBoxHook previous_ = nullptr;
};

TEST_F(WarningSwitch, ShowsOneNoticeNamingTheProgramFile) {
    SetProgramPathForTesting(u"C:\\Program Files\\Mivora\\uninstall.exe");
    bool setup = false;
    bool uninstall = false;
    ParseSwitches(PassKind::CommandLine, u"\"C:\\Program Files\\Mivora\\uninstall.exe\" /warning",
                  setup, uninstall);
    ASSERT_EQ(g_boxes.size(), 1u);
    const ShownBox& box = g_boxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.caption, u"Uninstall Mivora");
    EXPECT_EQ(box.caption, GetLocalizedString(IDS_UNINSTALLOZU));
    EXPECT_EQ(box.text, u"Mivora archiver has been removed from your computer.\n"
                        u"The program file C:\\Program Files\\Mivora\\uninstall.exe could not be "
                        u"deleted. Please delete it, and its folder, yourself.");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONINFORMATION | MB_SETFOREGROUND));
    EXPECT_FALSE(setup);
    EXPECT_FALSE(uninstall);
}

TEST_F(WarningSwitch, UsesTheRunningProgramsPathAndIsShownOncePerSwitch) {
    bool setup = false;
    bool uninstall = false;
    ParseSwitches(PassKind::CommandLine, u"x /warning /WARNING", setup, uninstall);
    ASSERT_EQ(g_boxes.size(), 2u);
    const std::u16string path = ProgramPath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(g_boxes[0].text.find(path), std::u16string::npos);
    // The environment pass never shows it.
    g_boxes.clear();
    ParseSwitches(PassKind::Environment, u"/warning", setup, uninstall);
    EXPECT_TRUE(g_boxes.empty());
}

// A fatal end (memory exhausted) still tells: the run log gets its result
// line with the fatal code, and /exitcodes turns the code into the failure
// that deployment tools know. Met in the save at exit after a normal end, it
// ends the process at once: exit is not called again from inside exit, so
// nothing registered before the save runs after it.
TEST(FatalEndDeathTest, TellsTheLogAndTheDeploymentTool) {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    const std::string log = std::string(temp) + "ozu-fatal-end.log";
    const struct {
        bool exitCodes;
        bool atExit;
        int code;
        const char* logged; // null: no log is open
    } cases[] = {
        {false, false, 8, "result exit-code=8 registry-failures=0 fatal=8\r\n"},
        {true, false, 1603, "result exit-code=1603 registry-failures=0 fatal=8\r\n"},
        {true, true, 1603, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.exitCodes) + std::to_string(c.atExit));
        DeleteFileA(log.c_str());
        EXPECT_EXIT(
            {
                TheSwitches().ExitCodes = c.exitCodes;
                StartFatalEndReport();
                if (c.logged)
                    OpenRunLog(std::u16string(log.begin(), log.end()));
                if (!c.atExit)
                    TheErrorHandler().MemoryError();
                std::atexit([] { std::fputs("[later]", stderr); });
                std::atexit([] {
                    std::fputs("[save]", stderr);
                    TheErrorHandler().MemoryError();
                });
                MarkProgramEnding();
                std::exit(0);
            },
            ::testing::ExitedWithCode(c.code), c.atExit ? "^\\[save\\]$" : "^$");
        if (c.logged) {
            std::ifstream file(log, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
            EXPECT_NE(text.find(c.logged), std::string::npos) << text;
        }
    }
    DeleteFileA(log.c_str());
}

} // namespace
} // namespace ozu
