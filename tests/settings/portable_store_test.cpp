// The registry access layer while a portable settings file is active: keys
// below the settings root live in the file, and with Global\Integration=0
// nothing else is read, written or deleted.

#include <gtest/gtest.h>

#include "portable_file_helpers.h"
#include "settings/settings_store.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace ozu::test;

constexpr RegistryView kDefault = RegistryView::Default;
constexpr RegLocation kOutside =
    RegLocation::Absolute(RegScope::Machine, u"Software\\OzuPortableTest");

RegLocation User(std::u16string_view key) {
    return RegLocation::Settings(RegScope::User, key);
}

class PortableStore : public PortableFile {
protected:
    // Keys that only the failing code would create are removed all the same.
    RegistryGuard registry_{{HKEY_CLASSES_ROOT, ".ozuportabletest"},
                            {HKEY_CLASSES_ROOT, ".ozuportablenew"},
                            {HKEY_LOCAL_MACHINE, "Software\\OzuPortableTest"},
                            {HKEY_CURRENT_USER, "Software\\Mivora"},
                            {HKEY_LOCAL_MACHINE, "Software\\Mivora"}};
};

TEST_F(PortableStore, IntegrationOffTouchesNoRegistryKeyOutsideTheFile) {
    SetString(HKEY_CLASSES_ROOT, ".ozuportabletest", "", "Existing");
    SetDword(HKEY_LOCAL_MACHINE, "Software\\OzuPortableTest", "d", 1);
    LoadText(u"Global\\Integration=0\r\n");
    EXPECT_FALSE(IsIntegrationAllowed());

    // Writes report success and change nothing.
    EXPECT_EQ(WriteRegString(RegLocation::Class(u".ozuportabletest"), u"", u"New", kDefault), 0);
    EXPECT_EQ(WriteRegString(RegLocation::Class(u".ozuportablenew"), u"", u"x", kDefault), 0);
    EXPECT_EQ(WriteRegDword(kOutside, u"n", 2, kDefault), 0);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, ".ozuportabletest", ""), "Existing");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".ozuportablenew"));
    EXPECT_FALSE(GetRaw(HKEY_LOCAL_MACHINE, "Software\\OzuPortableTest", "n"));

    // Reads give the defaults and existence tests find nothing.
    std::u16string out;
    EXPECT_TRUE(
        ReadRegString(RegLocation::Class(u".ozuportabletest"), u"", out, u"def", 80, kDefault));
    EXPECT_EQ(out, u"def");
    EXPECT_EQ(ReadRegDword(kOutside, u"d", 9, kDefault), 9u);
    EXPECT_FALSE(RegKeyExists(RegLocation::Class(u".ozuportabletest"), kDefault));

    // Deletions do nothing.
    DeleteRegValue(RegLocation::Class(u".ozuportabletest"), u"", kDefault);
    DeleteRegKey(kOutside, kDefault);
    DeleteRegTree(RegLocation::Class(u".ozuportabletest"), kDefault);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, ".ozuportabletest", ""), "Existing");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\OzuPortableTest"));

    // Settings keys still go into the file, and only there.
    EXPECT_EQ(WriteRegDword(User(u"Setup"), u"X", 0xFFFFFFFFu, kDefault), 0);
    EXPECT_EQ(
        WriteRegString(RegLocation::Settings(RegScope::Machine, u"Caps"), u"Name", u"v", kDefault),
        0);
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_EQ(settings.Find(u"HKCU\\Setup\\X"), u"4294967295");
    EXPECT_EQ(settings.Find(u"HKLM\\Caps\\Name"), u"v");
    EXPECT_EQ(ReadRegDword(User(u"Setup"), u"X", 0, kDefault), 0xFFFFFFFFu);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Mivora\\Setup"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Mivora\\Caps"));

    EXPECT_TRUE(settings.Save());
    EXPECT_NE(ReadBytes(Ini()).find(Utf16Le(u"HKCU\\Setup\\X=4294967295\r\n")), std::string::npos);
    EXPECT_NE(ReadBytes(Ini()).find(Utf16Le(u"HKLM\\Caps\\Name=\"v\"\r\n")), std::string::npos);
}

TEST_F(PortableStore, IntegrationOnSendsEverythingElseToTheRegistry) {
    LoadText(u"HKCU\\Setup\\X=1\r\n");
    EXPECT_TRUE(IsIntegrationAllowed());
    EXPECT_EQ(WriteRegString(RegLocation::Class(u".ozuportablenew"), u"", u"x", kDefault), 0);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, ".ozuportablenew", ""), "x");
    EXPECT_EQ(WriteRegDword(kOutside, u"n", 2, kDefault), 0);
    EXPECT_TRUE(GetRaw(HKEY_LOCAL_MACHINE, "Software\\OzuPortableTest", "n"));
    EXPECT_EQ(WriteRegDword(User(u"Setup"), u"X", 2, kDefault), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Mivora\\Setup"));
    EXPECT_EQ(PortableSettings::Instance().Find(u"HKCU\\Setup\\X"), u"2");
    EXPECT_FALSE(PortableSettings::Instance().Find(u"HKEY_CLASSES_ROOT").has_value());
}

TEST_F(PortableStore, ReadsTakeEntriesOfEveryKindAsTextOrNumber) {
    LoadText(u"HKCU\\N\\Neg=-1\r\n"
             u"HKCU\\N\\Lead=12abc\r\n"
             u"HKCU\\N\\Word=abc\r\n"
             u"HKCU\\N\\Quoted=\"5\"\r\n"
             u"HKCU\\N\\Bin=bin:10\r\n"
             u"HKCU\\N\\Dup=first\r\n"
             u"HKCU\\N\\Dup=second\r\n");
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Neg", 0, kDefault), 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Lead", 0, kDefault), 12u);
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Word", 7, kDefault), 0u);
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Quoted", 0, kDefault), 5u);
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Bin", 0, kDefault), 10u);
    EXPECT_EQ(ReadRegDword(User(u"N"), u"Missing", 0xFFFFFFFEu, kDefault), 0xFFFFFFFEu);

    std::u16string out;
    EXPECT_TRUE(ReadRegString(User(u"N"), u"Dup", out, u"", 80, kDefault));
    EXPECT_EQ(out, u"first");
    EXPECT_TRUE(ReadRegString(User(u"N"), u"Missing", out, u"default", 5, kDefault));
    EXPECT_EQ(out, u"defa");
    EXPECT_TRUE(ReadRegString(User(u"N"), u"Bin", out, u"", 80, kDefault));
    EXPECT_EQ(out, u"10");

    // A write changes the first of two equal names, a deletion removes both.
    EXPECT_EQ(WriteRegString(User(u"N"), u"Dup", u"changed", kDefault), 0);
    EXPECT_EQ(PortableSettings::Instance().Entries().Entries()[5].value, u"changed");
    EXPECT_EQ(PortableSettings::Instance().Entries().Entries()[6].value, u"second");
    DeleteRegValue(User(u"N"), u"Dup", kDefault);
    EXPECT_FALSE(PortableSettings::Instance().Find(u"HKCU\\N\\Dup").has_value());
}

TEST_F(PortableStore, KeysAreEntryPrefixes) {
    LoadText(u"HKCU\\Setup\\A=1\r\n"
             u"HKCU\\Setup\\Sub\\B=2\r\n"
             u"HKCU\\Setup\\=default\r\n"
             u"HKCU\\SetupX\\C=3\r\n"
             u"HKLM\\Setup\\A=4\r\n");
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_TRUE(RegKeyExists(User(u"Setup"), kDefault));
    EXPECT_TRUE(RegKeyExists(User(u"Setup\\Sub"), kDefault));
    EXPECT_FALSE(RegKeyExists(User(u"Set"), kDefault));
    EXPECT_FALSE(RegKeyExists(RegLocation::Settings(RegScope::Machine, u"SetupX"), kDefault));

    // Deleting the default value takes that one entry, not the whole key.
    DeleteRegValue(User(u"Setup"), u"", kDefault);
    EXPECT_FALSE(settings.Find(u"HKCU\\Setup\\").has_value());
    EXPECT_TRUE(settings.Find(u"HKCU\\Setup\\A").has_value());

    DeleteRegKey(User(u"Setup"), kDefault);
    EXPECT_FALSE(settings.Find(u"HKCU\\Setup\\A").has_value());
    EXPECT_FALSE(settings.Find(u"HKCU\\Setup\\Sub\\B").has_value());
    EXPECT_EQ(settings.Find(u"HKCU\\SetupX\\C"), u"3");
    EXPECT_EQ(settings.Find(u"HKLM\\Setup\\A"), u"4");

    // The empty key of a root is every entry of that root.
    DeleteRegTree(RegLocation::Settings(RegScope::Machine, u""), kDefault);
    EXPECT_FALSE(settings.Find(u"HKLM\\Setup\\A").has_value());
    EXPECT_EQ(settings.Find(u"HKCU\\SetupX\\C"), u"3");
    EXPECT_TRUE(settings.Find(u"Global\\Integration").has_value());
}

} // namespace
} // namespace ozu
