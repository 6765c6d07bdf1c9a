// The completion dialog in this process, looked at from a second thread: the
// folder it names, the bold thanks text, its icon, and silent mode.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "dialogs/done_dialog.h"

namespace ozu {
namespace {

HWND WaitForOwnDialog() {
    for (int attempt = 0; attempt < 400; ++attempt) {
        struct Search {
            HWND found = nullptr;
        } search;
        EnumWindows(
            [](HWND window, LPARAM param) CALLBACK -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (process != GetCurrentProcessId() || std::wstring(name) != L"#32770" ||
                    !IsWindowVisible(window))
                    return TRUE;
                reinterpret_cast<Search*>(param)->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

struct Seen {
    bool found = false;
    std::wstring folder;
    LONG thanksWeight = 0;
    LONG optionsWeight = 0;
    HICON icon = nullptr;
    HWND focus = nullptr;
    HWND ok = nullptr;
};

TEST(DoneDialog, ShowsTheFolderTheBoldThanksAndTheIcon) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"ozu-done-dialog";
    CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));

    HFONT bold =
        CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, L"MS Shell Dlg");
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
    Seen seen;
    std::thread inspector([&seen] {
        HWND dialog = WaitForOwnDialog();
        if (!dialog)
            return;
        seen.found = true;
        seen.folder = TextOf(GetDlgItem(dialog, 5102));
        auto weightOf = [dialog](int id) {
            auto font = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0));
            LOGFONTW log{};
            GetObjectW(font, sizeof(log), &log);
            return log.lfWeight;
        };
        seen.thanksWeight = weightOf(5109);
        seen.optionsWeight = weightOf(5103);
        seen.icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
        seen.ok = GetDlgItem(dialog, IDOK);
        GUITHREADINFO gui{};
        gui.cbSize = sizeof(gui);
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
        seen.focus = gui.hwndFocus;
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    RunDoneDialog(DoneDialogContext{false, icon, bold});
    inspector.join();
    SetCurrentDirectoryW(previous);
    DeleteObject(bold);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.folder, folder);
    EXPECT_EQ(seen.thanksWeight, FW_BOLD);
    EXPECT_LT(seen.optionsWeight, FW_BOLD) << "only the thanks text is bold";
    EXPECT_EQ(seen.icon, icon);
    EXPECT_EQ(seen.focus, seen.ok) << "Enter closes the dialog";
}

TEST(DoneDialog, SilentModeClosesItself) {
    std::atomic<bool> finished{false};
    std::atomic<bool> closedByWatchdog{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !finished; ++i)
            Sleep(50);
        if (!finished) {
            closedByWatchdog = true;
            if (HWND dialog = WaitForOwnDialog())
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
    });
    RunDoneDialog(DoneDialogContext{true, nullptr, nullptr});
    finished = true;
    watchdog.join();
    EXPECT_FALSE(closedByWatchdog);
}

} // namespace
} // namespace ozu
