// The registry access layer against the real registry of the test prefix.
// Every test works below its own key and removes it afterwards.

#include <gtest/gtest.h>

#include "base/reg_key.h"
#include "settings/portable_settings.h"
#include "settings/settings_store.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace ozu::test;

constexpr RegistryView kDefault = RegistryView::Default;

RegLocation User(std::u16string_view key) {
    return RegLocation::Settings(RegScope::User, key);
}

// Settings key of the tests, and its place in the registry.
constexpr std::u16string_view kTestKey = u"OzuStoreTest";
const std::string kTestPath = "Software\\Mivora\\OzuStoreTest";

class SettingsStore : public testing::Test {
protected:
    void SetUp() override {
        // No portable file: every request goes to the registry.
        PortableSettings::Instance().LoadFrom(u"");
    }
    void TearDown() override { PortableSettings::Instance().Clear(); }
    std::u16string Key(std::u16string_view sub = {}) {
        std::u16string key(kTestKey);
        if (!sub.empty()) {
            key += u'\\';
            key += sub;
        }
        return key;
    }
    // The test key starts empty; the settings root goes again when a test made it.
    RegistryGuard tree_{{HKEY_CURRENT_USER, "Software\\Mivora"}, {HKEY_CURRENT_USER, kTestPath}};
};

TEST_F(SettingsStore, EveryKindOfLocationHasItsRootAndPath) {
    const std::u16string longKey(600, u'k');
    const struct {
        RegLocation at;
        HKEY root;
        std::u16string path;
    } cases[] = {
        {User(u"Setup\\MenuItems"), HKEY_CURRENT_USER, u"Software\\Mivora\\Setup\\MenuItems"},
        {RegLocation::Settings(RegScope::Machine, u""), HKEY_LOCAL_MACHINE, u"Software\\Mivora"},
        {RegLocation::Absolute(RegScope::Machine, u"Software\\RegisteredApplications"),
         HKEY_LOCAL_MACHINE, u"Software\\RegisteredApplications"},
        {RegLocation::Absolute(RegScope::User, u"Software\\X"), HKEY_CURRENT_USER, u"Software\\X"},
        {RegLocation::Class(u".zip"), HKEY_CLASSES_ROOT, u".zip"},
        // Built in 512 characters.
        {User(longKey), HKEY_CURRENT_USER, (u"Software\\Mivora\\" + longKey).substr(0, 511)},
        {RegLocation::Class(longKey), HKEY_CLASSES_ROOT, longKey.substr(0, 511)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.at.Root(), c.root) << Utf8(c.path);
        EXPECT_EQ(c.at.Path(), c.path);
    }
}

TEST_F(SettingsStore, StringsAndNumbersAreStoredWithTheirRegistryTypes) {
    EXPECT_EQ(WriteRegString(User(Key(u"Sub")), u"Text", u"caf\u00e9", kDefault), 0);
    EXPECT_EQ(WriteRegString(User(Key(u"Sub")), u"", u"default", kDefault), 0);
    EXPECT_EQ(WriteRegDword(User(Key(u"Sub")), u"Number", 0xFFFFFFFFu, kDefault), 0);

    std::optional<RawValue> text = GetRaw(HKEY_CURRENT_USER, kTestPath + "\\Sub", "Text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text->data.size(), 10u); // four characters and the terminator
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kTestPath + "\\Sub", ""), "default");
    std::optional<RawValue> number = GetRaw(HKEY_CURRENT_USER, kTestPath + "\\Sub", "Number");
    ASSERT_TRUE(number);
    EXPECT_EQ(number->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number->data, std::string(4, '\xFF'));

    std::u16string out = u"untouched";
    EXPECT_TRUE(ReadRegString(User(Key(u"Sub")), u"Text", out, u"def", 80, kDefault));
    EXPECT_EQ(out, u"caf\u00e9");
    EXPECT_EQ(ReadRegDword(User(Key(u"Sub")), u"Number", 7, kDefault), 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegDword(User(Key(u"Sub")), u"Missing", 7, kDefault), 7u);
    EXPECT_EQ(ReadRegDword(User(Key(u"Missing")), u"Number", 9, kDefault), 9u);
}

TEST_F(SettingsStore, DwordReadTakesAnyDataOfAtMostFourBytes) {
    const std::string& path = kTestPath;
    SetString(HKEY_CURRENT_USER, path, "Short", "a"); // 4 bytes with the terminator
    SetString(HKEY_CURRENT_USER, path, "Long", "abc");
    SetString(HKEY_CURRENT_USER, path, "Empty", "");
    SetRaw(HKEY_CURRENT_USER, path, "Two", REG_BINARY, std::string("\x34\x12", 2));
    SetRaw(HKEY_CURRENT_USER, path, "None", REG_BINARY, "");
    SetRaw(HKEY_CURRENT_USER, path, "Qword", REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8));

    EXPECT_EQ(ReadRegDword(User(Key()), u"Short", 5, kDefault), 0x61u);
    EXPECT_EQ(ReadRegDword(User(Key()), u"Long", 5, kDefault), 5u);
    EXPECT_EQ(ReadRegDword(User(Key()), u"Empty", 5, kDefault), 0u);
    EXPECT_EQ(ReadRegDword(User(Key()), u"Two", 5, kDefault), 0x1234u);
    EXPECT_EQ(ReadRegDword(User(Key()), u"None", 5, kDefault), 5u);
    EXPECT_EQ(ReadRegDword(User(Key()), u"Qword", 5, kDefault), 5u);
}

TEST_F(SettingsStore, StringReadThatDoesNotFitGivesTheDefault) {
    SetString(HKEY_CURRENT_USER, kTestPath, "Hundred", std::string(100, 'x'));
    SetString(HKEY_CURRENT_USER, kTestPath, "Fits", std::string(79, 'y'));

    std::u16string out = u"untouched";
    EXPECT_FALSE(ReadRegString(User(Key()), u"Hundred", out, u"Default", 80, kDefault));
    EXPECT_EQ(out, u"Default");
    EXPECT_TRUE(ReadRegString(User(Key()), u"Fits", out, u"Default", 80, kDefault));
    EXPECT_EQ(out, std::u16string(79, u'y'));
    // The default is cut to the capacity as well.
    EXPECT_FALSE(ReadRegString(User(Key()), u"Missing", out, u"Default", 4, kDefault));
    EXPECT_EQ(out, u"Def");
    EXPECT_FALSE(ReadRegString(User(Key(u"Missing")), u"Fits", out, u"", 80, kDefault));
    EXPECT_EQ(out, u"");
}

TEST_F(SettingsStore, ExistenceAndDeletionOfValuesAndKeys) {
    EXPECT_FALSE(RegKeyExists(User(Key()), kDefault));
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Parent\\Child", "v", "1");
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Leaf", "a", "1");
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Leaf", "b", "2");
    EXPECT_TRUE(RegKeyExists(User(Key(u"Parent\\Child")), kDefault));
    EXPECT_TRUE(RegKeyExists(RegLocation::Absolute(RegScope::User, u"Software\\Mivora"), kDefault));

    DeleteRegValue(User(Key(u"Leaf")), u"a", kDefault);
    EXPECT_FALSE(GetRaw(HKEY_CURRENT_USER, kTestPath + "\\Leaf", "a"));
    EXPECT_TRUE(GetRaw(HKEY_CURRENT_USER, kTestPath + "\\Leaf", "b"));
    DeleteRegValue(User(Key(u"Leaf")), u"b", kDefault);
    EXPECT_FALSE(GetRaw(HKEY_CURRENT_USER, kTestPath + "\\Leaf", "b"));

    // A key with a subkey stays, and so does the subkey.
    DeleteRegKey(User(Key(u"Parent")), kDefault);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\Parent"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\Parent\\Child"));
    DeleteRegKey(User(Key(u"Leaf")), kDefault);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\Leaf"));
    // Deleting what is not there is quiet.
    DeleteRegKey(User(Key(u"Leaf")), kDefault);
    DeleteRegValue(User(Key(u"Leaf")), u"a", kDefault);
    DeleteRegTree(User(Key(u"Leaf")), kDefault);
}

// What no text form holds (binary data, several strings) is copied as it
// is, and the copy says whether it was made.
TEST_F(SettingsStore, CopyOfValuesKeepsTheirTypesAndSaysWhetherItWasMade) {
    const RegLocation from =
        RegLocation::Absolute(RegScope::User, u"Software\\Mivora\\OzuStoreTest\\From");
    const RegLocation to =
        RegLocation::Absolute(RegScope::User, u"Software\\Mivora\\OzuStoreTest\\To");
    EXPECT_FALSE(CopyRegValues(from, to, kDefault)); // nothing to copy
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\To"));
    SetRaw(HKEY_CURRENT_USER, kTestPath + "\\From", "Data", REG_BINARY,
           std::string("\0\x01\xFF", 3));
    SetRaw(HKEY_CURRENT_USER, kTestPath + "\\From", "", REG_MULTI_SZ,
           std::string("a\0\0b\0\0\0\0", 8));
    SetString(HKEY_CURRENT_USER, kTestPath + "\\From", "NullFile", "");

    EXPECT_TRUE(CopyRegValues(from, to, kDefault));
    for (const char* name : {"Data", "", "NullFile"}) {
        const std::optional<RawValue> copied = GetRaw(HKEY_CURRENT_USER, kTestPath + "\\To", name);
        const std::optional<RawValue> source =
            GetRaw(HKEY_CURRENT_USER, kTestPath + "\\From", name);
        ASSERT_TRUE(copied && source) << name;
        EXPECT_EQ(copied->type, source->type) << name;
        EXPECT_EQ(copied->data, source->data) << name;
    }
}

// Creates `depth` levels below path with `width` subkeys each, every key with a
// value; returns the number of keys made.
int MakeTree(const std::string& path, int depth, int width) {
    if (depth == 0) {
        return 0;
    }
    int made = 0;
    for (int i = 0; i < width; ++i) {
        std::string child = path + "\\K" + std::to_string(i);
        SetString(HKEY_CURRENT_USER, child, "v", "x");
        made += 1 + MakeTree(child, depth - 1, width);
    }
    return made;
}

TEST_F(SettingsStore, TreeDeletionRemovesDeepTreesWithManySiblings) {
    ASSERT_EQ(MakeTree(kTestPath + "\\Tree", 4, 5), 780);
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Tree", "root", "x");
    SetString(HKEY_CURRENT_USER, kTestPath + "\\TreeSibling", "v", "x");

    DeleteRegTree(User(Key(u"Tree")), kDefault);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\TreeSibling"));
}

TEST_F(SettingsStore, TreeDeletionTakesSubkeyNamesOfFullLength) {
    // Key names may have 255 characters; a shorter enumeration buffer would
    // stop at such a name and leave the tree behind.
    std::string longName(255, 'n');
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Tree\\" + longName + "\\deeper", "v", "x");
    SetString(HKEY_CURRENT_USER, kTestPath + "\\Tree\\zz", "v", "x");
    DeleteRegTree(User(Key(u"Tree")), kDefault);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestPath + "\\Tree"));
}

TEST_F(SettingsStore, EmptyRelativeKeyIsTheWholeSettingsRoot) {
    if (KeyExists(HKEY_CURRENT_USER, "Software\\Mivora")) {
        GTEST_SKIP() << "the prefix holds settings of its own";
    }
    SetString(HKEY_CURRENT_USER, "Software\\Mivora", "v", "x");
    SetString(HKEY_CURRENT_USER, kTestPath + "\\A\\B", "v", "x");
    std::u16string out;
    EXPECT_TRUE(ReadRegString(User(u""), u"v", out, u"", 10, kDefault));
    EXPECT_EQ(out, u"x");
    DeleteRegTree(RegLocation::Settings(RegScope::User, u""), kDefault);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Mivora"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(SettingsStore, WriteToAKeyThatDeniesWritingReportsAccessDenied) {
    std::string locked = kTestPath + "\\Locked";
    SetString(HKEY_CURRENT_USER, locked, "old", "kept");
    WriteDenied denied(HKEY_CURRENT_USER, locked, true);
    ASSERT_TRUE(denied.Active());

    EXPECT_EQ(WriteRegString(User(Key(u"Locked")), u"new", u"x", kDefault), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteRegDword(User(Key(u"Locked")), u"new", 1, kDefault), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(GetRaw(HKEY_CURRENT_USER, locked, "new"));
    // Reading still works.
    std::u16string out;
    EXPECT_TRUE(ReadRegString(User(Key(u"Locked")), u"old", out, u"", 80, kDefault));
    EXPECT_EQ(out, u"kept");
}

TEST(RegKeyOwner, ReadsLeaveTheirOutputAloneOnFailureAndMovesTransferOwnership) {
    RegistryGuard tree{{HKEY_CURRENT_USER, "Software\\Mivora"}, {HKEY_CURRENT_USER, kTestPath}};
    SetString(HKEY_CURRENT_USER, kTestPath, "Long", "abcdef");

    RegKey key;
    EXPECT_FALSE(key.IsValid());
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, u"Software\\Mivora\\OzuStoreTest", KEY_READ),
              ERROR_SUCCESS);
    uint32_t number = 42;
    EXPECT_NE(key.ReadDword(u"Long", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 42u);
    std::u16string text = u"kept";
    EXPECT_EQ(key.ReadString(u"Long", text, 4), ERROR_MORE_DATA);
    EXPECT_EQ(text, u"kept");
    EXPECT_NE(key.ReadString(u"Missing", text, 80), ERROR_SUCCESS);
    EXPECT_EQ(text, u"kept");

    RegKey moved(std::move(key));
    EXPECT_FALSE(key.IsValid());
    ASSERT_TRUE(moved.IsValid());
    EXPECT_EQ(moved.ReadString(u"Long", text, 80), ERROR_SUCCESS);
    EXPECT_EQ(text, u"abcdef");
    RegKey assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved.IsValid());
    EXPECT_TRUE(assigned.IsValid());
    // A failed open leaves the key that was held, as a failed read does.
    EXPECT_NE(assigned.Open(HKEY_CURRENT_USER, u"Software\\Mivora\\OzuStoreTest\\No", KEY_READ),
              ERROR_SUCCESS);
    EXPECT_EQ(assigned.ReadString(u"Long", text, 80), ERROR_SUCCESS);
}

} // namespace
} // namespace ozu
