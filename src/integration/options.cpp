#include "integration/options.h"

#include <windows.h>

#include <string>

#include "base/program_path.h"
#include "base/system_text.h"
#include "base/text.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

constexpr std::u16string_view kSetupKey = u"Setup";
constexpr std::u16string_view kLinksKey = u"Setup\\Links";
constexpr std::u16string_view kSetValue = u"Set";

bool ReadFlag(std::u16string_view key, std::u16string_view name, uint32_t def) {
    return ReadRegDword(RegLocation::Settings(RegScope::User, key), name, def,
                        RegistryView::Default) != 0;
}

void WriteFlag(std::u16string_view key, std::u16string_view name, bool value) {
    WriteRegDword(RegLocation::Settings(RegScope::User, key), name, value ? 1 : 0,
                  RegistryView::Default);
}

} // namespace

std::u16string SetupKeyOf(std::u16string_view ext) {
    std::u16string key(kSetupKey);
    key += u'\\';
    key += ext;
    return key;
}

bool NamesThisInstallation(std::u16string_view registered) {
    std::u16string_view path = registered;
    if (!path.empty() && path.front() == u'"') {
        path.remove_prefix(1);
        path = path.substr(0, path.find(u'"'));
    }
    if (path.empty()) {
        return true;
    }
    if (path.back() == u'\\') {
        path.remove_suffix(1);
    }
    std::u16string folder = ProgramFolder();
    if (!folder.empty() && folder.back() == u'\\') {
        folder.pop_back(); // a drive root: "D:"
    }
    if (path.size() > folder.size() && path[folder.size()] == u'\\' &&
        path.find(u'\\', folder.size() + 1) == std::u16string_view::npos) {
        path = path.substr(0, folder.size()); // a file in the folder
    }
    return SameFileName(path, folder);
}

std::u16string CurrentClassOf(std::u16string_view ext) {
    // The class is read into 80 characters: a longer one does not fit and
    // counts as empty (nobody's).
    constexpr size_t kClassCapacity = 80;
    std::u16string cls;
    ReadRegString(RegLocation::Class(ext), u"", cls, u"", kClassCapacity, RegistryView::Default);
    return cls;
}

bool IsOwnProgId(std::u16string_view cls) {
    return EqualsNoCase(cls, kProgId) || EqualsNoCase(cls, kZipProgId);
}

bool IsOwnAssociation(std::u16string_view ext) {
    return IsOwnProgId(CurrentClassOf(ext));
}

void LoadIntegrationOptions(IntegrationOptions& options) {
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const std::u16string_view ext = ArchiveTypeTable[i].primary;
        options.assoc[i] = ReadFlag(SetupKeyOf(ext), kSetValue, 1);
        // ".jar" is offered only while the archiver already owns it, ".iso"
        // unless another program owns it: neither is taken from a program that
        // handles these files better.
        if ((i == kJarRow || i == kIsoRow) && !IsOwnAssociation(ext)) {
            if (i == kJarRow || !CurrentClassOf(ext).empty()) {
                options.assoc[i] = false;
            }
        }
    }
    options.desktop = ReadFlag(kLinksKey, u"Desktop", 0);
    options.startMenu = ReadFlag(kLinksKey, u"StartMenu", 0);
    options.programs = ReadFlag(kLinksKey, u"Programs", 1);
    options.shellExt = ReadFlag(kSetupKey, u"ShellExt", 1);
    options.cascadedMenu = ReadFlag(kSetupKey, u"CascadedMenu", 0);
    options.menuIcons = ReadFlag(kSetupKey, u"MenuIcons", 1);
}

void StoreIntegrationOptions(const IntegrationOptions& options) {
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        WriteFlag(SetupKeyOf(ArchiveTypeTable[i].primary), kSetValue, options.assoc[i]);
    }
    WriteFlag(kLinksKey, u"Desktop", options.desktop);
    WriteFlag(kLinksKey, u"StartMenu", options.startMenu);
    WriteFlag(kLinksKey, u"Programs", options.programs);
    WriteFlag(kSetupKey, u"ShellExt", options.shellExt);
    WriteFlag(kSetupKey, u"CascadedMenu", options.cascadedMenu);
    WriteFlag(kSetupKey, u"MenuIcons", options.menuIcons);
}

} // namespace ozu
