// Options, associations and file classes against the real registry. Every
// test starts with none of the archive extensions, none of our classes and no
// stored settings, and the guard puts the registry back as it was.
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/win32_text.h"
#include "integration/associations.h"
#include "integration/file_classes.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/portable_settings.h"
#include "support/files.h"
#include "support/links.h"
#include "support/registry.h"

namespace ozu {
namespace {

using test::DeleteTree;
using test::GetDword;
using test::GetString;
using test::KeyExists;
using test::SetDword;
using test::SetString;
using test::Utf8;
using test::ValueNames;

const HKEY HKCR = HKEY_CLASSES_ROOT;
const HKEY HKCU = HKEY_CURRENT_USER;
using Names = std::vector<std::string>;

std::string Volume(unsigned n) {
    return ".o" + std::string(1, char('0' + n / 10)) + char('0' + n % 10);
}

// Every extension these writers may touch.
std::vector<std::string> TouchedExtensions() {
    std::vector<std::string> all{".ace", ".rev"};
    all.insert(all.end(), std::begin(test::kArchiveExtensions), std::end(test::kArchiveExtensions));
    for (unsigned n = 0; n < 100; ++n)
        all.push_back(Volume(n));
    return all;
}

std::string BackupKey(std::string_view ext) {
    return "Software\\Mivora\\Setup\\" + std::string(ext);
}

class Integration : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& ext : TouchedExtensions())
            Start(HKCR, ext);
        for (const char* cls : {"Mivora", "Mivora.ZIP", "Mivora.REV"})
            Start(HKCR, cls);
        Start(HKCU, "Software\\Mivora");
        Start(HKEY_LOCAL_MACHINE, "Software\\Mivora");
    }
    // Keeps a key for the end of the test and removes it for the start.
    void Start(HKEY root, const std::string& key) {
        guard_.Keep(root, key);
        DeleteTree(root, key);
    }
    void TearDown() override { PortableSettings::Instance().Clear(); }
    std::string Staged(std::u16string_view name) const { return Utf8(program_.PathOf(name)); }

    test::StagedProgram program_;

private:
    test::RegistryGuard guard_;
};

// --- Loading and storing the choices ---------------------------------------

using Options = Integration;

TEST_F(Options, DefaultsWithNothingStoredAndNobodyOwningTheTypes) {
    IntegrationOptions o;
    LoadIntegrationOptions(o);
    for (size_t i = 0; i < kAssocCount; ++i)
        EXPECT_EQ(o.assoc[i], i < kArchiveTypeCount && i != kJarRow) << i;
    EXPECT_FALSE(o.desktop);
    EXPECT_FALSE(o.startMenu);
    EXPECT_TRUE(o.programs);
    EXPECT_TRUE(o.shellExt);
    EXPECT_FALSE(o.cascadedMenu);
    EXPECT_TRUE(o.menuIcons);
}

TEST_F(Options, JarOnlyWhileOursAndIsoUnlessSomeoneElseOwnsIt) {
    SetDword(HKCU, BackupKey(".jar"), "Set", 1);
    SetDword(HKCU, BackupKey(".iso"), "Set", 1);
    IntegrationOptions o;
    LoadIntegrationOptions(o);
    EXPECT_FALSE(o.assoc[kJarRow]) << "nobody owns .jar";
    EXPECT_TRUE(o.assoc[kIsoRow]) << "nobody owns .iso";

    SetString(HKCR, ".jar", "", "jarfile");
    SetString(HKCR, ".iso", "", "Burner.Image");
    LoadIntegrationOptions(o);
    EXPECT_FALSE(o.assoc[kJarRow]);
    EXPECT_FALSE(o.assoc[kIsoRow]);

    SetString(HKCR, ".jar", "", "MIVORA");
    SetString(HKCR, ".iso", "", "mivora.zip");
    LoadIntegrationOptions(o);
    EXPECT_TRUE(o.assoc[kJarRow]);
    EXPECT_TRUE(o.assoc[kIsoRow]);
    SetDword(HKCU, BackupKey(".jar"), "Set", 0);
    LoadIntegrationOptions(o);
    EXPECT_FALSE(o.assoc[kJarRow]) << "ours, but the stored choice says no";
}

TEST_F(Options, ClassTooLongToReadCountsAsNobodys) {
    const std::string longClass(80, 'X');
    SetString(HKCR, ".iso", "", longClass);
    EXPECT_FALSE(IsOwnAssociation(u".iso"));
    IntegrationOptions o;
    LoadIntegrationOptions(o);
    EXPECT_TRUE(o.assoc[kIsoRow]);
    SetString(HKCR, ".iso", "", longClass.substr(1)); // 79 characters fit
    LoadIntegrationOptions(o);
    EXPECT_FALSE(o.assoc[kIsoRow]);
}

TEST_F(Options, PortableFileThatForbidsIntegrationHoldsTheChoicesAndHidesTheOwners) {
    SetString(HKCR, ".iso", "", "Burner.Image");
    SetString(HKCR, ".jar", "", "Mivora");
    program_.PutFile(u"Mivora.ini", "Global\\Integration=0\r\n"
                                    "HKCU\\Setup\\.jar\\Set=1\r\n"
                                    "HKCU\\Setup\\.cab\\Set=0\r\n"
                                    "HKCU\\Setup\\Links\\Desktop=1\r\n");
    ASSERT_TRUE(PortableSettings::Instance().LoadFrom(program_.PathOf(u"Mivora.ini")));
    IntegrationOptions o;
    LoadIntegrationOptions(o);
    EXPECT_TRUE(o.assoc[kIsoRow]) << "the registry's owner is not seen";
    EXPECT_FALSE(o.assoc[kJarRow]) << "nor is our own class";
    EXPECT_FALSE(o.assoc[2]);
    EXPECT_TRUE(o.desktop);

    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_FALSE(KeyExists(HKCR, ".zip"));
    EXPECT_FALSE(KeyExists(HKCU, "Software\\Mivora"));
    EXPECT_EQ(PortableSettings::Instance().Find(u"HKCU\\Setup\\.zip\\Exist"), u"0");
}

TEST_F(Options, OwnClassesAreRecognisedIgnoringCase) {
    EXPECT_FALSE(IsOwnAssociation(u".zip"));
    SetString(HKCR, ".zip", "", "mIVORA.zip");
    EXPECT_TRUE(IsOwnAssociation(u".zip"));
    SetString(HKCR, ".zip", "", "Mivora.REV");
    EXPECT_FALSE(IsOwnAssociation(u".zip"));
    SetString(HKCR, ".zip", "", "Mivora2");
    EXPECT_FALSE(IsOwnAssociation(u".zip"));
}

TEST_F(Options, StoredAsZeroOrOneAndLoadedBack) {
    IntegrationOptions stored;
    for (size_t i = 0; i < kArchiveTypeCount; ++i)
        stored.assoc[i] = i % 3 == 0 && i != kJarRow;
    stored.desktop = stored.programs = stored.cascadedMenu = true;
    StoreIntegrationOptions(stored);

    EXPECT_EQ(GetDword(HKCU, BackupKey(".ozu"), "Set"), 1u);
    EXPECT_EQ(GetDword(HKCU, BackupKey(".zip"), "Set"), 0u);
    EXPECT_EQ(GetDword(HKCU, BackupKey(".001"), "Set"), 0u);
    EXPECT_EQ(GetDword(HKCU, BackupKey(".xz"), "Set"), 0u);
    EXPECT_EQ(GetDword(HKCU, BackupKey(".zipx"), "Set"), 1u);
    EXPECT_FALSE(KeyExists(HKCU, BackupKey(".tgz"))) << "only primary extensions hold a choice";
    EXPECT_EQ(GetDword(HKCU, "Software\\Mivora\\Setup\\Links", "Desktop"), 1u);
    EXPECT_EQ(GetDword(HKCU, "Software\\Mivora\\Setup\\Links", "StartMenu"), 0u);
    EXPECT_EQ(GetDword(HKCU, "Software\\Mivora\\Setup", "ShellExt"), 0u);
    EXPECT_EQ(GetDword(HKCU, "Software\\Mivora\\Setup", "CascadedMenu"), 1u);
    EXPECT_EQ(ValueNames(HKCU, "Software\\Mivora\\Setup"),
              (Names{"CascadedMenu", "MenuIcons", "ShellExt"}));

    IntegrationOptions loaded;
    LoadIntegrationOptions(loaded);
    EXPECT_EQ(loaded, stored);

    SetDword(HKCU, BackupKey(".cab"), "Set", 2);
    SetDword(HKCU, "Software\\Mivora\\Setup", "MenuIcons", 7);
    LoadIntegrationOptions(loaded);
    EXPECT_TRUE(loaded.assoc[2]);
    EXPECT_TRUE(loaded.menuIcons);
}

// --- Taking and giving back extensions --------------------------------------

using Associations = Integration;

TEST_F(Associations, ZipOverForeignOwnerIsBackedUpOnceAndRestored) {
    SetString(HKCR, ".zip", "", "OtherZip");
    SetString(HKCR, ".zip\\ShellNew", "NullFile", "");

    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    for (HKEY root : {HKCU, HKEY_LOCAL_MACHINE}) { // per user, and machine-wide
        EXPECT_EQ(GetDword(root, BackupKey(".zip"), "Exist"), 1u);
        EXPECT_EQ(GetString(root, BackupKey(".zip"), "Type"), "OtherZip");
        EXPECT_EQ(GetString(root, BackupKey(".zip"), "ShellNew"), "*");
    }
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "Mivora.ZIP");
    EXPECT_EQ(ValueNames(HKCR, ".zip\\ShellNew"), Names{"FileName"});
    EXPECT_EQ(GetString(HKCR, ".zip\\ShellNew", "FileName"), Staged(u"zipnew.dat"));
    EXPECT_EQ(program_.ReadFile(u"zipnew.dat"), std::string("PK\x05\x06", 4) + std::string(18, 0));

    // A second setup must not record our own class as the previous owner.
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_EQ(GetString(HKCU, BackupKey(".zip"), "Type"), "OtherZip");
    EXPECT_EQ(GetString(HKCU, BackupKey(".zip"), "ShellNew"), "*");
    EXPECT_EQ(GetDword(HKCU, BackupKey(".zip"), "Exist"), 1u);

    // A removal cut off after it put the previous new-file entry back, with
    // the type still ours: the next one gives both back.
    test::DeleteValue(HKCR, ".zip\\ShellNew", "FileName");
    SetString(HKCR, ".zip\\ShellNew", "NullFile", "");
    SetExtensionAssociation(u".zip", {.shellExt = true, .zip = true});
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "OtherZip");
    EXPECT_EQ(ValueNames(HKCR, ".zip\\ShellNew"), Names{"NullFile"});
    EXPECT_EQ(GetString(HKCR, ".zip\\ShellNew", "NullFile"), "");
    // Given back: nothing is left to give, in either place.
    EXPECT_EQ(ValueNames(HKCU, BackupKey(".zip")), Names{});
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, BackupKey(".zip")));
}

// The record is found wherever it is left: per user or machine-wide (setup
// and uninstall under different accounts, a portable file never saved).
// Without any record nothing is guessed: only our class goes, the rest of
// the key stays, and no empty class is written.
TEST_F(Associations, TheRecordIsFoundWhereverItIsAndNoneMeansNoGuess) {
    struct Case {
        const char* name;
        bool keepUser, keepMachine;
        bool staleUser = false; // the per-user record names an owner of long ago
    };
    for (const Case& c : {Case{"both", true, true}, Case{"machine-wide only", false, true},
                          Case{"per user only", true, false}, Case{"none", false, false},
                          Case{"both, the per-user one stale", true, true, true}}) {
        SCOPED_TRACE(c.name);
        SetString(HKCR, ".cab", "", "CABFolder");
        SetString(HKCR, ".cab\\OpenWithProgids", "Other.cab", "");
        SetExtensionAssociation(u".cab", {.selected = true});
        ASSERT_EQ(GetString(HKCR, ".cab", ""), "Mivora");
        if (c.staleUser)
            SetString(HKCU, BackupKey(".cab"), "Type", "Stale.cab");
        if (!c.keepUser)
            DeleteTree(HKCU, "Software\\Mivora");
        if (!c.keepMachine)
            DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Mivora");

        SetExtensionAssociation(u".cab", {});

        if (c.keepUser || c.keepMachine)
            EXPECT_EQ(GetString(HKCR, ".cab", ""), "CABFolder");
        else
            EXPECT_EQ(GetString(HKCR, ".cab", ""), std::nullopt);
        EXPECT_TRUE(KeyExists(HKCR, ".cab\\OpenWithProgids"));
        DeleteTree(HKCR, ".cab");
    }
    // A type that had no key before setup goes whole, whichever record says so.
    SetExtensionAssociation(u".cab", {.selected = true});
    DeleteTree(HKCU, "Software\\Mivora");
    SetExtensionAssociation(u".cab", {});
    EXPECT_FALSE(KeyExists(HKCR, ".cab"));
}

TEST_F(Associations, PreviousTemplateFileNameIsRestored) {
    SetString(HKCR, ".zip", "", "OtherZip");
    SetString(HKCR, ".zip\\ShellNew", "FileName", "C:\\Other\\empty.zip");
    SetString(HKCR, ".zip\\ShellNew", "NullFile", "");
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_EQ(GetString(HKCU, BackupKey(".zip"), "ShellNew"), "C:\\Other\\empty.zip");
    SetExtensionAssociation(u".zip", {.shellExt = true, .zip = true});
    EXPECT_EQ(ValueNames(HKCR, ".zip\\ShellNew"), (Names{"FileName", "NullFile"}));
    EXPECT_EQ(GetString(HKCR, ".zip\\ShellNew", "FileName"), "C:\\Other\\empty.zip");
}

TEST_F(Associations, OwnerWithoutNewFileEntryIsLeftWithoutShellNewKey) {
    SetString(HKCR, ".zip", "", "CompressedFolder");
    SetString(HKCR, ".zip\\CompressedFolder\\ShellNew", "Data", "PK");
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_EQ(GetString(HKCU, BackupKey(".zip"), "ShellNew"), "");
    EXPECT_TRUE(KeyExists(HKCR, ".zip\\ShellNew"));
    SetExtensionAssociation(u".zip", {.shellExt = true, .zip = true});
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "CompressedFolder");
    EXPECT_FALSE(KeyExists(HKCR, ".zip\\ShellNew")) << "no empty key of ours is left";
    EXPECT_EQ(GetString(HKCR, ".zip\\CompressedFolder\\ShellNew", "Data"), "PK");
}

TEST_F(Associations, OwnersOtherNewFileEntryOutlivesRelease) {
    // Taken while the shell extension was off, the previous owner's "ShellNew"
    // key, which makes new files from data rather than a file, stays as it was.
    SetString(HKCR, ".zip", "", "OtherZip");
    SetString(HKCR, ".zip\\ShellNew", "Data", "PK");
    SetExtensionAssociation(u".zip", {.selected = true, .zip = true});
    EXPECT_EQ(GetString(HKCU, BackupKey(".zip"), "ShellNew"), "");
    SetExtensionAssociation(u".zip", {.zip = true});
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "OtherZip");
    EXPECT_EQ(ValueNames(HKCR, ".zip\\ShellNew"), Names{"Data"});
}

TEST_F(Associations, FamilyFormatWithoutPreviousKeyLeavesNothingOnRelease) {
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    EXPECT_EQ(GetDword(HKCU, BackupKey(".ozu"), "Exist"), 0u);
    EXPECT_EQ(GetString(HKCU, BackupKey(".ozu"), "Type"), "");
    EXPECT_EQ(GetString(HKCU, BackupKey(".ozu"), "ShellNew"), "");
    EXPECT_EQ(GetString(HKCR, ".ozu", ""), "Mivora");
    for (unsigned n = 0; n < 30; ++n)
        EXPECT_EQ(GetString(HKCR, Volume(n), ""), "Mivora") << n;
    EXPECT_FALSE(KeyExists(HKCR, ".o30"));
    EXPECT_EQ(GetString(HKCR, ".ozu\\ShellNew", "FileName"), Staged(u"ozunew.dat"));
    const unsigned char ozu[] = {0x4F, 0x7A, 0x75, 0x21, 0x1A, 0x07, 0x01, 0x00,
                                 0xC1, 0xDF, 0x5F, 0x56, 0x03, 0x01, 0x04, 0x00,
                                 0x1D, 0x77, 0x56, 0x51, 0x03, 0x05, 0x04, 0x00};
    EXPECT_EQ(program_.ReadFile(u"ozunew.dat"), std::string(std::begin(ozu), std::end(ozu)));

    SetString(HKCR, ".o75", "", "Mivora"); // left by an older version
    SetExtensionAssociation(u".ozu", {.shellExt = true, .family = true});
    EXPECT_FALSE(KeyExists(HKCR, ".ozu")) << "the key is deleted once its ShellNew key is gone";
    for (unsigned n = 0; n < 100; ++n)
        EXPECT_FALSE(KeyExists(HKCR, Volume(n))) << n;
}

// Each volume extension gets back what it had; one taken by an earlier
// version, without a record of its own, follows the family format's owner.
TEST_F(Associations, VolumesGoBackToTheirOwnPreviousOwners) {
    SetString(HKCR, ".ozu", "", "OldArc");
    SetString(HKCR, ".o03", "", "OldVolume");
    SetExtensionAssociation(u".ozu", {.selected = true, .family = true});
    DeleteTree(HKCU, "Software\\Mivora\\Setup\\.o07");
    DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Mivora\\Setup\\.o07");
    EXPECT_FALSE(KeyExists(HKCR, ".ozu\\ShellNew")) << "no shell extension, no template";
    SetExtensionAssociation(u".ozu", {.family = true});
    EXPECT_EQ(GetString(HKCR, ".ozu", ""), "OldArc");
    EXPECT_FALSE(KeyExists(HKCR, ".ozu\\ShellNew"));
    EXPECT_EQ(GetString(HKCR, ".o03", ""), "OldVolume");
    EXPECT_EQ(GetString(HKCR, ".o07", ""), "OldArc");
    for (unsigned n = 0; n < 100; ++n) {
        if (n != 3 && n != 7) {
            EXPECT_FALSE(KeyExists(HKCR, Volume(n))) << n;
        }
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Mivora\\Setup\\.o03"));
}

TEST_F(Associations, ReleaseLeavesVolumeExtensionsOfOtherProgramsAlone) {
    SetString(HKCR, ".o05", "", "SplitTool"); // taken over after setup
    SetString(HKCR, ".o42", "", "SplitTool"); // never ours
    SetString(HKCR, ".o43", "", "");          // an empty key of somebody else
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    SetString(HKCR, ".o05", "", "SplitTool");
    SetString(HKCR, ".o60", "", "Mivora"); // left by an older version
    SetExtensionAssociation(u".ozu", {.shellExt = true, .family = true});
    EXPECT_EQ(GetString(HKCR, ".o05", ""), "SplitTool");
    EXPECT_EQ(GetString(HKCR, ".o42", ""), "SplitTool");
    EXPECT_TRUE(KeyExists(HKCR, ".o43"));
    EXPECT_FALSE(KeyExists(HKCR, ".o04"));
    EXPECT_FALSE(KeyExists(HKCR, ".o60"));
}

TEST_F(Associations, ExtensionTakenOverByAnotherProgramIsLeftAlone) {
    SetString(HKCR, ".cab", "", "CabFolder");
    SetExtensionAssociation(u".cab", {.selected = true, .shellExt = true});
    EXPECT_EQ(GetString(HKCR, ".cab", ""), "Mivora");
    SetString(HKCR, ".cab", "", "OtherCab");
    SetString(HKCR, ".zip", "", "OtherZip"); // never ours: no backup at all
    SetString(HKCR, ".zip\\ShellNew", "Data", "x");

    SetExtensionAssociation(u".cab", {.shellExt = true});
    EXPECT_EQ(GetString(HKCR, ".cab", ""), "OtherCab");
    AssociateArchiveTypes(IntegrationOptions{});
    EXPECT_EQ(GetString(HKCR, ".cab", ""), "OtherCab");
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "OtherZip");
    EXPECT_EQ(ValueNames(HKCR, ".zip\\ShellNew"), Names{"Data"});
    EXPECT_FALSE(KeyExists(HKCU, BackupKey(".zip")));
}

// Another archiver took our types over after setup: what it owns stays,
// but nothing of ours (a template entry, volume extensions naming our class)
// may be left behind in them.
TEST_F(Associations, TakenOverTypesLoseOnlyWhatIsStillOurs) {
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    SetString(HKCR, ".zip", "", "OtherZip");
    SetString(HKCR, ".ozu", "", "OtherArc");
    SetString(HKCR, ".ozu\\ShellNew", "NullFile", "");
    SetString(HKCR, ".o05", "", "OtherVol");

    AssociateArchiveTypes(IntegrationOptions{});

    EXPECT_EQ(GetString(HKCR, ".zip", ""), "OtherZip");
    EXPECT_FALSE(KeyExists(HKCR, ".zip\\ShellNew"));
    EXPECT_EQ(GetString(HKCR, ".ozu", ""), "OtherArc");
    EXPECT_EQ(ValueNames(HKCR, ".ozu\\ShellNew"), Names{"NullFile"});
    for (unsigned n = 0; n < 30; ++n) {
        if (n != 5) {
            EXPECT_FALSE(KeyExists(HKCR, Volume(n))) << n;
        }
    }
    EXPECT_EQ(GetString(HKCR, ".o05", ""), "OtherVol");
}

TEST_F(Associations, BackupNamingOurOwnClassGivesAnEmptyClass) {
    SetString(HKCR, ".arj", "", "Mivora");
    SetDword(HKCU, BackupKey(".arj"), "Exist", 1);
    SetString(HKCU, BackupKey(".arj"), "Type", "mivora");
    SetExtensionAssociation(u".arj", {.shellExt = true});
    EXPECT_EQ(GetString(HKCR, ".arj", ""), "");
    EXPECT_TRUE(KeyExists(HKCR, ".arj")) << "the key existed before us";
}

TEST_F(Associations, NewArchiveEntryFollowsShellExtAndTheMenuSwitch) {
    SetString(HKCR, ".ozu", "", "OldArc");
    SetString(HKCR, ".ozu\\ShellNew", "FileName", "old.ozu");
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    EXPECT_EQ(GetString(HKCR, ".ozu\\ShellNew", "FileName"), Staged(u"ozunew.dat"));

    // The user switched the "New" item off: the previous entry comes back
    // while the type stays ours.
    SetDword(HKCU, "Software\\Mivora\\Setup\\MenuItems", "NewOZU", 0);
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    EXPECT_EQ(GetString(HKCR, ".ozu", ""), "Mivora");
    EXPECT_EQ(GetString(HKCR, ".ozu\\ShellNew", "FileName"), "old.ozu");

    // Without the shell extension ZIP gets no template either.
    SetExtensionAssociation(u".zip", {.selected = true, .zip = true});
    EXPECT_EQ(GetString(HKCR, ".zip", ""), "Mivora.ZIP");
    EXPECT_FALSE(KeyExists(HKCR, ".zip\\ShellNew"));
    EXPECT_FALSE(program_.ReadFile(u"zipnew.dat"));
    // NewOZU does not switch off ZIP's entry.
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_TRUE(KeyExists(HKCR, ".zip\\ShellNew"));
}

TEST_F(Associations, TemplateOfTheWrongSizeIsRewrittenOneOfTheRightSizeTrusted) {
    program_.PutFile(u"zipnew.dat", std::string(23, 'x'));
    SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});
    EXPECT_EQ(program_.ReadFile(u"zipnew.dat"), std::string("PK\x05\x06", 4) + std::string(18, 0));
    program_.PutFile(u"ozunew.dat", std::string(24, 'y'));
    SetExtensionAssociation(u".ozu", {.selected = true, .shellExt = true, .family = true});
    EXPECT_EQ(program_.ReadFile(u"ozunew.dat"), std::string(24, 'y'));
}

// A link (or a second name of another file) at a template's name: the file
// it shares its data with keeps its content, whatever setup does.
TEST_F(Associations, ALinkAtATemplateNameIsNotWrittenThrough) {
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        const std::wstring victim(W(program_.PathOf(u"victim.txt")));
        const std::wstring name(W(program_.PathOf(u"zipnew.dat")));
        program_.PutFile(u"victim.txt", std::string(61, 'v')); // the wrong size for a template
        if (!(hard ? test::MakeHardLink(name, victim) : test::MakeLink(name, victim)))
            GTEST_SKIP() << "no links here";

        SetExtensionAssociation(u".zip", {.selected = true, .shellExt = true, .zip = true});

        EXPECT_EQ(program_.ReadFile(u"victim.txt"), std::string(61, 'v'));
        if (hard) { // our own name holds the template again, made anew
            EXPECT_EQ(program_.ReadFile(u"zipnew.dat"),
                      std::string("PK\x05\x06", 4) + std::string(18, 0));
        }
        test::RemoveLink(name);
        DeleteFileW(victim.c_str());
    }
}

TEST_F(Associations, TheTableAssociatesEveryExtensionAndTheEmptyRecordReleasesThem) {
    IntegrationOptions all;
    all.assoc.fill(true);
    all.shellExt = true;
    AssociateArchiveTypes(all);
    for (std::string_view ext : test::kArchiveExtensions) {
        EXPECT_EQ(GetString(HKCR, ext, ""), ext == ".zip" ? "Mivora.ZIP" : "Mivora") << ext;
        EXPECT_EQ(GetDword(HKCU, BackupKey(ext), "Exist"), 0u) << ext;
    }

    AssociateArchiveTypes(IntegrationOptions{});
    for (const std::string& ext : TouchedExtensions())
        EXPECT_FALSE(KeyExists(HKCR, ext)) << ext;
}

// --- The archiver's file classes --------------------------------------------

using FileClasses = Integration;

TEST_F(FileClasses, EachClassHasItsNameOpenCommandAndIcon) {
    SetString(HKCR, "Mivora.ZIP\\DefaultIcon", "", "C:\\Themes\\zip.ico,3");
    ASSERT_TRUE(RegisterProgIds());
    const std::string exe = Staged(u"Mivora.exe");
    const std::string command = "\"" + exe + "\" \"%1\"";
    EXPECT_EQ(GetString(HKCR, "Mivora", ""), "Mivora archive");
    EXPECT_EQ(GetString(HKCR, "Mivora\\shell\\open\\command", ""), command);
    EXPECT_EQ(GetString(HKCR, "Mivora\\DefaultIcon", ""), exe + ",0");
    EXPECT_EQ(GetString(HKCR, "Mivora.ZIP", ""), "Mivora ZIP archive");
    EXPECT_EQ(GetString(HKCR, "Mivora.ZIP\\shell\\open\\command", ""), command);
    EXPECT_EQ(GetString(HKCR, "Mivora.ZIP\\DefaultIcon", ""), "C:\\Themes\\zip.ico,3")
        << "a theme's icon is kept";
    EXPECT_EQ(GetString(HKCR, ".rev", ""), "Mivora.REV");
    EXPECT_EQ(GetString(HKCR, "Mivora.REV", ""), "Mivora recovery volume");
    EXPECT_EQ(GetString(HKCR, "Mivora.REV\\shell\\open\\command", ""), command);
    EXPECT_EQ(GetString(HKCR, "Mivora.REV\\DefaultIcon", ""), exe + ",1");
}

// ".rev" is taken without a backup: removal takes only our class away, and
// the key only when nothing of anybody else's is left in it.
TEST_F(FileClasses, RemovalGivesRevBackWithoutWipingIt) {
    struct Case {
        const char* name;
        void (*before)();
        void (*afterSetup)();
        const char* classAfter; // nullptr: the key is gone
        Names valuesAfter;
    };
    const Case cases[] = {
        {"nobody else", [] {}, [] {}, nullptr, {}},
        {"another program's subkey",
         [] { SetString(HKCR, ".rev\\OpenWithProgids", "Other", ""); },
         [] {},
         "<none>",
         {}},
        {"another program's value",
         [] { SetString(HKCR, ".rev", "Content Type", "x/rev"); },
         [] {},
         "<none>",
         {"Content Type"}},
        {"taken over after setup",
         [] {},
         [] { SetString(HKCR, ".rev", "", "OtherRev"); },
         "OtherRev",
         {""}},
        {"owned before setup",
         [] { SetString(HKCR, ".rev", "", "OtherRecovery"); },
         [] {},
         "OtherRecovery",
         {""}},
    };
    for (const Case& c : cases) {
        DeleteTree(HKCR, ".rev");
        c.before();
        ASSERT_TRUE(RegisterProgIds());
        c.afterSetup();

        ReleaseRecoveryVolumes();
        UnregisterProgIds();

        EXPECT_FALSE(KeyExists(HKCR, "Mivora.REV")) << c.name;
        if (!c.classAfter) {
            EXPECT_FALSE(KeyExists(HKCR, ".rev")) << c.name;
            continue;
        }
        EXPECT_TRUE(KeyExists(HKCR, ".rev")) << c.name;
        EXPECT_EQ(GetString(HKCR, ".rev", "").value_or("<none>"), c.classAfter) << c.name;
        EXPECT_EQ(ValueNames(HKCR, ".rev"), c.valuesAfter) << c.name;
    }
}

TEST_F(FileClasses, RefusedFirstWriteReportsFalseAndWritesNothingMore) {
    test::WriteDenied denied(HKCR, "Mivora");
    ASSERT_TRUE(denied.Active());
    EXPECT_FALSE(RegisterProgIds());
    EXPECT_FALSE(KeyExists(HKCR, "Mivora.ZIP"));
    EXPECT_FALSE(KeyExists(HKCR, ".rev"));
}

} // namespace
} // namespace ozu
