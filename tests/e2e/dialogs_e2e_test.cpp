// The dialogs end to end: cancelling, the context-menu items dialog, a
// language file's dialog sections, the fallback to the program's own
// templates, and the /warning notice.
#include <shlobj.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/registry.h"
#include "support/ui_session.h"

namespace ozu::test {
namespace {

const int kTypeControls[] = {5101, 5102, 5103, 5104, 5105, 5106, 5107, 5108, 5109,
                             5110, 5111, 5112, 5113, 5114, 5115, 5116, 5117};

std::string MenuItem(std::string_view name) {
    return ValueText(HKEY_CURRENT_USER, "Software\\Mivora\\Setup\\MenuItems", name);
}

int CountLines(const std::string& output, const std::string& start) {
    int count = 0;
    for (size_t at = 0; at < output.size();) {
        if (output.compare(at, start.size(), start) == 0)
            ++count;
        size_t end = output.find('\n', at);
        at = end == std::string::npos ? output.size() : end + 1;
    }
    return count;
}

std::wstring Describe(const DriverResult& result) {
    return FromUtf8(result.output);
}

std::set<std::wstring> FilesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().wstring());
    return names;
}

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

class DialogsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ClearIntegration(); }
    void TearDown() override { ClearIntegration(); }
};

TEST_F(DialogsEndToEnd, CancelWritesNothingAndEndsWithExitCodeOne) {
    Installation installation = Installation::Stage(L"cancel");
    DeleteFileW(installation.File(L"Mivora.chm").c_str());
    const std::set<std::wstring> staged = FilesIn(installation.folder);
    // The close box, after trying the select-all button and Help (no help file
    // is installed: nothing happens).
    DriverResult closed = RunDriver({
        installation.Launch(L"/setup"),
        L"wait",
        L"press 5124",
        L"dump",
        L"press 5124",
        L"dump",
        L"press 9",
        L"sleep 500",
        L"windows",
        L"close",
        L"exit",
    });
    ASSERT_EQ(closed.driverExit, 0) << Describe(closed);
    EXPECT_EQ(closed.programExit, 1);
    ASSERT_EQ(closed.dumps.size(), 2u);
    const std::map<int, ControlSeen>& buttons = closed.dumps[0].controls;
    for (auto [id, text] : {std::pair{1, L"OK"}, {2, L"Cancel"}, {9, L"Help"}}) {
        ASSERT_EQ(buttons.count(id), 1u) << id;
        EXPECT_EQ(buttons.at(id).text, text);
        EXPECT_TRUE(buttons.at(id).enabled) << id;
    }
    for (int id : kTypeControls) {
        EXPECT_EQ(closed.dumps[0].controls.at(id).checked, 1) << "any clear: tick all, " << id;
        EXPECT_EQ(closed.dumps[1].controls.at(id).checked, 0) << "all ticked: clear all, " << id;
    }
    EXPECT_EQ(CountLines(closed.output, "open "), 1) << "Help opened nothing: " << Describe(closed);

    // Escape and the Cancel button cancel as well.
    for (const wchar_t* cancel : {L"escape", L"press 2"}) {
        DriverResult cancelled =
            RunDriver({installation.Launch(L"/setup"), L"wait", cancel, L"exit"});
        ASSERT_EQ(cancelled.driverExit, 0) << Describe(cancelled);
        EXPECT_EQ(cancelled.programExit, 1) << cancel;
    }
    EXPECT_EQ(FilesIn(installation.folder), staged);

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Mivora"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Mivora"));
    EXPECT_NE(ClassOf(".ozu"), "Mivora");
    EXPECT_EQ(GetFileAttributesW((AsWide(ShellFolder(CSIDL_PROGRAMS)) + L"\\Mivora").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogsEndToEnd, ContextMenuItemsAreStoredWhenConfirmed) {
    Installation installation = Installation::Stage(L"context-items");
    DriverResult result = RunDriver({
        installation.Launch(L"/setup"),
        L"wait",
        L"press 5126",
        L"wait Context",
        L"dump",
        L"check 111 1",
        L"check 101 0",
        L"settext 121 \"*.iso;*.img\"",
        L"press 1",
        L"wait",
        L"press 5126",
        L"wait Context",
        L"dump",
        L"check 112 1",
        L"press 2",
        L"wait",
        L"close",
        L"exit",
    });
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 1) << "the setup dialog itself was cancelled";
    ASSERT_EQ(result.dumps.size(), 2u) << Describe(result);

    // Nothing stored yet: every item but "Test" and "Convert".
    const WindowSeen& fresh = result.dumps[0];
    EXPECT_EQ(fresh.caption, L"Context menu items");
    for (int id = 101; id <= 120; ++id) {
        if (id == 113)
            continue; // the "New" group box
        EXPECT_EQ(fresh.controls.at(id).checked, id == 111 || id == 112 ? 0 : 1) << id;
    }
    EXPECT_EQ(fresh.controls.at(121).text, L"*.iso");

    // The second opening shows what the first stored.
    const WindowSeen& again = result.dumps[1];
    EXPECT_EQ(again.controls.at(111).checked, 1);
    EXPECT_EQ(again.controls.at(101).checked, 0);
    EXPECT_EQ(again.controls.at(121).text, L"*.iso;*.img");

    EXPECT_EQ(MenuItem("Test"), "1");
    EXPECT_EQ(MenuItem("ExtrTo"), "0");
    EXPECT_EQ(MenuItem("Convert"), "0") << "the cancelled second opening stored nothing";
    EXPECT_EQ(MenuItem("DragExtr"), "1");
    EXPECT_EQ(MenuItem("NewZIP"), "1");
    EXPECT_EQ(MenuItem("AlwaysArc"), "*.iso;*.img");
    // The setup dialog was cancelled: its own choices were not stored.
    EXPECT_EQ(ValueText(HKEY_CURRENT_USER, "Software\\Mivora\\Setup", "ShellExt"), "<none>");
}

// A language file in the installation folder, in the ANSI code page (1252).
void StageLanguageFile(const Installation& installation, const std::string& lines) {
    MakeFile(installation.File(L"uninstall.lng"),
             "Translation of the Mivora setup\r\n***messages***\r\n" + lines);
}

std::vector<std::wstring> WithCompletion(std::vector<std::wstring> commands) {
    commands.insert(commands.end(), {L"wait", L"dump", L"press 1"});
    if (RunningOn64BitWindows())
        commands.insert(commands.end(), {L"wait", L"press 1"});
    commands.push_back(L"exit");
    return commands;
}

TEST_F(DialogsEndToEnd, LanguageFileChangesTextsAndScalesTheDialog) {
    Installation installation = Installation::Stage(L"language");
    DriverResult english =
        RunDriver({installation.Launch(L"/setup"), L"wait", L"dump", L"close", L"exit"});
    ASSERT_EQ(english.driverExit, 0) << Describe(english);
    ASSERT_EQ(english.dumps.size(), 1u);

    StageLanguageFile(installation, ":DIALOG SETUPDLG\r\n"
                                    "CAPTION Mivora-Einrichtung\r\n"
                                    "SIZE 150*120\r\n"
                                    "IDC_ASSOCOZU OZU-Archive\r\n"
                                    "IDC_SHELLINTEGRATION Integration in die Shell\r\n"
                                    "IDOK Weiter\r\n"
                                    "IDCANCEL Abbrechen\r\n"
                                    ":DIALOG SETUPCONTEXTITEMS\r\n"
                                    "CAPTION Kontextmen\xfc\r\n"
                                    "IDC_CONTEXTTEST Archiv testen\r\n"
                                    ":DIALOG DONEDLG\r\n"
                                    "CAPTION Fertig\r\n"
                                    "IDC_THANKS \"  Danke!  \"\r\n");
    DriverResult translated = RunDriver(WithCompletion({
                                            installation.Launch(L"/setup /noexplorer"),
                                            L"wait",
                                            L"dump",
                                            L"press 5126",
                                            L"wait",
                                            L"dump",
                                            L"press 2",
                                            L"wait",
                                            L"press 1",
                                        }),
                                        installation.folder);
    ASSERT_EQ(translated.driverExit, 0) << Describe(translated);
    ASSERT_GE(translated.dumps.size(), 3u) << Describe(translated);

    const WindowSeen& before = english.dumps[0];
    const WindowSeen& setup = translated.dumps[0];
    EXPECT_EQ(setup.caption, L"Mivora-Einrichtung");
    EXPECT_EQ(setup.controls.at(5101).text, L"OZU-Archive");
    EXPECT_EQ(setup.controls.at(5130).text, L"Integration in die Shell");
    EXPECT_EQ(setup.controls.at(1).text, L"Weiter");
    EXPECT_EQ(setup.controls.at(2).text, L"Abbrechen");
    EXPECT_EQ(setup.controls.at(5102).text, L"ZIP") << "keys the file lacks keep their text";

    // SIZE 150*120: the client area and every control grow, the frame does not,
    // and the dialog stays centred where it was.
    EXPECT_NEAR(setup.clientWidth, before.clientWidth * 3 / 2, 2);
    EXPECT_NEAR(setup.clientHeight, before.clientHeight * 6 / 5, 2);
    EXPECT_NEAR(Width(setup.rect) - setup.clientWidth, Width(before.rect) - before.clientWidth, 1);
    for (int id : {5127, 5125, 1, 2}) {
        const RECT& was = before.controls.at(id).rect;
        const RECT& now = setup.controls.at(id).rect;
        EXPECT_NEAR(now.left, was.left * 3 / 2, 2) << id;
        EXPECT_NEAR(Width(now), Width(was) * 3 / 2, 2) << id;
        EXPECT_NEAR(now.top, was.top * 6 / 5, 2) << id;
        EXPECT_NEAR(Height(now), Height(was) * 6 / 5, 2) << id;
    }
    EXPECT_NEAR((setup.rect.left + setup.rect.right) / 2,
                (before.rect.left + before.rect.right) / 2, 2);
    EXPECT_NEAR((setup.rect.top + setup.rect.bottom) / 2,
                (before.rect.top + before.rect.bottom) / 2, 2);

    const WindowSeen& items = translated.dumps[1];
    EXPECT_EQ(items.caption, L"Kontextmen\u00fc");
    EXPECT_EQ(items.controls.at(111).text, L"Archiv testen");

    const WindowSeen& done = translated.dumps[2];
    EXPECT_EQ(done.caption, L"Fertig");
    EXPECT_EQ(done.controls.at(5109).text, L"  Danke!  ");
}

TEST_F(DialogsEndToEnd, RightToLeftLanguageMirrorsTheDialogs) {
    Installation installation = Installation::Stage(L"rtl");
    StageLanguageFile(installation, ":DIRECTION RTL\r\n");
    DriverResult result =
        RunDriver({installation.Launch(L"/setup"), L"wait", L"dump", L"press 5126", L"wait",
                   L"dump", L"press 2", L"wait", L"close", L"exit"});
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    ASSERT_EQ(result.dumps.size(), 2u);
    EXPECT_TRUE(result.dumps[0].rtl);
    EXPECT_TRUE(result.dumps[1].rtl);
    EXPECT_EQ(result.programExit, 1);
}

TEST_F(DialogsEndToEnd, LanguageLibraryWithoutUsableTemplateFallsBackToOurs) {
    Installation installation = Installation::Stage(L"library");
    ASSERT_TRUE(CopyFileW(WinePath(OZU_TEST_LANGUAGE_LIBRARY).c_str(),
                          installation.File(L"ozulng.dll").c_str(), FALSE));
    DriverResult result =
        RunDriver({installation.Launch(L"/setup"), L"wait", L"dump", L"press 5126", L"wait",
                   L"dump", L"press 2", L"wait", L"close", L"exit"});
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 1);
    ASSERT_EQ(result.dumps.size(), 2u) << Describe(result);
    // Our template, with the library's texts.
    EXPECT_EQ(result.dumps[0].controls.count(5101), 1u);
    std::wstring explanation = result.dumps[0].controls.at(5125).text;
    EXPECT_EQ(explanation.rfind(L"    Text of the language library", 0), 0u) << explanation;
    EXPECT_EQ(result.dumps[1].controls.count(121), 1u);
}

TEST_F(DialogsEndToEnd, WarningNamesTheProgramsPath) {
    Installation installation = Installation::Stage(L"warning");
    DriverResult result =
        RunDriver({installation.Launch(L"/warning"), L"wait", L"dump", L"press 1", L"exit"});
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    ASSERT_EQ(result.dumps.size(), 1u);
    EXPECT_EQ(result.dumps[0].caption, ProgramString(5106));
    bool named = false;
    for (const auto& [id, control] : result.dumps[0].controls)
        named = named || control.text.find(installation.Program()) != std::wstring::npos;
    EXPECT_TRUE(named) << Describe(result);
    EXPECT_EQ(CountLines(result.output, "window "), 2) << "one message box only";
}

} // namespace
} // namespace ozu::test
