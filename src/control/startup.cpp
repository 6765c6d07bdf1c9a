#include "control/startup.h"

#include <ole2.h>

#include <string>

#include "base/change_sink.h"
#include "base/com_ptr.h"
#include "base/error_handler.h"
#include "base/file_system.h"
#include "base/run_log.h"
#include "base/scoped_handle.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "control/app_state.h"
#include "control/single_run.h"
#include "control/switches.h"
#include "control/uninstall.h"
#include "dialogs/message_box.h"
#include "integration/app_registration.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/portable_settings.h"
#include "settings/settings_store.h"

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
    if (icon == nullptr && ResourceModule() != ProgramInstance()) {
        icon = LoadIconW(ProgramInstance(), L"OZUICON");
    }
    return icon;
}

std::u16string_view YesNo(bool value) {
    return value ? u"yes" : u"no";
}

// Opens the log that /log asks for (a planning run is written nowhere else,
// so /whatif asks for it too) and writes what an administrator needs to know
// about the run before its first change.
void StartRunLog(std::u16string_view mode) {
    const Switches& switches = TheSwitches();
    if (!switches.LogPath && !switches.WhatIf) {
        return;
    }
    std::u16string path = switches.LogPath.value_or(std::u16string());
    if (path.empty()) {
        // The log opens only where it is a plain file of its own (no link
        // planted in the temporary folder is written through).
        const std::u16string temp = UserTempFolder();
        if (temp.empty()) {
            return;
        }
        path = JoinPath(temp, u"Mivora-uninstall.log", kLongPathCapacity);
    }
    if (!OpenRunLog(path)) {
        return;
    }
    const unsigned version = WindowsVersion();
    bool elevationKnown = false;
    const bool elevated = IsElevated(elevationKnown);
    PortableSettings& portable = PortableSettings::Instance();
    portable.Load();
    LogRecord("start",
              {{"program", u"Mivora-uninstall"},
               {"version", FormatText(16, u"%d.%02d", kProductVersionMajor, kProductVersionMinor)},
               {"mode", mode},
               {"whatif", YesNo(TheSwitches().WhatIf)}});
    LogRecord("command-line", {{"text", U(GetCommandLineW())}});
    LogRecord("sfxcmd", {{"text", ReadSfxCommand()}});
    LogRecord("system", {{"windows", FormatText(16, u"%u.%u", version >> 8, version & 0xFF)},
                         {"wow64", YesNo(RunningUnderWow64())},
                         {"elevated", elevationKnown ? YesNo(elevated) : u"unknown"}});
    LogRecord("portable-file",
              {{"found", YesNo(portable.IsLoaded())},
               {"path", portable.IsLoaded() ? std::u16string_view(portable.FilePath())
                                            : std::u16string_view()}});
}

} // namespace

std::u16string ReadSfxCommand() {
    std::u16string value(kSfxCommandCapacity, u'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"sfxcmd", W(value.data()), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) {
        return {};
    }
    value.resize(length);
    return value;
}

namespace {

// Another setup or uninstall held the machine for longer than we wait:
// nothing was changed, and the person or the tool is told so.
RunReport ReportAnotherRun(bool setup) {
    LogRecord("busy", {{"waited", LogNumber(kSingleRunWaitMs / 1000)}, {"changed", u"nothing"}});
    if (!TheSwitches().SilentMode) {
        ShowMessageBox(nullptr, GetLocalizedString(IDS_ANOTHERRUN),
                       GetLocalizedString(setup ? IDS_UNINSTTITLE : IDS_UNINSTALLOZU),
                       MB_ICONWARNING | MB_SETFOREGROUND);
    }
    if (setup) {
        ExitCode() = 1; // to the installer, as a setup that wrote nothing
    }
    return {RunOutcome::Busy};
}

// The run log's last line. At a fatal end (no report; `fatal`: its code) the
// counts of the run are not known, and are left out.
void LogResult(int exitCode, const RunReport* report, unsigned fatal = 0) {
    std::u16string counts[4];
    if (report) {
        counts[0] = LogNumber(report->deleted);
        counts[1] = LogNumber(report->scheduled);
        counts[2] = LogNumber(report->refused);
        counts[3] = LogNumber(report->left);
    }
    const auto known = [report](std::u16string_view value) {
        return report ? value : std::u16string_view();
    };
    const std::u16string fatalCode = fatal ? LogNumber(fatal) : std::u16string();
    LogRecord("result",
              {{"exit-code", FormatText(16, u"%d", exitCode)},
               {"restart", known(YesNo(report && report->outcome == RunOutcome::RestartNeeded))},
               {"deleted", known(counts[0])},
               {"scheduled", known(counts[1])},
               {"refused", known(counts[2])},
               {"left", known(counts[3])},
               {"registry-failures", LogNumber(FailedRegistryChanges())},
               {"fatal", fatal ? std::u16string_view(fatalCode) : std::u16string_view()}});
}

// The exit code of the run, as the switches ask for it, and the run log's
// result line.
void SetExitCodeAndLogResult(const RunReport& report, bool setupRequested,
                             bool uninstallRequested) {
    const Switches& switches = TheSwitches();
    const bool noMode = !setupRequested && !uninstallRequested;
    if (switches.ExitCodes) {
        ExitCode() = noMode && !switches.UnknownSwitch.empty() ? kUnknownSwitchExitCode
                                                               : DeploymentExitCode(report.outcome);
    } else if (uninstallRequested && !setupRequested) {
        ExitCode() = UninstallExitCode(report.outcome);
    }
    LogResult(ExitCode(), &report);
}

// Whether /exitcodes was given, as a plain value that the end of a fatal
// error can read while the runtime destroys the switches.
bool g_deploymentExitCodes = false;

// A fatal error (memory exhausted) ends the process where it happens: a
// deployment tool still gets a code it knows, and the log its last line.
void EndFatally(int code, int& exitCode) {
    if (g_deploymentExitCodes) {
        exitCode = DeploymentExitCode(RunOutcome::Failed);
    }
    LogResult(exitCode, nullptr, static_cast<unsigned>(code));
    CloseRunLog();
}

} // namespace

void StartFatalEndReport() {
    g_deploymentExitCodes = TheSwitches().ExitCodes;
    SetFatalEndHook(&EndFatally);
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

        const Switches& switches = TheSwitches();
        StartFatalEndReport();
        HideMessageBoxes(switches.Quiet);
        // Before anything is read: the plan starts from the machine as it is.
        if (switches.WhatIf) {
            UseChangeSink(PlanningSink());
        }
        // /setup always wins over uninstalling: the command-line pass never
        // asks for both.
        StartRunLog(setupRequested ? u"setup" : uninstallRequested ? u"uninstall" : u"none");
        if (switches.NoRestart) {
            LogRecord("no-restart", {{"note", u"this program never restarts Windows"}});
        }
        const bool noMode = !setupRequested && !uninstallRequested;
        if (noMode && !switches.UnknownSwitch.empty()) {
            LogRecord("unknown-switch", {{"switch", switches.UnknownSwitch}});
        }
        RunReport report;
        SingleRunLock lock;
        const LockWait wait =
            setupRequested || uninstallRequested ? lock.Acquire(kSingleRunWaitMs) : LockWait::Free;
        // Without the lock the run goes on: refusing it would let whatever
        // stands in the lock's way stop every setup and uninstall.
        if (wait == LockWait::Unavailable) {
            LogRecord("lock-unavailable", {{"error", LogNumber(lock.Error())}});
        }
        if (wait == LockWait::Busy) {
            report = ReportAnotherRun(setupRequested);
        } else if (setupRequested) {
            report = RunSetupMode();
        } else if (uninstallRequested) {
            report = RunUninstall(wait == LockWait::AfterAnotherRun);
        }
        // Neither: what the switches asked for (a pause, a notice) is done.
        SetExitCodeAndLogResult(report, setupRequested, uninstallRequested);
        CloseRunLog();
    }
    // What follows is exit's: the portable settings are saved from their
    // destructor.
    MarkProgramEnding();
    return ExitCode();
}

} // namespace ozu
