// The system text services through Win32.
#include <windows.h>

#include "base/system_text.h"
#include "base/system_text_code_page.h"
#include "base/win32_text.h"

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

// Appends the text in the code page; nothing when it cannot be converted.
void AppendWideInCodePage(UINT codePage, DWORD flags, std::u16string_view text, std::string& out) {
    if (text.empty()) {
        return;
    }
    const int length = static_cast<int>(text.size());
    const wchar_t* source = reinterpret_cast<const wchar_t*>(text.data());
    const int needed =
        ::WideCharToMultiByte(codePage, flags, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return;
    }
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(needed));
    const int written = ::WideCharToMultiByte(codePage, flags, source, length, out.data() + old,
                                              needed, nullptr, nullptr);
    out.resize(old + (written > 0 ? static_cast<size_t>(written) : 0));
}

using CompareOrdinalFn = int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL);

// Windows before Vista has no ordinal comparison; its file systems upper-case
// through the same table that CharUpperBuffW uses.
CompareOrdinalFn CompareOrdinalFunction() {
    static const CompareOrdinalFn function =
        reinterpret_cast<CompareOrdinalFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "CompareStringOrdinal")));
    return function;
}

std::u16string UpperCopy(std::u16string_view text) {
    std::u16string copy(text);
    if (!copy.empty()) {
        ::CharUpperBuffW(W(copy.data()), static_cast<DWORD>(copy.size()));
    }
    return copy;
}

} // namespace

size_t CodePageToWide(std::string_view text, char16_t* out) {
    if (text.empty()) {
        return 0;
    }
    const int length = static_cast<int>(text.size());
    const int written = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, W(out), length);
    return written > 0 ? static_cast<size_t>(written) : 0;
}

void AppendWideToCodePage(std::u16string_view text, std::string& out) {
    AppendWideInCodePage(CP_ACP, 0, text, out);
}

bool WideToOemExactly(std::u16string_view text, std::string& out) {
    out.clear();
    const UINT codePage = ::GetOEMCP();
    AppendWideInCodePage(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, text, out);
    return MultiByteToWide(codePage, out) == text;
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

bool SameFileName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.empty()) {
        return true;
    }
    if (const CompareOrdinalFn compare = CompareOrdinalFunction()) {
        return compare(reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                       reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()),
                       TRUE) == CSTR_EQUAL;
    }
    return UpperCopy(a) == UpperCopy(b);
}

} // namespace ozu
