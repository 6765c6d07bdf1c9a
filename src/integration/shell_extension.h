// Registration of the archiver's shell extension DLLs with the Windows shell,
// and the archiver's entry in the system's default-programs list.
#pragma once

#include <string_view>

#include "settings/settings_store.h"

namespace ozu {

struct IntegrationOptions;

// The two extension DLLs. On 64-bit Windows both are registered: the 32-bit
// one serves 32-bit programs, the 64-bit one the shell itself.
inline constexpr std::u16string_view kShellExtDll32 = u"ozuext.dll";
inline constexpr std::u16string_view kShellExtDll64 = u"ozuext64.dll";
inline constexpr std::u16string_view kShellExtClsid32 = u"{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}";
inline constexpr std::u16string_view kShellExtClsid64 = u"{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}";

// Setup writes the archiver's place in the shell; uninstall removes it.
enum class ShellRegistration { Write, Remove };

// Registers (options.shellExt set) or unregisters both extensions, and writes
// the capabilities on setup or removes them together with the machine
// settings root on uninstall.
void RegisterShellExtension(ShellRegistration registration, const IntegrationOptions& options);

// Writes (enable) or deletes the keys of one extension. Its class keys are in
// classView; handler keys always use the default view.
void WriteShellExtensionKeys(bool enable, std::u16string_view dllName, std::u16string_view clsid,
                             std::u16string_view handlerName, RegistryView classView);

} // namespace ozu
