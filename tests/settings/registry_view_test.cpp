// The 64-bit registry view: under WOW64 an operation that names it acts in
// the 64-bit view only; on 32-bit Windows it acts in the only view there is.
// Run in both prefixes (label "shape").

#include <gtest/gtest.h>

#include "base/system_info.h"
#include "settings/portable_settings.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace ozu::test;

// HKLM\Software is the part of the registry that WOW64 keeps twice.
constexpr RegLocation kKey = RegLocation::Absolute(RegScope::Machine, u"Software\\OzuViewTest");
const std::string kPath = "Software\\OzuViewTest";

constexpr RegistryView k64 = RegistryView::View64;
constexpr RegistryView kDefault = RegistryView::Default;

class RegistryViews : public testing::Test {
protected:
    void SetUp() override { PortableSettings::Instance().LoadFrom(u""); }
    void TearDown() override { PortableSettings::Instance().Clear(); }
    RegistryGuard registry_{{HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY},
                            {HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_32KEY}};
};

// What "reg.exe query HKLM\Software\OzuViewTest /v Value /reg:64" prints.
std::string QueryWithRegExe(const wchar_t* view) {
    std::string output;
    RunAndWait(std::wstring(L"reg.exe query HKLM\\Software\\OzuViewTest /v Value ") + view, 30000,
               &output);
    return output;
}

TEST_F(RegistryViews, WritesGoToThe64BitViewWhereThereIsOne) {
    EXPECT_EQ(WriteRegString(kKey, u"Value", u"sixty-four", k64), 0);
    EXPECT_EQ(WriteRegDword(kKey, u"Number", 64, k64), 0);
    std::u16string out;
    EXPECT_TRUE(ReadRegString(kKey, u"Value", out, u"", 80, k64));
    EXPECT_EQ(out, u"sixty-four");
    EXPECT_EQ(ReadRegDword(kKey, u"Number", 0, k64), 64u);

    if (RunningUnderWow64()) {
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kPath, "Value", KEY_WOW64_64KEY), "sixty-four");
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_32KEY));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPath));
        // And as the system's own tool sees it.
        EXPECT_NE(QueryWithRegExe(L"/reg:64").find("sixty-four"), std::string::npos);
        EXPECT_EQ(QueryWithRegExe(L"/reg:32").find("sixty-four"), std::string::npos);
        // The default view is the process's own.
        EXPECT_EQ(ReadRegDword(kKey, u"Number", 7, kDefault), 7u);
    } else {
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kPath, "Value"), "sixty-four");
        EXPECT_EQ(ReadRegDword(kKey, u"Number", 7, kDefault), 64u);
        EXPECT_NE(QueryWithRegExe(L"").find("sixty-four"), std::string::npos);
    }
}

TEST_F(RegistryViews, ExistenceTestsAndDeletionsActInTheViewNamed) {
    if (!RunningUnderWow64()) {
        GTEST_SKIP() << "one view only";
    }
    SetString(HKEY_LOCAL_MACHINE, kPath, "Value", "x", KEY_WOW64_64KEY);
    SetString(HKEY_LOCAL_MACHINE, kPath, "Other", "x", KEY_WOW64_64KEY);
    SetString(HKEY_LOCAL_MACHINE, kPath + "\\Sub", "Value", "x", KEY_WOW64_64KEY);
    // The default view has none of it and deletes nothing of it.
    EXPECT_FALSE(RegKeyExists(kKey, kDefault));
    DeleteRegValue(kKey, u"Value", kDefault);
    DeleteRegTree(kKey, kDefault);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kPath, "Value", KEY_WOW64_64KEY), "x");
    // The 64-bit view sees and deletes it.
    EXPECT_TRUE(RegKeyExists(kKey, k64));
    EXPECT_TRUE(RegKeyHasValues(kKey, k64));
    DeleteRegValue(kKey, u"Value", k64);
    EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kPath, "Value", KEY_WOW64_64KEY));
    DeleteRegKey(RegLocation::Absolute(RegScope::Machine, u"Software\\OzuViewTest\\Sub"), k64);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPath + "\\Sub", KEY_WOW64_64KEY));
    SetString(HKEY_LOCAL_MACHINE, kPath + "\\Sub", "Value", "x", KEY_WOW64_64KEY);
    DeleteRegTree(kKey, k64);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY));
}

} // namespace
} // namespace ozu
