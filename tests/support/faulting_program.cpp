// The program as it ships, with the faulting sink in place of the applying
// one: OZU_FAULT_AT names the change to fail (from 1; none when unset or 0),
// OZU_FAULT_ERROR its error (ERROR_ACCESS_DENIED when unset). When
// OZU_FAULT_COUNT names a file, the number of changes the run handed over is
// written there as it ends. A preview (/whatif) still plans instead.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/startup.h"
#include "support/faulting_sink.h"

namespace {

unsigned long Setting(const wchar_t* name, unsigned long fallback) {
    const wchar_t* text = _wgetenv(name);
    return text != nullptr && *text != L'\0' ? std::wcstoul(text, nullptr, 10) : fallback;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    static ozu::test::FaultingSink sink(Setting(L"OZU_FAULT_AT", 0),
                                        Setting(L"OZU_FAULT_ERROR", ERROR_ACCESS_DENIED));
    ozu::UseChangeSink(sink);
    const int code = ozu::RunProgram(instance);
    if (const wchar_t* countFile = _wgetenv(L"OZU_FAULT_COUNT")) {
        if (FILE* out = _wfopen(countFile, L"w")) {
            std::fprintf(out, "%u\n", sink.Changes());
            std::fclose(out);
        }
    }
    return code;
}
