#include "dialogs/dialog_hook.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/win32_text.h"
#include "dialogs/dialog_size.h"
#include "dialogs/help.h"

// <windows.h> (through <commdlg.h>) maps FindText to FindTextW; the language
// table's FindText is a function of ours.
#undef FindText
#include "localization/language_table.h"
#include "localization/localized_strings.h"

namespace ozu {
namespace {

constexpr std::string_view kSizeKey = "SIZE";
constexpr std::string_view kCaptionKey = "CAPTION";

// The rows of the key table in "$<section>:", called with the key word after
// the colon and the row's control id.
template <typename F> void ForEachSectionKey(std::string_view section, F&& f) {
    for (const LanguageKeyRow& row : LanguageKeyTable) {
        std::string_view key = row.key;
        if (key.size() < section.size() + 2 || key[0] != '$' ||
            key.substr(1, section.size()) != section || key[section.size() + 1] != ':') {
            continue;
        }
        f(row.key, key.substr(section.size() + 2), row.id);
    }
}

Box BoxOf(const RECT& rect) {
    return Box{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void ScaleDialog(HWND dialog, const SizePercent& size) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect;
        GetWindowRect(child, &rect);
        // MapWindowPoints (unlike ScreenToClient) knows mirrored dialogs; there
        // it gives left and right swapped.
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.left > rect.right) {
            std::swap(rect.left, rect.right);
        }
        Box box = ScaleControlBox(BoxOf(rect), size);
        SetWindowPos(child, nullptr, box.left, box.top, box.width, box.height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    RECT window;
    GetWindowRect(dialog, &window);
    RECT client;
    GetClientRect(dialog, &client);
    bool centred = (GetWindowLongPtrW(dialog, GWL_STYLE) & DS_CENTER) != 0;
    Box box = ScaleDialogBox(BoxOf(window), client.right, client.bottom, size, centred);
    if (centred) {
        // Growing about the centre must not push the caption off the screen.
        RECT work;
        if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
            box.left = std::max<int>(box.left, work.left);
            box.top = std::max<int>(box.top, work.top);
        }
    }
    SetWindowPos(dialog, nullptr, box.left, box.top, box.width, box.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
}

// Mirroring moves the controls; the texts also need right-to-left reading
// order, or a translation that mixes in Latin words reads in the wrong order.
void SetRightToLeftReading(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG_PTR exStyle = GetWindowLongPtrW(child, GWL_EXSTYLE);
        SetWindowLongPtrW(child, GWL_EXSTYLE, exStyle | WS_EX_RTLREADING);
    }
}

} // namespace

void KeepLeftToRight(HWND control) {
    if (!control || !LanguageTable::Instance().IsRightToLeft()) {
        return;
    }
    LONG_PTR exStyle = GetWindowLongPtrW(control, GWL_EXSTYLE);
    SetWindowLongPtrW(control, GWL_EXSTYLE, exStyle & ~(WS_EX_LAYOUTRTL | WS_EX_RTLREADING));
    InvalidateRect(control, nullptr, TRUE);
}

void LocalizeDialog(HWND dialog, std::string_view section) {
    const LanguageTable& table = LanguageTable::Instance();
    std::u16string sizeText;
    bool hasSize = false;
    ForEachSectionKey(section, [&](std::string_view key, std::string_view word, uint32_t id) {
        std::u16string text;
        if (!table.FindText(key, text)) {
            return;
        }
        if (word == kSizeKey) {
            sizeText = text;
            hasSize = true;
        } else if (word == kCaptionKey) {
            SetWindowTextW(dialog, W(text));
        } else if (HWND control = GetDlgItem(dialog, static_cast<int>(id))) {
            SetWindowTextW(control, W(text));
        }
    });
    // Scaled last, so that the texts are in place when the controls move.
    if (hasSize) {
        if (std::optional<SizePercent> size = ParseSizeEntry(sizeText)) {
            ScaleDialog(dialog, *size);
        }
    }
}

bool CommonDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM,
                      const DialogDescription& description) {
    switch (message) {
    case WM_INITDIALOG:
        if (LanguageTable::Instance().IsRightToLeft()) {
            SetRightToLeftReading(dialog);
        }
        LocalizeDialog(dialog, description.section);
        return false;
    case WM_SETFONT:
        // Sent before the controls are created: they are then laid out mirrored.
        if (LanguageTable::Instance().IsRightToLeft()) {
            LONG_PTR exStyle = GetWindowLongPtrW(dialog, GWL_EXSTYLE);
            SetWindowLongPtrW(dialog, GWL_EXSTYLE, exStyle | WS_EX_LAYOUTRTL);
        }
        return false;
    case WM_HELP:
        if (!description.helpTopic.empty()) {
            ShowHelpTopic(description.helpTopic);
        }
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDHELP) {
            if (!description.helpTopic.empty()) {
                ShowHelpTopic(description.helpTopic);
            }
            return true;
        }
        return false;
    default:
        return false;
    }
}

INT_PTR RunDialog(const wchar_t* templateName, HWND owner, DLGPROC procedure, LPARAM parameter) {
    HINSTANCE module = ResourceModule();
    INT_PTR result = -1;
    if (FindResourceW(module, templateName, RT_DIALOG)) {
        result = DialogBoxParamW(module, templateName, owner, procedure, parameter);
    }
    HINSTANCE own = ProgramInstance();
    if (result == -1 && module != own) {
        result = DialogBoxParamW(own, templateName, owner, procedure, parameter);
    }
    return result;
}

} // namespace ozu
