// Shell extension registration against the prefix's registry, in both
// Windows shapes: on 64-bit Windows two extensions, the 64-bit one with its
// class keys in the 64-bit view; on 32-bit Windows one extension only.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "as_windows_xp.h"
#include "base/system_info.h"
#include "integration/options.h"
#include "integration/shell_extension.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu::test {
namespace {

const std::string kClsid32 = "{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}";
const std::string kClsid64 = "{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}";
const std::string kApproved =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::string kRegisteredApps = "Software\\RegisteredApplications";
const std::string kCapabilities = "Software\\Mivora\\Capabilities";

// Rows 4 to 8: named by the class id, empty data.
const std::vector<std::string> kClsidHandlers{
    "Mivora\\shellex\\ContextMenuHandlers\\",     "Mivora\\shellex\\PropertySheetHandlers\\",
    "Mivora.ZIP\\shellex\\ContextMenuHandlers\\", "Mivora.ZIP\\shellex\\PropertySheetHandlers\\",
    "exefile\\shellex\\PropertySheetHandlers\\",
};
// Rows 11 to 15: named by the handler key name, the class id as data.
const std::vector<std::string> kNamedHandlers{
    "*\\shellex\\ContextMenuHandlers\\",       "Folder\\shellex\\ContextMenuHandlers\\",
    "Folder\\shellex\\DragDropHandlers\\",     "Drive\\shellex\\DragDropHandlers\\",
    "lnkfile\\shellex\\ContextMenuHandlers\\",
};
const std::vector<std::string> kDropHandlers{"Mivora\\shellex\\DropHandler",
                                             "Mivora.ZIP\\shellex\\DropHandler"};

constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

struct Extension {
    std::string clsid;
    std::string handlerName;
    std::string dll;
    REGSAM classView;
};

// The extensions this Windows shape registers.
std::vector<Extension> ExpectedExtensions(const StagedProgram& program) {
    if (!RunningUnderWow64()) {
        return {{kClsid32, "Mivora", Utf8(program.PathOf(u"ozuext.dll")), kProgramView}};
    }
    return {{kClsid32, "Mivora32", Utf8(program.PathOf(u"ozuext.dll")), KEY_WOW64_32KEY},
            {kClsid64, "Mivora", Utf8(program.PathOf(u"ozuext64.dll")), KEY_WOW64_64KEY}};
}

IntegrationOptions WithShellExt(bool on) {
    IntegrationOptions options;
    options.shellExt = on;
    return options;
}

class ShellExtensionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (REGSAM view : kViews) {
            for (const char* key :
                 {"CLSID\\"
                  "{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}",
                  "CLSID\\"
                  "{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}",
                  "Mivora", "Mivora.ZIP", "*\\shellex", "Folder\\shellex", "Drive\\shellex",
                  "lnkfile\\shellex", "exefile\\shellex", "Directory\\shellex"}) {
                guard_.Keep(HKEY_CLASSES_ROOT, key, view);
            }
            for (const std::string& key :
                 {kApproved, kRegisteredApps, std::string("Software\\Mivora")}) {
                guard_.Keep(HKEY_LOCAL_MACHINE, key, view);
            }
        }
        // Stated start: nothing of ours in either view.
        for (REGSAM view : kViews) {
            DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid32, view);
            DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid64, view);
            DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Mivora", view);
        }
        DeleteTree(HKEY_CLASSES_ROOT, "Mivora");
        DeleteTree(HKEY_CLASSES_ROOT, "Mivora.ZIP");
        for (const char* name : {"Mivora", "Mivora32"}) {
            for (const std::string& key : kNamedHandlers) {
                DeleteTree(HKEY_CLASSES_ROOT, key + std::string(name));
            }
        }
    }

    // Nothing that registration writes for this extension is left, in
    // either view.
    void ExpectUnregistered(const Extension& ext) {
        for (REGSAM view : kViews) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + ext.clsid, view)) << view;
        }
        for (const std::string& key : kClsidHandlers) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key + ext.clsid)) << key;
        }
        for (const std::string& key : kNamedHandlers) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key + ext.handlerName)) << key;
        }
        EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kApproved, ext.clsid).has_value());
    }

    StagedProgram program_;
    RegistryGuard guard_;
};

TEST_F(ShellExtensionTest, SetupRegistersTheExtensionsOfThisWindowsShape) {
    program_.PutFile(u"ozuext.dll", "MZ");
    program_.PutFile(u"ozuext64.dll", "MZ");
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));

    const std::vector<Extension> extensions = ExpectedExtensions(program_);
    for (const Extension& ext : extensions) {
        SCOPED_TRACE(ext.clsid);
        const std::string classKey = "CLSID\\" + ext.clsid;
        EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, classKey, "", ext.classView), "Mivora");
        EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32", "", ext.classView),
                  ext.dll);
        EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32", "ThreadingModel",
                            ext.classView),
                  "Apartment");
        if (RunningUnderWow64()) {
            // The class keys live in their extension's view only.
            const REGSAM other =
                ext.classView == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey, other));
        }
        for (const std::string& key : kClsidHandlers) {
            EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, key + ext.clsid, ""), "") << key;
        }
        for (const std::string& key : kNamedHandlers) {
            EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, key + ext.handlerName, ""), ext.clsid) << key;
        }
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kApproved, ext.clsid), "Mivora shell extension");
    }
    // Both drop handlers hold the extension written last: the 64-bit one
    // where there are two.
    for (const std::string& key : kDropHandlers) {
        EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, key, ""), extensions.back().clsid) << key;
    }
    if (!RunningUnderWow64()) {
        for (REGSAM view : kViews) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid64, view));
        }
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Mivora32"));
        EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kApproved, kClsid64).has_value());
    }
}

TEST_F(ShellExtensionTest, SetupListsEveryArchiveTypeAsACapability) {
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(false));

    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Mivora"),
              "Software\\Mivora\\Capabilities");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kCapabilities, "ApplicationDescription"), "Mivora");
    const std::vector<std::string> expected{".001", ".7z",  ".arj",  ".bz",  ".bz2", ".cab", ".gz",
                                            ".iso", ".jar", ".lha",  ".lz",  ".lzh", ".ozu", ".tar",
                                            ".taz", ".tbz", ".tbz2", ".tgz", ".tlz", ".txz", ".uu",
                                            ".uue", ".xxe", ".xz",   ".z",   ".zip", ".zipx"};
    const std::string associations = kCapabilities + "\\FileAssociations";
    std::vector<std::string> names = ValueNames(HKEY_LOCAL_MACHINE, associations);
    // The registry sorts names without regard to case; compare as a set.
    std::sort(names.begin(), names.end());
    std::vector<std::string> sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(names, sortedExpected);
    for (const std::string& ext : expected) {
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, associations, ext),
                  ext == ".zip" ? "Mivora.ZIP" : "Mivora")
            << ext;
    }
}

TEST_F(ShellExtensionTest, MissingDllsLeaveTheClassesUnregisteredButWriteTheHandlers) {
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));

    for (const Extension& ext : ExpectedExtensions(program_)) {
        for (REGSAM view : kViews) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + ext.clsid, view));
        }
        for (const std::string& key : kNamedHandlers) {
            EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, key + ext.handlerName, ""), ext.clsid) << key;
        }
    }
}

TEST_F(ShellExtensionTest, SetupWithoutShellExtensionRemovesBothExtensionsInBothViews) {
    program_.PutFile(u"ozuext.dll", "MZ");
    program_.PutFile(u"ozuext64.dll", "MZ");
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));
    // Handlers of earlier versions, and one that belongs to another program.
    const std::vector<Extension> extensions = ExpectedExtensions(program_);
    for (const Extension& ext : extensions) {
        SetString(HKEY_CLASSES_ROOT, "Directory\\shellex\\ContextMenuHandlers\\" + ext.handlerName,
                  "", ext.clsid);
        SetString(HKEY_CLASSES_ROOT, "Directory\\shellex\\DragDropHandlers\\" + ext.handlerName, "",
                  ext.clsid);
    }
    SetString(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Other", "", "{other}");

    RegisterShellExtension(ShellRegistration::Write, WithShellExt(false));

    for (const Extension& ext : extensions) {
        SCOPED_TRACE(ext.clsid);
        ExpectUnregistered(ext);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT,
                               "Directory\\shellex\\ContextMenuHandlers\\" + ext.handlerName));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT,
                               "Directory\\shellex\\DragDropHandlers\\" + ext.handlerName));
    }
    for (const std::string& key : kDropHandlers) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Other", ""),
              "{other}");
    // The default-programs entry stays while the archiver is installed.
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Mivora"),
              "Software\\Mivora\\Capabilities");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kCapabilities, "ApplicationDescription"), "Mivora");
}

TEST_F(ShellExtensionTest, UninstallLeavesNothingOfOursInEitherView) {
    program_.PutFile(u"ozuext.dll", "MZ");
    program_.PutFile(u"ozuext64.dll", "MZ");
    SetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Other", "Software\\Other\\Capabilities");
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));

    RegisterShellExtension(ShellRegistration::Remove, IntegrationOptions{});

    for (const Extension& ext : ExpectedExtensions(program_)) {
        SCOPED_TRACE(ext.clsid);
        ExpectUnregistered(ext);
    }
    EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Mivora").has_value());
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Other"),
              "Software\\Other\\Capabilities");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCapabilities));
}

TEST_F(ShellExtensionTest, WindowsXpGetsNoCapabilities) {
    if (!RunningAsWindowsXp()) {
        RunThisTestAsWindowsXp();
        return;
    }
    ASSERT_EQ(WindowsVersion(), 0x0501u);

    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));

    EXPECT_FALSE(GetString(HKEY_LOCAL_MACHINE, kRegisteredApps, "Mivora").has_value());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCapabilities));
    for (const Extension& ext : ExpectedExtensions(program_)) {
        EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, kNamedHandlers[0] + ext.handlerName, ""), ext.clsid);
    }
}

TEST_F(ShellExtensionTest, AClassKeyThatAnotherProgramExtendedStays) {
    program_.PutFile(u"ozuext.dll", "MZ");
    RegisterShellExtension(ShellRegistration::Write, WithShellExt(true));
    SetString(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid32 + "\\Implemented Categories", "", "",
              KEY_WOW64_32KEY);

    RegisterShellExtension(ShellRegistration::Remove, IntegrationOptions{});

    // Our own subkey goes; the class key holding the foreign one stays.
    EXPECT_FALSE(
        KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid32 + "\\InProcServer32", KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid32 + "\\Implemented Categories",
                          KEY_WOW64_32KEY));
}

} // namespace
} // namespace ozu::test
