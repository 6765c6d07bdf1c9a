// The whole sequences of setup and removal. Setup with every choice on, then
// everything that uninstall removes, must leave both registry views exactly
// as they were: every previous owner back, nothing of ours left.
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "base/system_info.h"
#include "base/win32_text.h"
#include "integration/app_registration.h"
#include "integration/integration.h"
#include "integration/options.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace test;

const HKEY HKCR = HKEY_CLASSES_ROOT;
const HKEY HKLM = HKEY_LOCAL_MACHINE;

// Programs that own some of our types before setup, in the shapes they take.
void SeedForeignOwners() {
    SetString(HKCR, ".zip", "", "CompressedFolder");
    SetString(HKCR, ".zip", "Content Type", "application/x-zip-compressed");
    SetString(HKCR, ".zip\\ShellNew", "NullFile", "");
    SetString(HKCR, ".zip\\OpenWithProgids", "CompressedFolder", "");
    SetString(HKCR, ".cab", "", "CABFolder");
    SetString(HKCR, ".iso", "", "Windows.IsoFile");
    SetString(HKCR, ".7z", "", "");
    SetString(HKCR, ".ace", "", "OtherAce");
    SetString(HKCR, ".jar", "", "jarfile");
    // What another program keeps below ".rev" stays through setup and uninstall.
    SetString(HKCR, ".rev\\OpenWithProgids", "OtherRev", "");
}

IntegrationOptions Everything() {
    IntegrationOptions o;
    o.assoc.fill(true);
    o.desktop = o.startMenu = o.programs = o.shellExt = o.cascadedMenu = o.menuIcons = true;
    return o;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::binary_search(lines.begin(), lines.end(), line);
}

// The shell extension, the application path in both views, the uninstall
// entry and the shortcuts were written, so that their removal is tested.
void ExpectShellIntegrationApplied(const std::vector<std::string>& applied,
                                   const StagedProgram& program, const std::u16string& group) {
    const std::string windows = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\";
    const std::string appPath =
        windows + "App Paths\\Mivora.exe : \"\" = sz:" + Utf8(program.PathOf(u"Mivora.exe"));
    const std::string own = kProgramViewLabel;
    const std::string classes = own + "HKLM\\Software\\Classes\\";
    EXPECT_TRUE(Contains(applied, own + appPath));
    EXPECT_TRUE(Contains(
        applied, own + windows + "Uninstall\\Mivora archiver : \"Publisher\" = sz:Kalvuna GmbH"));
    EXPECT_TRUE(Contains(applied, own + "HKLM\\Software\\Mivora\\Capabilities\\FileAssociations : "
                                        "\".zip\" = sz:Mivora.ZIP"));
    EXPECT_TRUE(Contains(
        applied, classes + "CLSID\\" + Utf8(kShellExtClsid32) +
                     "\\InProcServer32 : \"\" = sz:" + Utf8(program.PathOf(u"ozuext.dll"))));
    if (RunningUnderWow64()) {
        EXPECT_TRUE(Contains(applied, "[64] " + appPath));
        EXPECT_TRUE(Contains(
            applied, "[64] HKLM\\Software\\Classes\\CLSID\\" + Utf8(kShellExtClsid64) +
                         "\\InProcServer32 : \"\" = sz:" + Utf8(program.PathOf(u"ozuext64.dll"))));
        EXPECT_TRUE(Contains(applied, classes +
                                          "*\\shellex\\ContextMenuHandlers\\Mivora32 : "
                                          "\"\" = sz:" +
                                          Utf8(kShellExtClsid32)));
    }
    EXPECT_TRUE(
        Contains(applied, classes + "*\\shellex\\ContextMenuHandlers\\Mivora : \"\" = sz:" +
                              Utf8(RunningUnderWow64() ? kShellExtClsid64 : kShellExtClsid32)));
    EXPECT_NE(GetFileAttributesW(W(group + u"\\Mivora.lnk")), INVALID_FILE_ATTRIBUTES);
}

void ExpectNoShortcutsLeft(const std::u16string& group) {
    for (const int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU,
                            CSIDL_COMMON_STARTMENU}) {
        EXPECT_EQ(GetFileAttributesW(W(ShellFolder(csidl) + u"\\Mivora.lnk")),
                  INVALID_FILE_ATTRIBUTES)
            << csidl;
    }
    for (const int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        EXPECT_EQ(GetFileAttributesW(W(ShellFolder(csidl) + u"\\Mivora")), INVALID_FILE_ATTRIBUTES)
            << csidl;
    }
    EXPECT_EQ(GetFileAttributesW(W(group)), INVALID_FILE_ATTRIBUTES);
}

TEST(RoundTrip, SetupThenUninstallLeavesBothRegistryViewsAsTheyWere) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    StagedProgram program;
    for (const char16_t* file : {u"Mivora.exe", u"ozuext.dll", u"ozuext64.dll", u"Mivora.chm",
                                 u"Ozu.txt", u"WhatsNew.txt"})
        program.PutFile(file, "x");
    {
        RegistryGuard guard;
        KeepIntegrationKeys(guard);
        SeedSharedKeys();
        SeedForeignOwners();
        const std::vector<std::string> before = ExportRegistry();

        std::u16string group;
        ASSERT_TRUE(ConfirmSetup(Everything(), &group, false));
        const std::vector<std::string> applied = ExportRegistry();
        // The round trip proves something only when setup really wrote.
        const std::string own = kProgramViewLabel;
        EXPECT_TRUE(
            Contains(applied, own + "HKLM\\Software\\Classes\\.zip : \"\" = sz:Mivora.ZIP"));
        EXPECT_TRUE(
            Contains(applied, own + "HKLM\\Software\\Classes\\Mivora\\shell\\open\\command"));
        EXPECT_FALSE(group.empty());
        ExpectShellIntegrationApplied(applied, program, group);

        // Another archiver takes ".ozu" over after our setup: its own class
        // stays, and nothing of ours may be left in it or in the volume
        // extensions that follow it.
        SetString(HKCR, ".ozu", "", "OtherArc");
        RemoveIntegration(false);
        EXPECT_EQ(GetString(HKCR, ".ozu", ""), "OtherArc");
        // Undo what the other program did; a key of ours left below ".ozu"
        // keeps it, and the comparison shows it.
        RegDeleteKeyW(HKCR, L".ozu");
        const std::vector<std::string> after = ExportRegistry();
        EXPECT_EQ(DiffExports(before, after), "");
        ExpectNoShortcutsLeft(group);
    }
    RemoveShortcuts();
    OleUninitialize();
}

// --- The apply sequence alone: its early end without administrator rights
// and the theme icon it hands to the shortcuts.

// The icon file a shortcut names, read back through the shell-link object.
std::u16string IconOf(const std::u16string& shortcut) {
    IShellLinkW* link = nullptr;
    if (FAILED(
            CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return u"(no shell link object)";
    std::u16string icon = u"(unreadable)";
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_PPV_ARGS(&file)))) {
        wchar_t path[MAX_PATH];
        int index = 0;
        if (SUCCEEDED(file->Load(reinterpret_cast<const wchar_t*>(shortcut.c_str()), STGM_READ)) &&
            SUCCEEDED(link->GetIconLocation(path, MAX_PATH, &index)))
            icon = reinterpret_cast<const char16_t*>(path);
        file->Release();
    }
    link->Release();
    return icon;
}

class ApplySequence : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        KeepIntegrationKeys(guard_);
        program_.PutFile(u"Mivora.exe", "x");
        program_.PutFile(u"ozuext.dll", "x");
        RemoveShortcuts();
    }
    void TearDown() override {
        RemoveShortcuts();
        OleUninitialize();
    }
    bool AnyShortcut() const {
        return FileExists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + u"\\Mivora.lnk") ||
               FileExists(ShellFolder(CSIDL_COMMON_STARTMENU) + u"\\Mivora.lnk") ||
               FileExists(ShellFolder(CSIDL_PROGRAMS) + u"\\Mivora") ||
               FileExists(ShellFolder(CSIDL_COMMON_PROGRAMS) + u"\\Mivora");
    }

    StagedProgram program_;
    RegistryGuard guard_;
};

TEST_F(ApplySequence, WithoutAdministratorRightsNothingIsWritten) {
    WriteDenied denied(HKLM, kAppPathKey);
    ASSERT_TRUE(denied.Active());
    const std::vector<std::string> before = ExportRegistry();
    std::u16string group;
    EXPECT_FALSE(ApplyIntegration(Everything(), &group));
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
    EXPECT_FALSE(AnyShortcut());
    EXPECT_TRUE(group.empty());
}

TEST_F(ApplySequence, RefusedClassWriteEndsBeforeTheShortcuts) {
    WriteDenied denied(HKCR, "Mivora");
    ASSERT_TRUE(denied.Active());
    std::u16string group;
    EXPECT_FALSE(ApplyIntegration(Everything(), &group));
    // The steps before the file classes stand.
    EXPECT_EQ(GetString(HKCR, ".ozu", ""), "Mivora");
    EXPECT_EQ(GetString(HKLM, kAppPathKey, ""), Utf8(program_.PathOf(u"Mivora.exe")));
    EXPECT_FALSE(AnyShortcut());
    EXPECT_TRUE(group.empty());
}

TEST_F(ApplySequence, ThemeIconIsUsedOnlyWhenItsFileExists) {
    IntegrationOptions options;
    options.desktop = true;
    const std::u16string desktopLink = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + u"\\Mivora.lnk";

    program_.PutFile(u"theme.ico", "icon");
    SetString(HKEY_CURRENT_USER, "Software\\Mivora\\Interface\\Themes", "ShellExtIcon",
              Utf8(program_.PathOf(u"theme.ico")));
    ASSERT_TRUE(ApplyIntegration(options, nullptr));
    EXPECT_EQ(Utf8(IconOf(desktopLink)), Utf8(program_.PathOf(u"theme.ico")));

    RemoveShortcuts();
    SetString(HKEY_CURRENT_USER, "Software\\Mivora\\Interface\\Themes", "ShellExtIcon",
              Utf8(program_.PathOf(u"missing.ico")));
    ASSERT_TRUE(ApplyIntegration(options, nullptr));
    EXPECT_EQ(Utf8(IconOf(desktopLink)), "");
}

} // namespace
} // namespace ozu
