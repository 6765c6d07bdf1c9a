// The archiver's shortcuts on the desktop and in the start menu, and its
// program groups, written as real shell links.

#include "integration/shortcuts.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <array>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/folder_tree.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "base/shell_link.h"
#include "base/system_info.h"
#include "base/trusted_folder.h"
#include "base/win32_text.h"
#include "integration/options.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

constexpr std::u16string_view kShortcutName = u"Mivora.lnk";
constexpr std::u16string_view kGroupName = u"Mivora";
constexpr std::u16string_view kArchiverExe = u"Mivora.exe";

// One shortcut of a program group: its target beside the program and its
// name. Ids of zero stand for the fixed texts.
struct GroupItem {
    std::u16string_view fixedTarget;
    uint32_t targetId;
    std::u16string_view fixedName;
    uint32_t nameId;
};

constexpr std::array<GroupItem, 4> kGroupItems{{
    {kArchiverExe, 0, u"Mivora", 0},
    {u"Mivora.chm", 0, u"", IDS_MIVORAHELP},
    {u"Ozu.txt", 0, u"", IDS_OZUHELP},
    {u"", IDS_WHATSNEWNAME, u"", IDS_WHATSNEW},
}};

std::u16string ItemText(std::u16string_view fixed, uint32_t id) {
    return id != 0 ? GetLocalizedString(id) : std::u16string(fixed);
}

// A name from a translation becomes part of a path: it must stay one plain
// name inside its folder.
bool IsPlainName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") {
        return false;
    }
    return name.find_first_of(u"\\/:") == std::u16string_view::npos;
}

// The shared settings of every shortcut of one run.
struct ShortcutContext {
    std::u16string program;
    std::u16string workingFolder;
    std::u16string description;
    std::u16string_view iconFile;
};

// A shortcut is written or deleted only where no link stands at its name:
// saving or deleting through one would reach the file it points to.
bool IsLinkAt(std::u16string_view folder, std::u16string_view shortcut) {
    if (TrustedFolder(folder).Inspect(shortcut) != DiskEntry::Link) {
        return false;
    }
    LogRecord("shortcut-left", {{"path", shortcut}, {"reason", u"link"}});
    return true;
}

// Creates one shortcut with the settings of the run, and logs it.
void WriteShortcut(std::u16string_view target, std::u16string_view shortcut,
                   std::optional<std::u16string_view> workingFolder,
                   std::u16string_view description, std::u16string_view iconFile) {
    const ShortcutFacts facts{ExistingLink::Keep, target,   shortcut,    workingFolder,
                              description,        iconFile, std::nullopt};
    Made({.kind = ChangeKind::SaveShortcut, .verb = "shortcut-create", .shortcut = &facts});
}

// Deletes a shortcut through the handle it was checked with; a link at its
// name stays, and so does what it points to.
void RemoveShortcut(std::u16string_view shortcut) {
    CheckedEntry entry = TrustedFolder(FolderPartOf(shortcut, kPathCapacity)).Open(shortcut);
    if (entry.Kind() == DiskEntry::Link) {
        LogRecord("shortcut-left", {{"path", shortcut}, {"reason", u"link"}});
    } else if (entry.Kind() == DiskEntry::File) {
        Made({.kind = ChangeKind::DeleteChecked, .verb = "shortcut-remove", .entry = &entry});
    }
}

// Every file of the group goes, so that the group holds exactly our
// shortcuts after setup, even when the user put other files there.
void EmptyFolder(std::u16string_view folder) {
    // Held through its handle meanwhile: a group swapped for a link after
    // its check is never emptied.
    const std::optional<TrustedFolder> group =
        TrustedFolder(FolderPartOf(folder, kLongPathCapacity + 1)).Hold(folder);
    if (!group) {
        return;
    }
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kLongPathCapacity + 1));
    FoundEntry entry;
    while (scan.Next(entry)) {
        CheckedEntry file = group->Open(entry.name);
        if (file.Kind() == DiskEntry::File) {
            Made({.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &file});
        }
    }
}

// The shortcut names of the group's items that are plain names.
template <typename Use> void ForEachGroupItem(Use&& use) {
    for (size_t i = 0; i < kGroupItems.size(); ++i) {
        const GroupItem& item = kGroupItems[i];
        const std::u16string targetName = ItemText(item.fixedTarget, item.targetId);
        const std::u16string name = ItemText(item.fixedName, item.nameId);
        if (IsPlainName(targetName) && IsPlainName(name)) {
            use(i, targetName, name + u".lnk");
        }
    }
}

void FillGroup(std::u16string_view group, const ShortcutContext& context) {
    ForEachGroupItem([&](size_t i, const std::u16string& targetName, const std::u16string& name) {
        const std::u16string target = FileBesideProgram(targetName);
        const std::u16string shortcut = JoinPath(group, name, kPathCapacity);
        // Only what is installed gets a shortcut.
        if (PathExists(target) && !IsLinkAt(group, shortcut)) {
            WriteShortcut(target, shortcut, context.workingFolder, context.description,
                          i == 0 ? context.iconFile : std::u16string_view());
        }
    });
}

// What became of one program group.
struct GroupState {
    bool exists = false; // the folder is there afterwards
    bool left = false;   // it was to go, and stays
};

// Builds (programs set) or removes one program group.
GroupState UpdateGroup(const std::u16string& group, bool create, const ShortcutContext& context) {
    const uint32_t attributes = QueryAttributes(group);
    if (!create) {
        if (IsDirectoryAttr(attributes) && IsReparseAttr(attributes)) {
            // A linked group folder stays with its files, which live
            // elsewhere; only the shortcuts that setup wrote into it go.
            ForEachGroupItem([&](size_t, const std::u16string&, const std::u16string& name) {
                RemoveShortcut(JoinPath(group, name, kPathCapacity));
            });
        } else if (IsDirectoryAttr(attributes)) {
            const bool removed = DeleteFolderTree(group);
            LogRecord("group-remove", {{"path", group}, {"result", ChangeResult(removed)}});
            return {!removed, !removed};
        }
        return {};
    }
    // A linked group folder is not emptied: its files live elsewhere and are
    // not ours. Our shortcuts are still updated in it.
    if (IsDeletableFolderTree(attributes)) {
        EmptyFolder(group);
    }
    // One that is there already stays as it is.
    Made({.kind = ChangeKind::CreateFolder, .verb = "group-create", .path = group});
    const bool exists = PathExists(group);
    FillGroup(group, context);
    return {exists, false};
}

// What becomes of one shortcut.
enum class LinkAction { Remove, Create };

constexpr LinkAction Wanted(bool wanted) {
    return wanted ? LinkAction::Create : LinkAction::Remove;
}

void UpdateLink(LinkAction action, const std::u16string& shortcut, const std::u16string& target,
                std::optional<std::u16string_view> workingFolder, const ShortcutContext& context) {
    if (action == LinkAction::Remove) {
        RemoveShortcut(shortcut);
    } else if (!IsLinkAt(FolderPartOf(shortcut, kPathCapacity), shortcut)) {
        WriteShortcut(target, shortcut, workingFolder, context.description, context.iconFile);
    }
}

// Builds or removes the program groups of the current user and of all
// users; groupPath gets the one opened after setup. Returns how many groups
// that were to go stay.
unsigned UpdateGroups(bool programs, const ShortcutContext& context, std::u16string* groupPath) {
    unsigned left = 0;
    std::u16string userPrograms;
    if (GetShellFolder(userPrograms, kPathCapacity, CSIDL_PROGRAMS)) {
        const std::u16string group = JoinPath(userPrograms, kGroupName, kPathCapacity);
        if (programs && groupPath) {
            *groupPath = group;
        }
        left += UpdateGroup(group, programs, context).left ? 1 : 0;
    }
    std::u16string commonPrograms;
    if (GetShellFolder(commonPrograms, kPathCapacity, CSIDL_COMMON_PROGRAMS)) {
        const std::u16string group = JoinPath(commonPrograms, kGroupName, kPathCapacity);
        // The all-users group is the one opened after setup, when it was made.
        const GroupState state = UpdateGroup(group, programs, context);
        if (state.exists && programs && groupPath) {
            *groupPath = group;
        }
        left += state.left ? 1 : 0;
    }
    return left;
}

} // namespace

unsigned UpdateShortcuts(const IntegrationOptions& options, std::u16string* groupPath,
                         std::u16string_view iconFile) {
    if (!IsIntegrationAllowed()) {
        return 0;
    }
    ShortcutContext context;
    context.program = FileBesideProgram(kArchiverExe);
    context.description = GetLocalizedString(IDS_MIVORADESC);
    context.iconFile = iconFile;

    const bool vista = WindowsVersion() >= 0x0600;
    std::u16string userDesktop;
    const bool haveUserDesktop = GetShellFolder(userDesktop, kPathCapacity, CSIDL_DESKTOPDIRECTORY);
    std::u16string desktop;
    bool haveDesktop = haveUserDesktop;
    if (vista) {
        // From Vista on the desktop shortcut is for all users; one that an
        // earlier setup left on the user's own desktop goes.
        if (haveUserDesktop) {
            UpdateLink(LinkAction::Remove, JoinPath(userDesktop, kShortcutName, kPathCapacity),
                       context.program, std::nullopt, context);
        }
        haveDesktop = GetShellFolder(desktop, kPathCapacity, CSIDL_COMMON_DESKTOPDIRECTORY);
    } else {
        if (!haveUserDesktop) {
            return 0;
        }
        desktop = userDesktop;
    }
    // Start-menu and group shortcuts start in the user's desktop folder
    // ("unknown_folder" when the shell cannot name it).
    context.workingFolder = userDesktop;

    // A folder the shell cannot name is skipped: its stand-in text is no
    // place to create or delete anything in.
    if (haveDesktop) {
        UpdateLink(Wanted(options.desktop), JoinPath(desktop, kShortcutName, kPathCapacity),
                   context.program, std::nullopt, context);
    }
    std::u16string startMenu;
    if (GetShellFolder(startMenu, kPathCapacity,
                       vista ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU)) {
        UpdateLink(Wanted(options.startMenu), JoinPath(startMenu, kShortcutName, kPathCapacity),
                   context.program, context.workingFolder, context);
    }
    return UpdateGroups(options.programs, context, groupPath);
}

} // namespace ozu
