#include "control/startup.h"

#include <ole2.h>

#include <string>

#include "base/com_ptr.h"
#include "base/scoped_handle.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "control/app_state.h"
#include "control/switches.h"
#include "control/uninstall.h"
#include "localization/localized_strings.h"

namespace ozu {
namespace {

struct BoldFontLifetime {
    BoldFontLifetime() = default;
    ~BoldFontLifetime() { DeleteBoldFont(); }
    BoldFontLifetime(const BoldFontLifetime&) = delete;
    BoldFontLifetime& operator=(const BoldFontLifetime&) = delete;
};

HICON LoadProgramIcon() {
    HICON icon = LoadIconW(ResourceModule(), L"OZUICON");
    // A language library need not carry the icon.
    if (icon == nullptr && ResourceModule() != ProgramInstance())
        icon = LoadIconW(ProgramInstance(), L"OZUICON");
    return icon;
}

} // namespace

std::u16string ReadSfxCommand() {
    std::u16string value(kSfxCommandCapacity, u'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"sfxcmd", W(value.data()), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size())
        return {};
    value.resize(length);
    return value;
}

int RunProgram(HINSTANCE instance) {
    // Libraries are loaded from the system folder or beside the program, never
    // from the current folder.
    RestrictDllSearchPath(true);
    LoadLanguageLibrary(instance);
    StartLanguage(u"uninstall.lng");
    {
        // Shutdown runs in reverse: the rich-edit library is freed first, then
        // OLE ends, then the font is deleted.
        const BoldFontLifetime boldFont;
        // The shell-link and shell-folder code of setup and uninstall needs OLE; a
        // failure only makes those steps fail on their own.
        const ComInit ole;
        // Registers the rich-edit control of the setup dialog.
        const ModuleHandle richEdit(LoadSystemLibrary(u"riched20.dll"));
        ProgramIcon() = LoadProgramIcon();
        CreateBoldFont();

        bool setupRequested = false;
        bool uninstallRequested = false;
        ParseSwitches(PassKind::Environment, ReadSfxCommand(), setupRequested, uninstallRequested);
        ParseSwitches(PassKind::CommandLine, U(GetCommandLineW()), setupRequested,
                      uninstallRequested);

        // /setup always wins over uninstalling: the command-line pass never
        // asks for both.
        if (setupRequested)
            RunSetupMode();
        else if (uninstallRequested)
            static_cast<void>(RunUninstall());
        // Neither: what the switches asked for (a pause, a notice) is done.
    }
    return ExitCode();
}

} // namespace ozu
