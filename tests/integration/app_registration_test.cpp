// The application path in both registry views and the uninstall entry, on
// both Windows shapes, and their removal.

#include <string>

#include <gtest/gtest.h>

#include "base/program_path.h"
#include "base/system_info.h"
#include "integration/app_registration.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu::test {
namespace {

const std::string kAppPath = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
const std::string kUninstall =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";
constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

class AppRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (REGSAM view : kViews) {
            for (const std::string& key : {kAppPath, kUninstall, std::string("Software\\Mivora")}) {
                guard_.Keep(HKEY_LOCAL_MACHINE, key, view);
                DeleteTree(HKEY_LOCAL_MACHINE, key, view);
            }
        }
        folder_ = Utf8(program_.Folder());
        exe_ = folder_ + "\\Mivora.exe";
    }

    RegistryGuard guard_;
    StagedProgram program_;
    std::string folder_;
    std::string exe_;
};

TEST_F(AppRegistrationTest, AppPathIsWrittenInBothViewsAndExe32InTheDefaultOne) {
    EXPECT_TRUE(RegisterAppPath());

    for (REGSAM view : kViews) {
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kAppPath, "", view), exe_) << view;
        // The folder without its final backslash.
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kAppPath, "Path", view), folder_) << view;
        EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, kAppPath, view),
                  (std::vector<std::string>{"", "Path"}));
    }
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "Software\\Mivora", "exe32"), exe_);
    if (RunningUnderWow64()) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Mivora", KEY_WOW64_64KEY));
    }
}

TEST_F(AppRegistrationTest, AProgramInADriveRootKeepsTheRootsBackslash) {
    SetProgramPathForTesting(u"D:\\uninstall.exe");
    ASSERT_TRUE(RegisterAppPath());
    RegisterUninstallEntry();

    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kAppPath, ""), "D:\\Mivora.exe");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kAppPath, "Path"), "D:\\");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstall, "InstallLocation"), "D:\\");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString"),
              "\"D:\\uninstall.exe\"");
}

TEST_F(AppRegistrationTest, WithoutAdministratorRightsNothingIsWritten) {
    WriteDenied denied(HKEY_LOCAL_MACHINE, kAppPath);
    ASSERT_TRUE(denied.Active());

    EXPECT_FALSE(RegisterAppPath());

    EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kAppPath, "").has_value());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Mivora"));
    if (RunningUnderWow64()) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath, KEY_WOW64_64KEY));
    }
}

TEST_F(AppRegistrationTest, AnInstallersIconIsKeptOnlyWhileItsFileExists) {
    program_.PutFile(u"installer.ico", "icon");
    const std::string ownIcon = Utf8(program_.PathOf(u"installer.ico"));
    SetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon", ownIcon);
    RegisterUninstallEntry();
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon"), ownIcon);

    SetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon", folder_ + "\\gone.ico");
    RegisterUninstallEntry();
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon"), exe_);
}

// Whatever the capacity (which counts the terminator), the name is the
// whole one cut to fit: never longer, never cut inside what still fits.
TEST(DisplayName, IsTheWholeNameCutToEveryCapacity) {
    std::u16string whole = u"Mivora";
    BuildDisplayName(whole, 2048);
    ASSERT_GT(whole.size(), 8u);
    for (size_t capacity = 7; capacity <= whole.size() + 2; ++capacity) {
        std::u16string cut = u"Mivora";
        BuildDisplayName(cut, capacity);
        EXPECT_EQ(cut, whole.substr(0, capacity - 1)) << capacity;
    }
    std::u16string unnamed;
    BuildDisplayName(unnamed, 2048);
    EXPECT_EQ(u"Mivora " + unnamed, whole); // no blank before the version
}

TEST_F(AppRegistrationTest, RemovalLeavesNeitherKeyInEitherViewNorExe32) {
    ASSERT_TRUE(RegisterAppPath());
    RegisterUninstallEntry();

    RemoveAppRegistration();
    RemoveArchiverPath();

    for (REGSAM view : kViews) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath, view)) << view;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall, view)) << view;
    }
    EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, "Software\\Mivora", "exe32").has_value());
}

} // namespace
} // namespace ozu::test
