// Registers the archiver's shell extension DLLs with the shell and announces
// the archiver to the default-programs list.

#include "integration/shell_extension.h"

#include <windows.h>
#include <shlobj.h>

#include <iterator>

#include "base/file_system.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "integration/options.h"
#include "settings/registry_rows.h"

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

// The extension's own class keys, written in the extension's view: the
// class, then its server. Removed in the other order, a key that still has
// subkeys being kept.
struct ClassKey {
    std::u16string_view format; // of the class id
    std::u16string_view threadingModel;
};
constexpr ClassKey kClassKeys[] = {
    {u"CLSID\\%s", {}},
    {u"CLSID\\%s\\InProcServer32", u"Apartment"},
};

// The keys that hand the extension to the shell, all in the default view:
// each is written with its data (none, or the class id) and removed as a key.
// The shell's class keys are shared with other programs, and only the
// archiver's handlers below them go.
enum class HandlerData : uint8_t {
    Empty,   // named by the class id, with empty data
    ClassId, // the class id as data
    Legacy,  // written by earlier versions only: removed, never written
};
struct HandlerKey {
    std::u16string_view format; // of the class id, or of the handler name
    bool byHandlerName;
    HandlerData data;
};
constexpr HandlerKey kHandlerKeys[] = {
    {u"Mivora\\shellex\\ContextMenuHandlers\\%s", false, HandlerData::Empty},
    {u"Mivora\\shellex\\PropertySheetHandlers\\%s", false, HandlerData::Empty},
    {u"Mivora.ZIP\\shellex\\ContextMenuHandlers\\%s", false, HandlerData::Empty},
    {u"Mivora.ZIP\\shellex\\PropertySheetHandlers\\%s", false, HandlerData::Empty},
    {u"exefile\\shellex\\PropertySheetHandlers\\%s", false, HandlerData::Empty},
    // Drop handlers hold one class id each: the one written last wins.
    {u"Mivora\\shellex\\DropHandler", false, HandlerData::ClassId},
    {u"Mivora.ZIP\\shellex\\DropHandler", false, HandlerData::ClassId},
    {u"*\\shellex\\ContextMenuHandlers\\%s", true, HandlerData::ClassId},
    {u"Folder\\shellex\\ContextMenuHandlers\\%s", true, HandlerData::ClassId},
    {u"Folder\\shellex\\DragDropHandlers\\%s", true, HandlerData::ClassId},
    {u"Drive\\shellex\\DragDropHandlers\\%s", true, HandlerData::ClassId},
    {u"lnkfile\\shellex\\ContextMenuHandlers\\%s", true, HandlerData::ClassId},
    {u"Directory\\shellex\\ContextMenuHandlers\\%s", true, HandlerData::Legacy},
    {u"Directory\\shellex\\DragDropHandlers\\%s", true, HandlerData::Legacy},
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
    for (const ClassKey& row : kClassKeys) {
        const std::u16string path = Key(row.format, clsid);
        const RegLocation key = RegLocation::Class(path);
        const bool server = row.threadingModel.data() != nullptr;
        WriteRegString(key, u"", server ? std::u16string_view(dll) : kClassName, view);
        if (server) {
            WriteRegString(key, u"ThreadingModel", row.threadingModel, view);
        }
    }
}

void RegisterHandlers(std::u16string_view clsid, std::u16string_view handlerName) {
    for (const HandlerKey& row : kHandlerKeys) {
        if (row.data != HandlerData::Legacy) {
            WriteRegString(
                RegLocation::Class(Key(row.format, row.byHandlerName ? handlerName : clsid)), u"",
                row.data == HandlerData::ClassId ? clsid : u"", RegistryView::Default);
        }
    }
    WriteRegString(kApprovedKey, clsid, kApprovedText, RegistryView::Default);
}

void UnregisterExtension(std::u16string_view clsid, std::u16string_view handlerName,
                         RegistryView view) {
    // The class keys go in the default view, and the 64-bit extension's also
    // in the 64-bit view it was written in, which the default view does not
    // reach on 64-bit Windows.
    for (const RegistryView in : {RegistryView::Default, view}) {
        for (size_t row = std::size(kClassKeys); row-- != 0;) {
            DeleteRegKey(RegLocation::Class(Key(kClassKeys[row].format, clsid)), in);
        }
        if (view == RegistryView::Default) {
            break;
        }
    }
    for (const HandlerKey& row : kHandlerKeys) {
        DeleteRegKey(RegLocation::Class(Key(row.format, row.byHandlerName ? handlerName : clsid)),
                     RegistryView::Default);
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
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace ozu
