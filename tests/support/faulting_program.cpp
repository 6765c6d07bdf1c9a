// The program as it ships, with the faulting sink in place of the applying
// one: OZU_FAULT_AT names the change to fail (from 1; none when unset or 0),
// OZU_FAULT_ERROR its error (ERROR_ACCESS_DENIED when unset). When
// OZU_FAULT_COUNT names a file, the number of changes the run handed over is
// written there as it ends, and on a second line the record verb of the
// change that failed. A preview (/whatif) still plans instead.
// OZU_FAULT_WAIT_MS, when set, shortens the pause that the self-removal
// batch file asks of the program (/wait): the batch file tries again until
// the program's file is gone, so a sweep need not wait two seconds a run.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "control/startup.h"
#include "support/faulting_sink.h"

namespace {

unsigned long Setting(const wchar_t* name, unsigned long fallback) {
    const wchar_t* text = _wgetenv(name);
    return text != nullptr && *text != L'\0' ? std::wcstoul(text, nullptr, 10) : fallback;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (const wchar_t* pause = _wgetenv(L"OZU_FAULT_WAIT_MS");
        pause != nullptr &&
        std::wstring_view(GetCommandLineW()).find(L" /wait") != std::wstring_view::npos) {
        Sleep(std::wcstoul(pause, nullptr, 10));
        return 0;
    }
    static ozu::test::FaultingSink sink(Setting(L"OZU_FAULT_AT", 0),
                                        Setting(L"OZU_FAULT_ERROR", ERROR_ACCESS_DENIED));
    ozu::UseChangeSink(sink);
    const int code = ozu::RunProgram(instance);
    if (const wchar_t* countFile = _wgetenv(L"OZU_FAULT_COUNT")) {
        if (FILE* out = _wfopen(countFile, L"w")) {
            std::fprintf(out, "%u\n%s\n", sink.Changes(), sink.FailedVerb().c_str());
            std::fclose(out);
        }
    }
    return code;
}
