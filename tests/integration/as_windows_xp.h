// Runs one test again in a child process that Wine reports as Windows XP, so
// that the code paths for Windows before Vista run for real. Use:
//   if (!RunningAsWindowsXp()) { RunThisTestAsWindowsXp(); return; }
//   ... the test body, now in the child ...
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

namespace ozu::test {

inline constexpr wchar_t kAsXpVariable[] = L"OZU_TEST_AS_WINDOWS_XP";

inline bool RunningAsWindowsXp() {
    return GetEnvironmentVariableW(kAsXpVariable, nullptr, 0) != 0;
}

// In the parent: reports a failure when the child's test failed, and skips
// where the system cannot be made to report another version.
inline void RunThisTestAsWindowsXp() {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        GTEST_SKIP() << "only Wine can report another Windows version to one program";
    }
    std::wstring exe(MAX_PATH * 4, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    const std::wstring name = exe.substr(exe.find_last_of(L'\\') + 1);
    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\" + name;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t version[] = L"winxp";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   sizeof(version));
    RegCloseKey(key);

    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring command =
        L"\"" + exe + L"\" --gtest_filter=" + std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableW(kAsXpVariable, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableW(kAsXpVariable, nullptr);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, appKey.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u) << "the test failed when run as Windows XP (output above)";
}

} // namespace ozu::test
