#include "dialogs/message_box.h"

#include <string>

#include "base/run_log.h"
#include "localization/language_table.h"

namespace ozu {
namespace {

MessageBoxHook g_hook = nullptr;
bool g_hidden = false;

bool LanguageIsRightToLeft() {
    return LanguageTable::Instance().IsRightToLeft();
}

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::u16string_view AnswerName(int answer) {
    switch (answer) {
    case IDOK:
        return u"OK";
    case IDYES:
        return u"Yes";
    case IDNO:
        return u"No";
    case IDCANCEL:
        return u"Cancel";
    default:
        return u"none";
    }
}

int Show(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style) {
    if (g_hidden) {
        switch (style & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
        }
    }
    if (g_hook != nullptr) {
        return g_hook(owner, text, caption, style);
    }
    // MessageBoxW wants terminated texts; the views need not be.
    const std::u16string textZ(text);
    const std::u16string captionZ(caption);
    return MessageBoxW(owner, reinterpret_cast<const wchar_t*>(textZ.c_str()),
                       reinterpret_cast<const wchar_t*>(captionZ.c_str()), style);
}

} // namespace

int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT style) {
    if (LanguageIsRightToLeft()) {
        style |= MB_RIGHT | MB_RTLREADING;
    }
    const int answer = Show(owner, text, caption, style);
    LogRecord("message-box", {{"caption", LogData(caption)},
                              {"text", LogData(text)},
                              {"shown", g_hidden ? u"no" : u"yes"},
                              {"answer", AnswerName(answer)}});
    return answer;
}

void HideMessageBoxes(bool hidden) {
    g_hidden = hidden;
}

MessageBoxHook SetMessageBoxHookForTesting(MessageBoxHook hook) {
    MessageBoxHook previous = g_hook;
    g_hook = hook;
    return previous;
}

} // namespace ozu
