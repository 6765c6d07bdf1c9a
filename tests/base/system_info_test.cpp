#include <shlobj.h>

#include <string>

#include <gtest/gtest.h>

#include "base/file_system.h"
#include "base/program_path.h"
#include "base/system_info.h"
#include "base/system_text.h"
#include "base/text.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

// The test prefix is Wine's default Windows 7 (6.1), shown at 96 dots per inch.
TEST(SystemInfo, KnownVersionAndScreen) {
    EXPECT_EQ(WindowsVersion(), 0x0601u);
    EXPECT_EQ(ScaleToScreenDpi(-12), -12);
    EXPECT_EQ(ScaleToScreenDpi(0), 0);
    EXPECT_EQ(ScaleToScreenDpi(96), 96);
}

TEST(SystemInfo, ProgramDataFolderNamesMivoraBelowApplicationData) {
    std::u16string folder = u"stale";
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::u16string expected = std::u16string(U(appData)) + u"\\Mivora";

    ::RemoveDirectoryW(W(expected));
    EXPECT_FALSE(ProgramDataFolder(folder));
    EXPECT_EQ(folder, expected); // named even when missing

    ASSERT_TRUE(::CreateDirectoryW(W(expected), nullptr));
    EXPECT_TRUE(ProgramDataFolder(folder));
    EXPECT_EQ(folder, expected);
    ::RemoveDirectoryW(W(expected));
}

TEST(SystemInfo, LoadSystemLibraryTakesTheSystemFolderOnly) {
    HMODULE riched = LoadSystemLibrary(u"riched20.dll");
    ASSERT_NE(riched, nullptr);
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(riched, path, MAX_PATH);
    wchar_t system[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(CompareTextNoCaseN(U(path), U(system), n), 0);
    ::FreeLibrary(riched);
    EXPECT_EQ(LoadSystemLibrary(u"no-such-library.dll"), nullptr);
}

TEST(SystemInfo, DllSearchPathCanBeRestrictedAndRestored) {
    RestrictDllSearchPath(true);
    wchar_t buffer[16] = L"x";
    EXPECT_EQ(::GetDllDirectoryW(16, buffer), 0u);
    EXPECT_EQ(buffer[0], L'\0');
    RestrictDllSearchPath(false);
    EXPECT_EQ(::GetDllDirectoryW(16, buffer), 0u);
}

TEST(ProgramPath, DefaultsToTheRunningExecutableAndCanBeRedirected) {
    const std::u16string real = ProgramPath();
    ASSERT_FALSE(real.empty());
    EXPECT_TRUE(PathExists(real));
    EXPECT_EQ(CompareTextNoCase(NameOf(real), u"base_tests.exe"), 0);

    SetProgramPathForTesting(u"C:\\stage\\Mivora\\uninstall.exe");
    EXPECT_EQ(ProgramPath(), u"C:\\stage\\Mivora\\uninstall.exe");
    EXPECT_EQ(ProgramFolder(), u"C:\\stage\\Mivora");
    EXPECT_EQ(FileBesideProgram(u"uninstall.lng"), u"C:\\stage\\Mivora\\uninstall.lng");

    SetProgramPathForTesting(u"C:\\uninstall.exe");
    EXPECT_EQ(ProgramFolder(), u"C:\\"); // a drive root keeps its backslash
    EXPECT_EQ(FileBesideProgram(u"Mivora.ini"), u"C:\\Mivora.ini");

    SetProgramPathForTesting(u"");
    EXPECT_EQ(ProgramPath(), real);
}

TEST(SystemText, AnsiCodePageConversions) {
    // The test prefix runs with code page 1252. ASCII (a zero included) takes
    // the shortcut past the system, the rest goes through it; both ways, and
    // appended to text already there.
    using namespace std::string_literals;
    const struct {
        std::string ansi;
        std::u16string wide;
    } cases[] = {
        {"", u""},
        {"Key\x7f\0end, and on"s, u"Key\x7f\0end, and on"s},
        {"caf\xe9 \x80"s, u"caf\u00e9 \u20ac"},
        {"Eight by eight: caf\xe9"s, u"Eight by eight: caf\u00e9"},
        {"\x80\0"s, u"\u20ac\0"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnsiToWide(c.ansi), c.wide) << c.ansi;
        EXPECT_EQ(WideToAnsi(c.wide), c.ansi) << c.ansi;
        std::u16string buffer(c.ansi.size() + 1, u'#');
        EXPECT_EQ(buffer.substr(0, AnsiToWide(c.ansi, buffer.data())) + buffer.back(),
                  c.wide + u'#')
            << c.ansi;
        std::string appended = "s:";
        AppendWideToAnsi(c.wide, appended);
        EXPECT_EQ(appended, "s:" + c.ansi) << c.ansi;
    }
    EXPECT_EQ(WideToAnsi(u"\u0416"), "?"); // no ANSI form: the default character
}

TEST(SystemText, UpperCaseAndComparisonThroughTheSystem) {
    EXPECT_EQ(SystemUpperChar(u'a'), u'A');
    EXPECT_EQ(SystemUpperChar(u'\u00e9'), u'\u00c9');
    EXPECT_EQ(SystemUpperChar(u'\u0436'), u'\u0416');
    EXPECT_EQ(SystemUpperChar(u'1'), u'1');

    // Under a Turkish locale the system would give a dotted capital I;
    // UpperChar never asks it for 'i'.
    LCID saved = ::GetThreadLocale();
    ::SetThreadLocale(MAKELCID(MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), SORT_DEFAULT));
    EXPECT_EQ(UpperChar(u'i'), u'I');
    ::SetThreadLocale(saved);

    EXPECT_EQ(SystemCompareNoCase(u"Mivora", u"mIVORA"), 0);
    EXPECT_LT(SystemCompareNoCase(u"a", u"B"), 0);
    EXPECT_GT(SystemCompareNoCase(u"b", u"A"), 0);
    EXPECT_EQ(SystemCompareNoCase(u"", u""), 0);
    EXPECT_LT(SystemCompareNoCase(u"", u"a"), 0);
}

} // namespace
} // namespace ozu
