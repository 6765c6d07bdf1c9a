// The system text services through Win32.
#include "base/system_text.h"

#include "base/win32_text.h"

#include <windows.h>

namespace ozu {

namespace {

std::u16string MultiByteToWide(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::u16string result(static_cast<size_t>(needed), u'\0');
    int written = ::MultiByteToWideChar(codePage, 0, text.data(), length, W(result.data()), needed);
    result.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return result;
}

std::string WideToMultiByte(UINT codePage, std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const wchar_t* source = reinterpret_cast<const wchar_t*>(text.data());
    int needed = ::WideCharToMultiByte(codePage, 0, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string result(static_cast<size_t>(needed), '\0');
    int written =
        ::WideCharToMultiByte(codePage, 0, source, length, result.data(), needed, nullptr, nullptr);
    result.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return result;
}

template <typename View> View UpToZero(View text) {
    size_t end = text.find(typename View::value_type{0});
    return end == View::npos ? text : text.substr(0, end);
}

} // namespace

std::u16string AnsiToWide(std::string_view text) {
    return MultiByteToWide(CP_ACP, text);
}

std::string WideToAnsi(std::u16string_view text) {
    return WideToMultiByte(CP_ACP, text);
}

std::string WideToOem(std::u16string_view text) {
    return WideToMultiByte(CP_OEMCP, text);
}

namespace {

// The bounded form of a conversion: an empty source gives an empty result;
// a failed conversion gives false; a result longer than capacity - 1 is cut
// and gives false.
template <typename Out, typename In, typename Convert>
bool ConvertBounded(In text, Out& out, size_t capacity, Convert convert) {
    out.clear();
    text = UpToZero(text);
    if (text.empty()) {
        return true;
    }
    Out converted = convert(text);
    if (converted.empty()) {
        return false;
    }
    const size_t room = capacity == 0 ? 0 : capacity - 1;
    const bool fits = converted.size() <= room;
    if (!fits) {
        converted.resize(room);
    }
    out = std::move(converted);
    return fits;
}

} // namespace

bool CharToWide(std::string_view text, std::u16string& out, size_t capacity) {
    return ConvertBounded(text, out, capacity,
                          [](std::string_view t) { return MultiByteToWide(CP_ACP, t); });
}

bool WideToChar(std::u16string_view text, std::string& out, size_t capacity) {
    return ConvertBounded(text, out, capacity,
                          [](std::u16string_view t) { return WideToMultiByte(CP_ACP, t); });
}

char16_t SystemUpperChar(char16_t c) {
    // With a zero high word CharUpperW converts the character passed in the
    // pointer's low word and returns it the same way.
    auto result = reinterpret_cast<ULONG_PTR>(
        ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c))));
    return static_cast<char16_t>(result & 0xFFFF);
}

int SystemCompareNoCase(std::u16string_view a, std::u16string_view b) {
    static const wchar_t empty[] = L"";
    const wchar_t* pa = a.empty() ? empty : reinterpret_cast<const wchar_t*>(a.data());
    const wchar_t* pb = b.empty() ? empty : reinterpret_cast<const wchar_t*>(b.data());
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, pa,
                            static_cast<int>(a.size()), pb, static_cast<int>(b.size())) -
           2;
}

} // namespace ozu
