#include "dialogs/help.h"

#include <windows.h>

#include "base/file_system.h"
#include "base/program_path.h"
#include "base/system_info.h"
#include "base/win32_text.h"
#include "localization/localized_strings.h"

namespace ozu {
namespace {

// HtmlHelpW's command that shows a topic (htmlhelp.h is not part of the
// cross tool set, the value is the help control's documented interface).
constexpr UINT kHelpDisplayTopic = 0;

using HtmlHelpFunction = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

HtmlHelpFunction HelpControl() {
    // Loaded once and never freed: the help window keeps running inside the
    // control after the call returns, and unloading it would pull the code
    // out from under that window.
    static HMODULE library = LoadSystemLibrary(u"hhctrl.ocx");
    if (!library) {
        return nullptr;
    }
    return reinterpret_cast<HtmlHelpFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpW")));
}

} // namespace

void ShowHelpTopic(std::u16string_view topic) {
    std::u16string helpFile = FindInLanguageFolder(FileBesideProgram(kHelpFileName));
    if (!PathExists(helpFile)) {
        return;
    }
    HtmlHelpFunction htmlHelp = HelpControl();
    if (!htmlHelp) {
        return;
    }
    std::u16string target = HelpTopicPath(helpFile, topic);
    htmlHelp(GetDesktopWindow(), W(target), kHelpDisplayTopic, 0);
}

} // namespace ozu
