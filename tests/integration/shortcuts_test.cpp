// Shortcuts and program groups, written as real shell links into the
// prefix's shell folders and read back through the shell-link object.

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "as_windows_xp.h"
#include "base/change_sink.h"
#include "base/com_ptr.h"
#include "base/folder_tree.h"
#include "base/shell_link.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "integration/options.h"
#include "integration/shortcuts.h"
#include "localization/language_table.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/portable_settings.h"
#include "settings/settings_store.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/links.h"
#include "support/registry.h"

namespace ozu::test {
namespace {

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    path += u'\\';
    path += name;
    return path;
}

DWORD Attributes(const std::u16string& path) {
    return GetFileAttributesW(W(path));
}
// Names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::u16string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(Join(folder, u"*")), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::u16string name = U(data.cFileName);
        if (name != u"." && name != u"..") {
            names.push_back(Utf8(name));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeFolderLink(const std::u16string& link, const std::u16string& target) {
    return MakeLink(AsWide(link), AsWide(target));
}

void RemoveAll(const std::u16string& path) {
    RemoveTree(AsWide(path));
}

struct LinkInfo {
    std::u16string target;
    std::u16string workingFolder;
    std::u16string description;
    std::u16string icon;
    int iconIndex = -1;
    std::u16string arguments;
};

std::optional<LinkInfo> ReadLink(const std::u16string& path) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.PutVoid()))) {
        return std::nullopt;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(file)) || FAILED(file->Load(W(path), STGM_READ))) {
        return std::nullopt;
    }
    LinkInfo info;
    wchar_t text[INFOTIPSIZE] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    info.target = U(text);
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH);
    info.workingFolder = U(text);
    text[0] = 0;
    link->GetDescription(text, INFOTIPSIZE);
    info.description = U(text);
    text[0] = 0;
    link->GetIconLocation(text, MAX_PATH, &info.iconIndex);
    info.icon = U(text);
    text[0] = 0;
    link->GetArguments(text, INFOTIPSIZE);
    info.arguments = U(text);
    return info;
}

IntegrationOptions Links(bool desktop, bool startMenu, bool programs) {
    IntegrationOptions options;
    options.desktop = desktop;
    options.startMenu = startMenu;
    options.programs = programs;
    return options;
}

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        userDesktop_ = ShellFolder(CSIDL_DESKTOPDIRECTORY);
        commonDesktop_ = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        commonStartMenu_ = ShellFolder(CSIDL_COMMON_STARTMENU);
        userStartMenu_ = ShellFolder(CSIDL_STARTMENU);
        userGroup_ = Join(ShellFolder(CSIDL_PROGRAMS), u"Mivora");
        commonGroup_ = Join(ShellFolder(CSIDL_COMMON_PROGRAMS), u"Mivora");
        ASSERT_FALSE(userDesktop_.empty());
        ASSERT_FALSE(commonDesktop_.empty());
        ASSERT_FALSE(commonStartMenu_.empty());
        // The program as installed, without the console manual.
        program_.PutFile(u"Mivora.exe", "MZ");
        program_.PutFile(u"Mivora.chm", "help");
        whatsNewFile_ = GetLocalizedString(IDS_WHATSNEWNAME);
        ASSERT_FALSE(whatsNewFile_.empty());
        program_.PutFile(whatsNewFile_, "news");
        program_.PutFile(u"theme.ico", "icon");
        CleanUp();
    }
    void TearDown() override {
        LanguageTable::Instance().Clear();
        PortableSettings::Instance().Clear();
        CleanUp();
    }

    void CleanUp() {
        for (const std::u16string* folder :
             {&userDesktop_, &commonDesktop_, &commonStartMenu_, &userStartMenu_}) {
            RemoveAll(Join(*folder, u"Mivora.lnk"));
        }
        RemoveAll(userGroup_);
        RemoveAll(commonGroup_);
    }

    std::u16string Exe() const { return program_.PathOf(u"Mivora.exe"); }
    std::u16string Icon() const { return program_.PathOf(u"theme.ico"); }

    ComInit com_;
    StagedProgram program_;
    std::u16string userDesktop_;
    std::u16string commonDesktop_;
    std::u16string commonStartMenu_;
    std::u16string userStartMenu_;
    std::u16string userGroup_;
    std::u16string commonGroup_;
    std::u16string whatsNewFile_;
};

TEST_F(ShortcutsTest, SetupCreatesEveryShortcutWithItsProperties) {
    // A per-user desktop shortcut of an earlier setup.
    MakeFile(Join(userDesktop_, u"Mivora.lnk"));
    std::u16string groupPath;

    UpdateShortcuts(Links(true, true, true), &groupPath, Icon());

    const std::u16string description = GetLocalizedString(IDS_MIVORADESC);
    ASSERT_FALSE(description.empty());
    EXPECT_FALSE(FileExists(Join(userDesktop_, u"Mivora.lnk")));

    std::optional<LinkInfo> desktop = ReadLink(Join(commonDesktop_, u"Mivora.lnk"));
    ASSERT_TRUE(desktop);
    EXPECT_EQ(Utf8(desktop->target), Utf8(Exe()));
    EXPECT_EQ(Utf8(desktop->description), Utf8(description));
    EXPECT_EQ(Utf8(desktop->icon), Utf8(Icon()));
    EXPECT_EQ(desktop->iconIndex, 0);
    EXPECT_EQ(Utf8(desktop->workingFolder), "");

    std::optional<LinkInfo> startMenu = ReadLink(Join(commonStartMenu_, u"Mivora.lnk"));
    ASSERT_TRUE(startMenu);
    EXPECT_EQ(Utf8(startMenu->target), Utf8(Exe()));
    EXPECT_EQ(Utf8(startMenu->workingFolder), Utf8(userDesktop_));
    EXPECT_EQ(Utf8(startMenu->icon), Utf8(Icon()));

    const std::u16string helpName = GetLocalizedString(IDS_MIVORAHELP) + u".lnk";
    const std::u16string newsName = GetLocalizedString(IDS_WHATSNEW) + u".lnk";
    std::vector<std::string> expected{"Mivora.lnk", Utf8(helpName), Utf8(newsName)};
    std::sort(expected.begin(), expected.end());
    for (const std::u16string* group : {&userGroup_, &commonGroup_}) {
        SCOPED_TRACE(Utf8(*group));
        // No shortcut for the console manual, which is not installed.
        EXPECT_EQ(FolderEntries(*group), expected);
        std::optional<LinkInfo> main = ReadLink(Join(*group, u"Mivora.lnk"));
        ASSERT_TRUE(main);
        EXPECT_EQ(Utf8(main->target), Utf8(Exe()));
        EXPECT_EQ(Utf8(main->icon), Utf8(Icon()));
        EXPECT_EQ(Utf8(main->workingFolder), Utf8(userDesktop_));
        EXPECT_EQ(Utf8(main->description), Utf8(description));
        std::optional<LinkInfo> help = ReadLink(Join(*group, helpName));
        ASSERT_TRUE(help);
        EXPECT_EQ(Utf8(help->target), Utf8(program_.PathOf(u"Mivora.chm")));
        EXPECT_EQ(Utf8(help->icon), "");
        EXPECT_EQ(Utf8(help->workingFolder), Utf8(userDesktop_));
        std::optional<LinkInfo> news = ReadLink(Join(*group, newsName));
        ASSERT_TRUE(news);
        EXPECT_EQ(Utf8(news->target), Utf8(program_.PathOf(whatsNewFile_)));
    }
    // The all-users group is the one to open after setup.
    EXPECT_EQ(Utf8(groupPath), Utf8(commonGroup_));
}

TEST_F(ShortcutsTest, NextSetupEmptiesTheGroupAndUpdatesExistingShortcutsInPlace) {
    UpdateShortcuts(Links(true, false, true), nullptr, u"");
    MakeFile(Join(userGroup_, u"notes.txt"));
    MakeFile(Join(commonGroup_, u"notes.txt"));
    // The user gave the desktop shortcut arguments of their own.
    const std::u16string desktopLink = Join(commonDesktop_, u"Mivora.lnk");
    const ShortcutFacts own{ExistingLink::Keep, Exe(), desktopLink, std::nullopt,
                            std::nullopt,       u"",   u"--fast"};
    ASSERT_TRUE(Made({.kind = ChangeKind::SaveShortcut, .shortcut = &own}));

    UpdateShortcuts(Links(true, false, true), nullptr, Icon());

    for (const std::u16string* group : {&userGroup_, &commonGroup_}) {
        const std::vector<std::string> entries = FolderEntries(*group);
        EXPECT_EQ(std::count(entries.begin(), entries.end(), "notes.txt"), 0) << Utf8(*group);
        EXPECT_EQ(entries.size(), 3u);
    }
    std::optional<LinkInfo> desktop = ReadLink(Join(commonDesktop_, u"Mivora.lnk"));
    ASSERT_TRUE(desktop);
    EXPECT_EQ(Utf8(desktop->arguments), "--fast");
    EXPECT_EQ(Utf8(desktop->icon), Utf8(Icon()));
    EXPECT_FALSE(FileExists(Join(commonStartMenu_, u"Mivora.lnk")));
}

TEST_F(ShortcutsTest, TheAllZeroRecordRemovesEverything) {
    std::u16string groupPath = u"untouched";
    UpdateShortcuts(Links(true, true, true), nullptr, Icon());
    MakeFile(Join(userGroup_, u"notes.txt"));

    UpdateShortcuts(IntegrationOptions{}, &groupPath, u"");

    EXPECT_FALSE(FileExists(Join(commonDesktop_, u"Mivora.lnk")));
    EXPECT_FALSE(FileExists(Join(commonStartMenu_, u"Mivora.lnk")));
    EXPECT_FALSE(FileExists(userGroup_));
    EXPECT_FALSE(FileExists(commonGroup_));
    // Nothing was made, so no group path is handed back.
    EXPECT_EQ(groupPath, u"untouched");
}

// Folders below a group whose full paths reach and pass the length at which
// a search mask was once cut (so that it named the folder it searched, and
// the removal recursed until the stack ran out) go with the group; a group
// that cannot go is counted as left.
TEST_F(ShortcutsTest, GroupsOfAnyPathLengthGoOrAreCountedAsLeft) {
    const struct {
        size_t deepest; // full length of the deepest folder's path
        bool held;      // a file in it is held without sharing its deletion
        unsigned left;
    } rows[] = {{2047, false, 0}, {2100, false, 0}, {2047, true, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.deepest);
        ASSERT_TRUE(CreateDirectoryW(W(userGroup_), nullptr));
        std::u16string folder = userGroup_;
        while (folder.size() < row.deepest) {
            const size_t rest = row.deepest - folder.size() - 1;
            // Parts of at most 200 characters; none shorter than 2.
            const size_t part = rest > 202 ? 200 : rest;
            folder += u"\\" + std::u16string(part, u'd');
            ASSERT_TRUE(CreateDirectoryW(W(u"\\\\?\\" + folder), nullptr)) << folder.size();
        }
        ASSERT_EQ(folder.size(), row.deepest);
        const std::u16string file = u"\\\\?\\" + folder + u"\\deep.txt";
        HANDLE handle = CreateFileW(W(file), GENERIC_WRITE, row.held ? FILE_SHARE_READ : 0, nullptr,
                                    CREATE_NEW, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        if (!row.held) {
            CloseHandle(handle);
        }
        EXPECT_EQ(UpdateShortcuts(IntegrationOptions{}, nullptr, u""), row.left);
        EXPECT_EQ(FileExists(userGroup_), row.left != 0);
        if (row.held) {
            CloseHandle(handle);
        }
        RemoveAll(userGroup_);
    }
}

TEST_F(ShortcutsTest, ALinkedGroupFolderKeepsItsFilesButLosesOurShortcuts) {
    const std::u16string elsewhere = program_.PathOf(u"elsewhere");
    ASSERT_TRUE(CreateDirectoryW(W(elsewhere), nullptr));
    MakeFile(Join(elsewhere, u"keep.txt"));
    if (!MakeFolderLink(userGroup_, elsewhere)) {
        GTEST_SKIP() << "this system cannot make a folder link here";
    }
    UpdateShortcuts(Links(false, false, true), nullptr, u"");
    ASSERT_TRUE(FileExists(Join(elsewhere, u"Mivora.lnk")));

    UpdateShortcuts(IntegrationOptions{}, nullptr, u"");

    EXPECT_NE(Attributes(userGroup_) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_TRUE(FileExists(Join(elsewhere, u"keep.txt")));
    for (const std::string& name : FolderEntries(elsewhere)) {
        EXPECT_EQ(name, "keep.txt"); // none of our shortcuts is left
    }
}

// Links inside a real group, and one planted at a shortcut's own name: setup
// and removal neither write nor delete through them.
TEST_F(ShortcutsTest, LinksInsideTheGroupAndAtShortcutNamesAreNotFollowed) {
    const std::u16string outside = program_.PathOf(u"outside");
    ASSERT_TRUE(CreateDirectoryW(W(outside), nullptr));
    MakeFile(Join(outside, u"keep.txt"), "victim");
    MakeFile(Join(outside, u"file.txt"), "victim");
    MakeFile(Join(outside, u"desk.txt"), "victim");
    ASSERT_TRUE(CreateDirectoryW(W(userGroup_), nullptr));
    const std::u16string links[] = {Join(userGroup_, u"inner"), Join(userGroup_, u"file.lnk"),
                                    Join(commonDesktop_, u"Mivora.lnk")};
    if (!MakeFolderLink(links[0], outside) ||
        !MakeLink(AsWide(links[1]), AsWide(Join(outside, u"file.txt"))) ||
        !MakeLink(AsWide(links[2]), AsWide(Join(outside, u"desk.txt")))) {
        GTEST_SKIP() << "this system cannot make links here";
    }

    UpdateShortcuts(Links(true, false, true), nullptr, u"");
    UpdateShortcuts(IntegrationOptions{}, nullptr, u"");

    for (const char16_t* name : {u"keep.txt", u"file.txt", u"desk.txt"}) {
        EXPECT_EQ(program_.ReadFile(Join(u"outside", name)), "victim") << Utf8(name);
    }
    for (const std::u16string& link : links) {
        RemoveLink(AsWide(link));
    }
}

TEST_F(ShortcutsTest, ALinkedGroupFolderIsNotEmptiedBySetup) {
    const std::u16string elsewhere = program_.PathOf(u"elsewhere");
    ASSERT_TRUE(CreateDirectoryW(W(elsewhere), nullptr));
    MakeFile(Join(elsewhere, u"keep.txt"));
    if (!MakeFolderLink(userGroup_, elsewhere)) {
        GTEST_SKIP() << "this system cannot make a folder link here";
    }
    IntegrationOptions options{};
    options.programs = 1;

    UpdateShortcuts(options, nullptr, u"");

    EXPECT_TRUE(FileExists(Join(elsewhere, u"keep.txt")));
    EXPECT_TRUE(FileExists(Join(elsewhere, u"Mivora.lnk")));
}

TEST_F(ShortcutsTest, NamesFromATranslationStayInsideTheirFolders) {
    // A translation whose names would reach out of the group and the
    // program folder.
    const std::u16string language = program_.PathOf(u"uninstall.lng");
    program_.PutFile(u"uninstall.lng", "***messages***\r\n"
                                       "IDS_MIVORAHELP ..\\..\\Escaped\r\n"
                                       "IDS_WHATSNEWNAME ..\\outside.txt\r\n");
    ASSERT_TRUE(LanguageTable::Instance().Load(language));
    ASSERT_EQ(GetLocalizedString(IDS_MIVORAHELP), u"..\\..\\Escaped");

    UpdateShortcuts(Links(false, false, true), nullptr, u"");

    const std::u16string programs = ShellFolder(CSIDL_PROGRAMS);
    EXPECT_FALSE(FileExists(Join(programs, u"..\\Escaped.lnk")));
    EXPECT_FALSE(FileExists(Join(programs, u"Escaped.lnk")));
    // Only the program itself keeps its shortcut; the news item named a file
    // outside the program folder.
    EXPECT_EQ(FolderEntries(userGroup_), std::vector<std::string>{"Mivora.lnk"});
}

TEST_F(ShortcutsTest, APortableFileThatForbidsIntegrationLeavesTheShortcutsAlone) {
    UpdateShortcuts(Links(true, false, true), nullptr, u"");
    program_.PutFile(u"Mivora.ini", Utf16LeWithMark(u"Global\\Integration=0\r\n"));
    PortableSettings::Instance().Clear();
    ASSERT_FALSE(IsIntegrationAllowed());

    UpdateShortcuts(IntegrationOptions{}, nullptr, u"");

    EXPECT_TRUE(FileExists(Join(commonDesktop_, u"Mivora.lnk")));
    EXPECT_TRUE(FileExists(Join(userGroup_, u"Mivora.lnk")));
    EXPECT_TRUE(FileExists(Join(commonGroup_, u"Mivora.lnk")));
}

TEST_F(ShortcutsTest, BeforeVistaTheShortcutsAreTheUsersOwn) {
    if (!RunningAsWindowsXp()) {
        RunThisTestAsWindowsXp();
        return;
    }
    ASSERT_EQ(WindowsVersion(), 0x0501u);

    UpdateShortcuts(Links(true, true, false), nullptr, u"");

    std::optional<LinkInfo> desktop = ReadLink(Join(userDesktop_, u"Mivora.lnk"));
    ASSERT_TRUE(desktop);
    EXPECT_EQ(Utf8(desktop->target), Utf8(Exe()));
    std::optional<LinkInfo> startMenu = ReadLink(Join(userStartMenu_, u"Mivora.lnk"));
    ASSERT_TRUE(startMenu);
    EXPECT_EQ(Utf8(startMenu->workingFolder), Utf8(userDesktop_));
    EXPECT_FALSE(FileExists(Join(commonDesktop_, u"Mivora.lnk")));
    EXPECT_FALSE(FileExists(Join(commonStartMenu_, u"Mivora.lnk")));

    UpdateShortcuts(IntegrationOptions{}, nullptr, u"");
    EXPECT_FALSE(FileExists(Join(userDesktop_, u"Mivora.lnk")));
    EXPECT_FALSE(FileExists(Join(userStartMenu_, u"Mivora.lnk")));
}

TEST(DeleteFolderTree, DeletesRealFoldersOnly) {
    EXPECT_TRUE(IsDeletableFolderTree(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(IsDeletableFolderTree(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(IsDeletableFolderTree(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_FALSE(IsDeletableFolderTree(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(IsDeletableFolderTree(INVALID_FILE_ATTRIBUTES));

    StagedProgram program;
    const std::u16string tree = program.PathOf(u"tree");
    ASSERT_TRUE(CreateDirectoryW(W(tree), nullptr));
    ASSERT_TRUE(CreateDirectoryW(W(Join(tree, u"sub")), nullptr));
    MakeFile(Join(Join(tree, u"sub"), u"deep.txt"));
    const std::u16string file = program.PathOf(u"plain.txt");
    MakeFile(file);

    DeleteFolderTree(file);
    DeleteFolderTree(tree);

    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(tree));
}

TEST(GetShellFolder, ASmallBufferOrAnUnknownFolderGivesTheStandIn) {
    std::u16string folder;
    EXPECT_TRUE(GetShellFolder(folder, 260, CSIDL_PROGRAMS));
    EXPECT_EQ(folder, ShellFolder(CSIDL_PROGRAMS));

    EXPECT_FALSE(GetShellFolder(folder, 259, CSIDL_PROGRAMS));
    EXPECT_EQ(folder, u"unknown_folder");
    EXPECT_FALSE(GetShellFolder(folder, 5, CSIDL_PROGRAMS));
    EXPECT_EQ(folder, u"unkn");
    // A CSIDL that names no folder.
    EXPECT_FALSE(GetShellFolder(folder, 2048, 0x7f));
    EXPECT_EQ(folder, u"unknown_folder");
}

} // namespace
} // namespace ozu::test
