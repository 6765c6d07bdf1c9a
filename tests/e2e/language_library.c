/* A language resource library for the tests: texts of its own, and a setup
   dialog template that cannot be created (a control of an unknown class), as
   a library made for another version of the program might have. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
