// Start-up, mode dispatch and shutdown of the program.
#pragma once

#include <windows.h>

#include <string>

#include "control/run_report.h"

namespace ozu {

// The whole run of the program: prepares the process, reads the switches from
// "sfxcmd" and the command line, runs setup mode or uninstall mode (or only
// what the switches themselves do), shuts down and returns the exit code.
int RunProgram(HINSTANCE instance);

// Makes a fatal end (memory exhausted) tell, from here on: the run log gets
// its result line, and under /exitcodes (as the switches say now) the process
// ends with the failure code. RunProgram calls it once the switches are read.
void StartFatalEndReport();

// The value of the environment variable "sfxcmd", through which the installer
// hands over its own switches; empty when it is missing or does not fit its
// buffer of kSfxCommandCapacity characters (it is never read in part).
std::u16string ReadSfxCommand();

// Setup mode: the setup dialog, then (unless a package installer runs it) the
// completion dialog and the 32-bit notice, then the new program group is
// opened. Uninstall mode is RunUninstall (control/uninstall.h).
RunReport RunSetupMode();

} // namespace ozu
