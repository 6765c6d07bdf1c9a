// Setup mode end to end: the built uninstall.exe in a staged installation
// folder, driven through its dialogs by the UI driver, and the registry and
// shell folders looked at afterwards.
#include <shlobj.h>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/registry.h"
#include "support/ui_session.h"

namespace ozu::test {
namespace {

constexpr int kAssocOzu = 5101, kAssocZip = 5102, kAssocTar = 5107, kAssocJar = 5111;
constexpr int kShellExt = 5121, kShellCascaded = 5122, kShellIcons = 5123, kSelectAll = 5124;
constexpr int kContextMenuButton = 5126, kDoneFolder = 5102;
const int kTypeControls[] = {5101, 5102, 5103, 5104, 5105, 5106, 5107, 5108, 5109,
                             5110, 5111, 5112, 5113, 5114, 5115, 5116, 5117};

std::string SettingsValue(std::string_view key, std::string_view name) {
    return ValueText(HKEY_CURRENT_USER, "Software\\Mivora\\" + std::string(key), name);
}

std::wstring Describe(const DriverResult& result) {
    return FromUtf8(result.output);
}

class SetupEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ClearIntegration();
        SetEnvironmentVariableW(L"sfxcmd", nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"sfxcmd", nullptr);
        ClearIntegration();
    }

    // The commands that close the completion dialog and, on 64-bit Windows
    // only, the notice about the 32-bit edition that follows it.
    static std::vector<std::wstring> AcceptCompletion() {
        std::vector<std::wstring> commands = {L"wait", L"dump", L"press 1"};
        if (RunningOn64BitWindows())
            commands.insert(commands.end(), {L"wait", L"dump", L"press 1"});
        commands.insert(commands.end(), {L"timeout 15000", L"exit"});
        return commands;
    }

    static void ExpectNotice(const DriverResult& result, size_t dumpIndex) {
        if (!RunningOn64BitWindows()) {
            EXPECT_EQ(result.dumps.size(), dumpIndex) << "no notice on 32-bit Windows";
            return;
        }
        // Wine's 64-bit Windows is x64, never Itanium: the notice must come.
        ASSERT_GT(result.dumps.size(), dumpIndex) << Describe(result);
        const WindowSeen& notice = result.dumps[dumpIndex];
        EXPECT_EQ(notice.caption, ProgramString(5101));
        bool found = false;
        for (const auto& [id, control] : notice.controls)
            found = found || control.text == ProgramString(5130);
        EXPECT_TRUE(found) << "the notice shows IDS_WARN32BIT: " << Describe(result);
    }
};

TEST_F(SetupEndToEnd, ConfirmedChoicesAreStoredAndApplied) {
    Installation installation = Installation::Stage(L"confirm");
    std::vector<std::wstring> commands = {
        installation.Launch(L"/setup"),
        L"wait",
        L"dump",
        L"check 5102 0",
        L"check 5107 0",
        L"check 5121 0",
        L"dump",
        L"press 1",
    };
    for (const std::wstring& command : AcceptCompletion())
        commands.push_back(command);
    // The new program group opens in the shell; the test closes it again.
    commands.insert(commands.end(), {L"waitwindow Mivora", L"closewindow"});
    DriverResult result = RunDriver(commands, installation.folder);
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    EXPECT_NE(result.output.find("\nfound "), std::string::npos) << Describe(result);
    ASSERT_GE(result.dumps.size(), 3u) << Describe(result);

    // What a fresh system offers: every type but ".jar", the shell extension
    // with its menu icons.
    const WindowSeen& shown = result.dumps[0];
    EXPECT_EQ(shown.caption, L"Mivora setup");
    EXPECT_EQ(shown.controls.at(kAssocOzu).checked, 1);
    EXPECT_EQ(shown.controls.at(kAssocJar).checked, 0);
    EXPECT_EQ(shown.controls.at(kShellExt).checked, 1);
    EXPECT_EQ(shown.controls.at(kShellIcons).checked, 1);
    EXPECT_EQ(shown.controls.at(kShellCascaded).checked, 0);
    EXPECT_TRUE(shown.controls.at(kShellCascaded).enabled);
    EXPECT_EQ(shown.controls.at(5120).checked, 1) << "program group";
    EXPECT_EQ(shown.controls.at(5118).checked, 0) << "desktop shortcut";
    std::wstring explanation = shown.controls.at(5125).text;
    EXPECT_EQ(explanation.rfind(L"    " + ProgramString(5120), 0), 0u) << explanation;
    EXPECT_NE(explanation.find(ProgramString(5125)), std::wstring::npos) << explanation;

    // Without the shell extension its menu style cannot be chosen.
    const WindowSeen& changed = result.dumps[1];
    EXPECT_FALSE(changed.controls.at(kShellCascaded).enabled);
    EXPECT_FALSE(changed.controls.at(kShellIcons).enabled);

    // The completion dialog shows the folder setup ran in.
    const WindowSeen& done = result.dumps[2];
    EXPECT_EQ(done.controls.at(kDoneFolder).text, installation.folder);
    ExpectNotice(result, 3);

    EXPECT_EQ(SettingsValue("Setup\\.zip", "Set"), "0");
    EXPECT_EQ(SettingsValue("Setup\\.tar", "Set"), "0");
    EXPECT_EQ(SettingsValue("Setup\\.ozu", "Set"), "1");
    EXPECT_EQ(SettingsValue("Setup", "ShellExt"), "0");
    EXPECT_EQ(ClassOf(".ozu"), "Mivora");
    EXPECT_EQ(ClassOf(".7z"), "Mivora");
    EXPECT_NE(ClassOf(".zip"), "Mivora.ZIP");
    EXPECT_NE(ClassOf(".tar"), "Mivora");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kExtensionClsids[0]));
    EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kAppPathKey, ""),
              Utf8(installation.File(L"Mivora.exe")));
    EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              Utf8(L"\"" + installation.Program() + L"\""));
}

// Runs the program silently with `arguments` and expects it to end by itself,
// without any window waiting for an answer, and without opening the program
// group in the shell.
DriverResult RunSilently(const Installation& installation, const std::wstring& arguments) {
    return RunDriver(
        {L"timeout 30000", installation.Launch(arguments), L"exit", L"nowindow Mivora 1500"},
        installation.folder);
}

void ExpectDefaultsApplied(const Installation& installation) {
    EXPECT_EQ(SettingsValue("Setup\\.zip", "Set"), "1");
    EXPECT_EQ(SettingsValue("Setup", "ShellExt"), "1");
    EXPECT_EQ(ClassOf(".ozu"), "Mivora");
    EXPECT_EQ(ClassOf(".zip"), "Mivora.ZIP");
    EXPECT_EQ(ClassOf(".tbz2"), "Mivora");
    EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kAppPathKey, ""),
              Utf8(installation.File(L"Mivora.exe")));
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT,
                        std::string("CLSID\\") + kExtensionClsids[0] + "\\InProcServer32", ""),
              Utf8(installation.File(L"ozuext.dll")));
    std::wstring group = AsWide(ShellFolder(CSIDL_COMMON_PROGRAMS)) + L"\\Mivora\\Mivora.lnk";
    EXPECT_NE(GetFileAttributesW(group.c_str()), INVALID_FILE_ATTRIBUTES) << group;
}

TEST_F(SetupEndToEnd, SilentSetupAcceptsEveryDialogItself) {
    Installation installation = Installation::Stage(L"silent");
    // A "RemShown" of an earlier setup goes, so that the archiver shows its notice again.
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Mivora\\Interface\\Misc", 0, nullptr, 0,
                    KEY_WRITE, nullptr, &key, nullptr);
    DWORD one = 1;
    RegSetValueExW(key, L"RemShown", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(one));
    RegCloseKey(key);

    DriverResult result = RunSilently(installation, L"/setup /S");
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    ExpectDefaultsApplied(installation);
    EXPECT_EQ(SettingsValue("Interface\\Misc", "RemShown"), "<none>");
    EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              Utf8(L"\"" + installation.Program() + L"\""));
    if (RunningOn64BitWindows()) {
        EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT,
                            std::string("CLSID\\") + kExtensionClsids[1] + "\\InProcServer32", "",
                            KEY_WOW64_64KEY),
                  Utf8(installation.File(L"ozuext64.dll")));
    }
}

// Silent from the installer's environment, under a package installer (which
// keeps the uninstall entry to itself), without Explorer, and with no window
// at all (/quiet, where the dialogs are not made).
TEST_F(SetupEndToEnd, EveryWayToBeSilentAppliesTheDefaults) {
    const struct {
        const wchar_t* name;
        const wchar_t* sfxcmd;
        const wchar_t* arguments;
        bool uninstallEntry;
    } cases[] = {{L"sfxcmd", L"/S", L"/setup", true},
                 {L"msi", nullptr, L"/setup /S /msi", false},
                 {L"noexplorer", nullptr, L"/setup /S /noexplorer", true},
                 {L"quiet", nullptr, L"/setup /S /quiet", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments));
        ClearIntegration();
        Installation installation = Installation::Stage(c.name);
        SetEnvironmentVariableW(L"sfxcmd", c.sfxcmd);
        DriverResult result = RunSilently(installation, c.arguments);
        SetEnvironmentVariableW(L"sfxcmd", nullptr);
        ASSERT_EQ(result.driverExit, 0) << Describe(result);
        EXPECT_EQ(result.programExit, 0);
        ExpectDefaultsApplied(installation);
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey), c.uninstallEntry);
    }
}

TEST_F(SetupEndToEnd, InitTextOverridesTheStoredChoices) {
    Installation installation = Installation::Stage(L"init");
    // .ozu and .zip off, the rest of the types on; desktop shortcut, no shell extension.
    DriverResult result = RunSilently(installation, L"/setup /S /initA00111111111111111D1S0");
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    EXPECT_EQ(SettingsValue("Setup\\.ozu", "Set"), "0");
    EXPECT_EQ(SettingsValue("Setup\\.zip", "Set"), "0");
    EXPECT_EQ(SettingsValue("Setup\\.cab", "Set"), "1");
    EXPECT_EQ(SettingsValue("Setup\\Links", "Desktop"), "1");
    EXPECT_EQ(SettingsValue("Setup", "ShellExt"), "0");
    EXPECT_NE(ClassOf(".ozu"), "Mivora");
    EXPECT_EQ(ClassOf(".cab"), "Mivora");
}

TEST_F(SetupEndToEnd, PackageSetupShowsNothingAfterTheSetupDialog) {
    Installation installation = Installation::Stage(L"msi-dialog");
    DriverResult result = RunDriver({installation.Launch(L"/setup /msi"), L"wait", L"press 1",
                                     L"timeout 15000", L"exit", L"nowindow Mivora 1500"},
                                    installation.folder);
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    EXPECT_EQ(result.windows.size(), 1u) << Describe(result);
}

TEST_F(SetupEndToEnd, NoExplorerStillShowsTheCompletionDialog) {
    Installation installation = Installation::Stage(L"noexplorer-dialog");
    std::vector<std::wstring> commands = {installation.Launch(L"/setup /noexplorer"), L"wait",
                                          L"press 1"};
    for (const std::wstring& command : AcceptCompletion())
        commands.push_back(command);
    commands.push_back(L"nowindow Mivora 2000");
    DriverResult result = RunDriver(commands, installation.folder);
    ASSERT_EQ(result.driverExit, 0) << Describe(result);
    EXPECT_EQ(result.programExit, 0);
    ASSERT_GE(result.dumps.size(), 1u);
    EXPECT_EQ(result.dumps[0].controls.at(kDoneFolder).text, installation.folder);
    ExpectNotice(result, 1);
}

} // namespace
} // namespace ozu::test
