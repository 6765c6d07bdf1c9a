// The apply sequence of setup: its early end without administrator rights and
// the theme icon it hands to the shortcuts.
#include <gtest/gtest.h>

#include <ole2.h>
#include <shlobj.h>

#include "integration/integration.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace test;

const HKEY HKCR = HKEY_CLASSES_ROOT;
const HKEY HKLM = HKEY_LOCAL_MACHINE;

IntegrationOptions Everything() {
    IntegrationOptions o;
    o.assoc.fill(true);
    o.desktop = o.startMenu = o.programs = o.shellExt = o.cascadedMenu = o.menuIcons = true;
    return o;
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) !=
           INVALID_FILE_ATTRIBUTES;
}

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
        return Exists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + u"\\Mivora.lnk") ||
               Exists(ShellFolder(CSIDL_COMMON_STARTMENU) + u"\\Mivora.lnk") ||
               Exists(ShellFolder(CSIDL_PROGRAMS) + u"\\Mivora") ||
               Exists(ShellFolder(CSIDL_COMMON_PROGRAMS) + u"\\Mivora");
    }

    StagedProgram program_;
    RegistryGuard guard_;
};

TEST_F(ApplySequence, WithoutAdministratorRightsNothingIsWritten) {
    WriteDenied denied(HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe");
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
    EXPECT_EQ(
        GetString(HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe", ""),
        Utf8(program_.PathOf(u"Mivora.exe")));
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

TEST_F(ApplySequence, FullApplyReportsSuccessAndHandsBackTheProgramGroup) {
    program_.PutFile(u"Mivora.chm", "x");
    std::u16string group;
    EXPECT_TRUE(ApplyIntegration(Everything(), &group));
    EXPECT_EQ(Utf8(group), Utf8(ShellFolder(CSIDL_COMMON_PROGRAMS) + u"\\Mivora"));
    EXPECT_TRUE(Exists(group + u"\\Mivora.lnk"));
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "Mivora.ZIP");
    EXPECT_EQ(GetString(HKCR, "Mivora.REV\\DefaultIcon", ""),
              Utf8(program_.PathOf(u"Mivora.exe")) + ",1");
}

} // namespace
} // namespace ozu
