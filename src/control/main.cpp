#include <windows.h>

#include "control/startup.h"

// Fatal conditions do not come back here: they end the process with their
// exit code where they happen (ozu::EndProgram).
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return ozu::RunProgram(instance);
}
