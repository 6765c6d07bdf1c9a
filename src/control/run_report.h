// How a mode's run ended, as the exit code and the run log tell it.
#pragma once

namespace ozu {

enum class RunOutcome {
    Done,
    Cancelled,     // the user said no (the setup dialog's Cancel, No to the question)
    Failed,        // the integration could not be written, or the files not removed
    RestartNeeded, // done, but files go only at the next restart
    Busy,          // another setup or uninstall was running: nothing changed
};

struct RunReport {
    RunOutcome outcome = RunOutcome::Done;
    unsigned deleted = 0;   // listed files and folders removed
    unsigned scheduled = 0; // listed files scheduled for deletion at restart
    unsigned refused = 0;   // listed entries outside the installation or behind a link
    unsigned left = 0;      // listed files that could be neither deleted nor scheduled
};

// The exit codes that deployment tools understand (/exitcodes): 0 done, 1602
// cancelled, 1603 failed, 1618 another run in progress (they retry it), 3010
// done with a restart needed; and 1639 for a command line that selected no
// mode because of a switch the program does not know.
constexpr int kUnknownSwitchExitCode = 1639;
constexpr int DeploymentExitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Cancelled:
        return 1602;
    case RunOutcome::Failed:
        return 1603;
    case RunOutcome::RestartNeeded:
        return 3010;
    case RunOutcome::Busy:
        return 1618;
    default:
        return 0;
    }
}

// Uninstall mode's exit codes without /exitcodes: a failure is never
// reported as success; a restart still needed is (the files go then).
constexpr int UninstallExitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Cancelled:
        return 1602;
    case RunOutcome::Failed:
    case RunOutcome::Busy:
        return 1603;
    default:
        return 0;
    }
}

} // namespace ozu
