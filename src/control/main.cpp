#include <windows.h>

#include <new>

#include "base/error_handler.h"
#include "control/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return ozu::RunProgram(instance);
    } catch (const ozu::OZU_EXIT& exit) {
        // Fatal conditions end the program with their code.
        return exit.code;
    } catch (const std::bad_alloc&) {
        return ozu::OZU_EXIT_MEMORY_ERROR;
    }
}
