// The user's integration choices, the archive types and context-menu items they
// refer to, and how the choices are remembered below the per-user settings root.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "res/resource.h"

namespace ozu {

// Number of association flags in the record. Only the first 17 have an archive
// type; the /init text may still set the last three, which nothing reads.
inline constexpr size_t kAssocCount = 20;

// What setup is to do. Every flag is 0 or 1; the all-zero record means
// "nothing", with which every writer removes what it manages.
struct IntegrationOptions {
    std::array<bool, kAssocCount> assoc{};
    bool desktop = false;
    bool startMenu = false;
    bool programs = false;
    bool shellExt = false;
    bool cascadedMenu = false;
    bool menuIcons = false;

    bool operator==(const IntegrationOptions&) const = default;
};

// One archive type: all its extensions one after another ("." starts each),
// the extension whose settings key holds the choice and whose class tells
// whether the archiver owns the type, the class its extensions get, and the
// setup dialog control that shows the choice.
struct ArchiveType {
    std::u16string_view extensions;
    std::u16string_view primary;
    std::u16string_view progId;
    int control;
};

inline constexpr size_t kArchiveTypeCount = 17;
inline constexpr size_t kOzuRow = 0; // the family's own format: volumes, new-archive entry
inline constexpr size_t kZipRow = 1; // the only type with a class of its own
inline constexpr size_t kJarRow = 11;
inline constexpr size_t kIsoRow = 12;

inline constexpr std::u16string_view kProgId = u"Mivora";
inline constexpr std::u16string_view kZipProgId = u"Mivora.ZIP";
inline constexpr std::u16string_view kRevProgId = u"Mivora.REV";

// The control ids do not follow the row order (.xz 5113, .z 5114, .lz 5115):
// language files name the controls, so the ids are fixed.
inline constexpr std::array<ArchiveType, kArchiveTypeCount> ArchiveTypeTable{{
    {u".ozu", u".ozu", kProgId, IDC_ASSOCOZU},
    {u".zip", u".zip", kZipProgId, IDC_ASSOCZIP},
    {u".cab", u".cab", kProgId, IDC_ASSOCCAB},
    {u".arj", u".arj", kProgId, IDC_ASSOCARJ},
    {u".lz.tlz", u".lz", kProgId, IDC_ASSOCLZ},
    {u".lzh.lha", u".lzh", kProgId, IDC_ASSOCLZH},
    {u".7z", u".7z", kProgId, IDC_ASSOC7Z},
    {u".tar", u".tar", kProgId, IDC_ASSOCTAR},
    {u".gz.tgz", u".gz", kProgId, IDC_ASSOCGZ},
    {u".uue.xxe.uu", u".uue", kProgId, IDC_ASSOCUUE},
    {u".bz2.tbz2.bz.tbz", u".bz2", kProgId, IDC_ASSOCBZ2},
    {u".jar", u".jar", kProgId, IDC_ASSOCJAR},
    {u".iso", u".iso", kProgId, IDC_ASSOCISO},
    {u".z.taz", u".z", kProgId, IDC_ASSOCZ},
    {u".xz.txz", u".xz", kProgId, IDC_ASSOCXZ},
    {u".zipx", u".zipx", kProgId, IDC_ASSOCZIPX},
    {u".001", u".001", kProgId, IDC_ASSOC001},
}};

// Calls f(extension) for each extension of a group such as ".bz2.tbz2.bz.tbz",
// in order: the group is split at every dot after its first character.
template <typename F> void ForEachExtension(std::u16string_view group, F&& f) {
    while (!group.empty()) {
        size_t next = group.find(u'.', 1);
        if (next == std::u16string_view::npos) {
            next = group.size();
        }
        f(group.substr(0, next));
        group.remove_prefix(next);
    }
}

// One item of the shell extension's context menu, stored under
// kMenuItemsKey as a REG_DWORD 0 or 1; the context-menu items dialog edits them.
struct ContextMenuItem {
    int control;
    std::u16string_view valueName;
    uint32_t defaultValue;
};

inline constexpr std::u16string_view kMenuItemsKey = u"Setup\\MenuItems";
// Beside the flags: the masks of files the shell extension always treats as
// archives, a REG_SZ of at most 1023 characters.
inline constexpr std::u16string_view kAlwaysArcValue = u"AlwaysArc";
inline constexpr std::u16string_view kAlwaysArcDefault = u"*.iso";
inline constexpr size_t kAlwaysArcCapacity = 1024;

inline constexpr size_t kContextMenuItemCount = 19;
inline constexpr std::array<ContextMenuItem, kContextMenuItemCount> ContextMenuItemTable{{
    {IDC_CONTEXTEXTRACTTO, u"ExtrTo", 1},
    {IDC_CONTEXTEXTRACTHERE, u"ExtrHere", 1},
    {IDC_CONTEXTEXTRACT, u"Extr", 1},
    {IDC_CONTEXTEXTRACTSEPARATE, u"ExtrSep", 1},
    {IDC_CONTEXTOPENSFX, u"OpenSFX", 1},
    {IDC_CONTEXTOPENARC, u"OpenArc", 1},
    {IDC_CONTEXTADD, u"AddTo", 1},
    {IDC_CONTEXTADDARC, u"AddArc", 1},
    {IDC_CONTEXTEMAILARC, u"EmailArc", 1},
    {IDC_CONTEXTEMAILARCOPT, u"EmailOpt", 1},
    {IDC_CONTEXTTEST, u"Test", 0},
    {IDC_CONTEXTCONVERT, u"Convert", 0},
    {IDC_CONTEXTNEWOZU, u"NewOZU", 1},
    {IDC_CONTEXTNEWZIP, u"NewZIP", 1},
    {IDC_CONTEXTSFXLOCAL, u"SFXLocal", 1},
    {IDC_CONTEXTSFXNETWORK, u"SFXNetwork", 1},
    {IDC_CONTEXTSFXOTHER, u"SFXOther", 1},
    {IDC_CONTEXTDRAGADD, u"DragAdd", 1},
    {IDC_CONTEXTDRAGEXTRACT, u"DragExtr", 1},
}};

// Fills every field from the stored choices, their defaults and the current
// owners of ".jar" and ".iso". assoc entries 17 to 19 are left as they are.
void LoadIntegrationOptions(IntegrationOptions& options);

// Writes every stored field (assoc entries 0 to 16 and the six other flags).
void StoreIntegrationOptions(const IntegrationOptions& options);

// True when the extension's class is currently "Mivora" or "Mivora.ZIP".
bool IsOwnAssociation(std::u16string_view ext);

// True when a class name is "Mivora" or "Mivora.ZIP", ignoring case.
bool IsOwnProgId(std::u16string_view cls);

// The extension's current class under HKEY_CLASSES_ROOT; empty when it has
// none or one too long to read (80 characters with the terminator).
std::u16string CurrentClassOf(std::u16string_view ext);

// "Setup\<ext>", the per-user key holding an extension's choice and the
// backup of its previous owner.
std::u16string SetupKeyOf(std::u16string_view ext);

// Whether a registered path or command (quoted or not) names this
// installation's folder or a file in it. What another copy of the archiver
// registered since names its own folder, and is never removed by this one.
// A missing value names nobody else, and counts as ours.
bool NamesThisInstallation(std::u16string_view registered);

} // namespace ozu
