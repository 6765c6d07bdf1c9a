// Registers the archiver's shell extension DLLs with the shell and announces
// the archiver to the default-programs list.

#include "integration/shell_extension.h"

#include "base/file_system.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "integration/options.h"
#include "settings/registry_rows.h"

#include <windows.h>
#include <shlobj.h>

#include <array>

namespace ozu {

namespace {

// Key paths of the handler table are formatted in this many characters.
constexpr size_t kKeyCapacity = 1024;

constexpr std::u16string_view kClassName = u"Mivora";
constexpr RegLocation kApprovedKey = RegLocation::Absolute(
    RegScope::Machine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved");
constexpr std::u16string_view kApprovedText = u"Mivora shell extension";
constexpr RegLocation kRegisteredApplicationsKey =
    RegLocation::Absolute(RegScope::Machine, u"Software\\RegisteredApplications");
constexpr RegLocation kMachineSettingsRoot = RegLocation::Settings(RegScope::Machine, u"");
constexpr RegLocation kCapabilitiesKey = RegLocation::Settings(RegScope::Machine, u"Capabilities");
constexpr RegLocation kFileAssociationsKey =
    RegLocation::Settings(RegScope::Machine, u"Capabilities\\FileAssociations");

// The archiver in the default-programs list: its entry in the shared list,
// and its capabilities, a key of its own whose file associations follow the
// archive types.
struct NoFacts {};
constexpr RegRow<NoFacts> kCapabilityRows[] = {
    {kRegisteredApplicationsKey, kClassName, RegKind::Text, RegRemoval::Value,
     RegistryView::Default, [](const NoFacts&) { return TextData(kCapabilitiesKey.Path()); }},
    {kCapabilitiesKey, u"ApplicationDescription", RegKind::Text, RegRemoval::Tree,
     RegistryView::Default, [](const NoFacts&) { return TextData(std::u16string(kClassName)); }},
};

// Handlers named by the class id, with empty data.
constexpr std::array<std::u16string_view, 5> kClsidHandlerKeys{
    u"Mivora\\shellex\\ContextMenuHandlers\\%s",
    u"Mivora\\shellex\\PropertySheetHandlers\\%s",
    u"Mivora.ZIP\\shellex\\ContextMenuHandlers\\%s",
    u"Mivora.ZIP\\shellex\\PropertySheetHandlers\\%s",
    u"exefile\\shellex\\PropertySheetHandlers\\%s",
};

// Drop handlers hold one class id each: the one written last wins.
constexpr std::array<std::u16string_view, 2> kDropHandlerKeys{
    u"Mivora\\shellex\\DropHandler",
    u"Mivora.ZIP\\shellex\\DropHandler",
};

// Handlers named by the handler key name, with the class id as data.
constexpr std::array<std::u16string_view, 5> kNamedHandlerKeys{
    u"*\\shellex\\ContextMenuHandlers\\%s",       u"Folder\\shellex\\ContextMenuHandlers\\%s",
    u"Folder\\shellex\\DragDropHandlers\\%s",     u"Drive\\shellex\\DragDropHandlers\\%s",
    u"lnkfile\\shellex\\ContextMenuHandlers\\%s",
};

// Written by earlier versions only; removed so that old installations end clean.
constexpr std::array<std::u16string_view, 2> kLegacyHandlerKeys{
    u"Directory\\shellex\\ContextMenuHandlers\\%s",
    u"Directory\\shellex\\DragDropHandlers\\%s",
};

std::u16string Key(std::u16string_view format, std::u16string_view arg) {
    return FormatText(kKeyCapacity, format, arg);
}

void RegisterClassKeys(std::u16string_view dllName, std::u16string_view clsid, RegistryView view) {
    std::u16string dll = ProgramPath();
    ReplaceNamePart(dll, dllName, kPathCapacity);
    // Without its DLL the class is not registered; the handlers are still
    // written, so a DLL copied later needs only its class keys.
    if (!PathExists(dll)) {
        return;
    }
    const std::u16string classKey = Key(u"CLSID\\%s", clsid);
    const std::u16string serverKey = Key(u"CLSID\\%s\\InProcServer32", clsid);
    WriteRegString(RegLocation::Class(classKey), u"", kClassName, view);
    WriteRegString(RegLocation::Class(serverKey), u"", dll, view);
    WriteRegString(RegLocation::Class(serverKey), u"ThreadingModel", u"Apartment", view);
}

void RegisterHandlers(std::u16string_view clsid, std::u16string_view handlerName) {
    for (std::u16string_view format : kClsidHandlerKeys) {
        WriteRegString(RegLocation::Class(Key(format, clsid)), u"", u"", RegistryView::Default);
    }
    for (std::u16string_view key : kDropHandlerKeys) {
        WriteRegString(RegLocation::Class(key), u"", clsid, RegistryView::Default);
    }
    for (std::u16string_view format : kNamedHandlerKeys) {
        WriteRegString(RegLocation::Class(Key(format, handlerName)), u"", clsid,
                       RegistryView::Default);
    }
    WriteRegString(kApprovedKey, clsid, kApprovedText, RegistryView::Default);
}

void UnregisterExtension(std::u16string_view clsid, std::u16string_view handlerName,
                         RegistryView view) {
    const std::u16string classKey = Key(u"CLSID\\%s", clsid);
    const std::u16string serverKey = Key(u"CLSID\\%s\\InProcServer32", clsid);
    DeleteRegKey(RegLocation::Class(serverKey), RegistryView::Default);
    DeleteRegKey(RegLocation::Class(classKey), RegistryView::Default);
    // The 64-bit extension's class keys were written in the 64-bit view,
    // which the default-view deletions above do not reach on 64-bit Windows.
    if (view == RegistryView::View64) {
        DeleteRegKey(RegLocation::Class(serverKey), view);
        DeleteRegKey(RegLocation::Class(classKey), view);
    }
    for (std::u16string_view format : kClsidHandlerKeys) {
        DeleteRegKey(RegLocation::Class(Key(format, clsid)), RegistryView::Default);
    }
    for (std::u16string_view key : kDropHandlerKeys) {
        DeleteRegKey(RegLocation::Class(key), RegistryView::Default);
    }
    for (std::u16string_view format : kNamedHandlerKeys) {
        DeleteRegKey(RegLocation::Class(Key(format, handlerName)), RegistryView::Default);
    }
    for (std::u16string_view format : kLegacyHandlerKeys) {
        DeleteRegKey(RegLocation::Class(Key(format, handlerName)), RegistryView::Default);
    }
    DeleteRegValue(kApprovedKey, clsid, RegistryView::Default);
}

void WriteCapabilities() {
    Write(kCapabilityRows, NoFacts{});
    // Every type is offered to the default-programs list, chosen or not.
    for (const ArchiveType& type : ArchiveTypeTable) {
        ForEachExtension(type.extensions, [&](std::u16string_view ext) {
            WriteRegString(kFileAssociationsKey, ext, type.progId, RegistryView::Default);
        });
    }
}

} // namespace

void WriteShellExtensionKeys(bool enable, std::u16string_view dllName, std::u16string_view clsid,
                             std::u16string_view handlerName, RegistryView classView) {
    if (enable) {
        RegisterClassKeys(dllName, clsid, classView);
        RegisterHandlers(clsid, handlerName);
    } else {
        UnregisterExtension(clsid, handlerName, classView);
    }
}

void RegisterShellExtension(ShellRegistration registration, const IntegrationOptions& options) {
    const bool remove = registration == ShellRegistration::Remove;
    const bool wow64 = RunningUnderWow64();
    WriteShellExtensionKeys(options.shellExt, kShellExtDll32, kShellExtClsid32,
                            wow64 ? u"Mivora32" : u"Mivora", RegistryView::Default);
    if (wow64) {
        WriteShellExtensionKeys(options.shellExt, kShellExtDll64, kShellExtClsid64, u"Mivora",
                                RegistryView::View64);
    }
    // The default-programs list exists from Windows Vista on.
    if (WindowsVersion() >= 0x0600) {
        if (remove) {
            Remove(kCapabilityRows);
        } else {
            WriteCapabilities();
        }
    }
    if (remove) {
        // What else the archiver keeps for the whole machine goes with its
        // settings root.
        DeleteRegTree(kMachineSettingsRoot, RegistryView::Default);
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace ozu
