// The built uninstall.exe: its resources as shipped, and the program run as a
// process of its own under Wine. Timings are checked with generous lower
// bounds only; an upper bound only catches a program that hangs (a window
// nobody closes).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

// The build tree's unix path as Wine sees it (drive Z: is the root).
std::u16string WindowsPath(const char* unixPath) {
    std::u16string path = u"Z:";
    for (const char* p = unixPath; *p != '\0'; ++p)
        path.push_back(*p == '/' ? u'\\' : static_cast<char16_t>(*p));
    return path;
}

const std::u16string& ExePath() {
    static const std::u16string path = WindowsPath(OZU_UNINSTALL_EXE);
    return path;
}

struct RunResult {
    bool finished = false;
    DWORD exitCode = 0;
    double seconds = 0;
};

// Runs uninstall.exe with the given switches; the environment is ours plus
// sfxcmd when given. A process still running after timeoutSeconds is ended.
RunResult RunUninstallExe(const std::u16string& switches, DWORD timeoutSeconds,
                          const std::u16string& sfxcmd = u"") {
    std::u16string commandLine = u"\"" + ExePath() + u"\" " + switches;
    SetEnvironmentVariableW(L"sfxcmd", sfxcmd.empty() ? nullptr : W(sfxcmd));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto start = std::chrono::steady_clock::now();
    const BOOL created = CreateProcessW(W(ExePath()), W(commandLine.data()), nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"sfxcmd", nullptr);
    RunResult result;
    if (!created) {
        ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
        return result;
    }
    const KernelHandle processHandle(process.hProcess);
    const KernelHandle threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeoutSeconds * 1000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
        return result;
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.finished = true;
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    return result;
}

TEST(UninstallExeRun, WaitPausesTwoSecondsAndEndsWithExitCode0) {
    const RunResult r = RunUninstallExe(u"/wait", 60);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_GE(r.seconds, 1.9);
}

TEST(UninstallExeRun, EachWaitPausesAgain) {
    const RunResult r = RunUninstallExe(u"/WAIT /Wait", 60);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_GE(r.seconds, 3.9);
}

TEST(UninstallExeRun, AnUnknownSwitchEndsAtOnceWithExitCode0) {
    // Any window (a message box or a dialog) would keep it running.
    const RunResult r = RunUninstallExe(u"/foo", 30);
    ASSERT_TRUE(r.finished) << "uninstall.exe /foo did not end";
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(UninstallExeRun, SwitchesInSfxcmdOtherThanSilentDoNotAct) {
    // Fifteen pauses would take 30 s.
    std::u16string waits;
    for (int i = 0; i < 15; ++i)
        waits += u"/wait ";
    const RunResult r = RunUninstallExe(u"/foo", 20, waits + u"/warning");
    ASSERT_TRUE(r.finished) << "the environment's /wait or /warning acted";
    EXPECT_EQ(r.exitCode, 0u);
}

// The shipped file's resources, read without running it.
class UninstallExeResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_.Reset(LoadLibraryExW(W(ExePath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_.IsValid()) << "cannot load uninstall.exe as data";
    }
    HMODULE Module() const { return module_.Get(); }

    std::u16string String(UINT id) const {
        const wchar_t* text = nullptr;
        // Length 0 asks for a read-only pointer to the resource itself.
        const int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::u16string(U(text), static_cast<size_t>(length)) : u"";
    }

    std::string ManifestText() const {
        HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        if (found == nullptr)
            return {};
        HGLOBAL loaded = LoadResource(Module(), found);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return std::string(data, SizeofResource(Module(), found));
    }

private:
    ModuleHandle module_;
};

// Every string id of resource.h, read from the header itself so that a new id
// without an English text is caught.
std::vector<std::pair<std::string, UINT>> StringIds() {
    std::ifstream header(OZU_RESOURCE_HEADER);
    std::stringstream content;
    content << header.rdbuf();
    const std::string text = content.str();
    const std::regex define(R"(#define\s+(IDS_\w+)\s+(\d+))");
    std::vector<std::pair<std::string, UINT>> ids;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), define);
         it != std::sregex_iterator(); ++it)
        ids.emplace_back((*it)[1].str(), static_cast<UINT>(std::stoul((*it)[2].str())));
    return ids;
}

size_t Count(const std::u16string& text, std::u16string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::u16string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(UninstallExeResources, EveryStringIdHasAnEnglishText) {
    const auto ids = StringIds();
    ASSERT_GE(ids.size(), 27u) << "resource.h was not read";
    for (const auto& [name, id] : ids)
        EXPECT_FALSE(String(id).empty()) << name << " (" << id << ") has no text";
}

TEST_F(UninstallExeResources, FormatTextsHoldExactlyOneTextConversion) {
    for (UINT id : {5108u, 5110u}) {
        const std::u16string text = String(id);
        EXPECT_EQ(Count(text, u"%s"), 1u) << id;
        EXPECT_EQ(Count(text, u"%"), 1u) << id << ": no other conversion";
    }
}

TEST_F(UninstallExeResources, FileNameAndAddressTextsAreUsable) {
    const std::u16string whatsNew = String(5105);
    EXPECT_EQ(whatsNew.find_first_of(u"\\/:*?\"<>|"), std::u16string::npos);
    EXPECT_NE(whatsNew.find(u'.'), std::u16string::npos);
    EXPECT_EQ(String(5114).rfind(u"https://", 0), 0u);
}

TEST_F(UninstallExeResources, CarriesTheIconAndVersionInformation) {
    EXPECT_NE(FindResourceW(Module(), L"OZUICON", MAKEINTRESOURCEW(14)), nullptr);
    HRSRC version = FindResourceW(Module(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    ASSERT_NE(version, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(Module(), version)));
    const std::u16string_view block(reinterpret_cast<const char16_t*>(data),
                                    SizeofResource(Module(), version) / 2);
    EXPECT_NE(block.find(u"Mivora archiver"), std::u16string_view::npos);
    EXPECT_NE(block.find(u"uninstall.exe"), std::u16string_view::npos);
}

TEST_F(UninstallExeResources, ManifestAsksForCommonControls6AndDpiAwareness) {
    const std::string manifest = ManifestText();
    ASSERT_FALSE(manifest.empty());
    // Without a level Windows would virtualise a standard user's writes.
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"highestAvailable\" "
                            "uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware>true</dpiAware>"), std::string::npos);
    for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0",  // Vista
                           "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  // 7
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  // 8
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78",  // 8.1
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) // 10
        EXPECT_NE(manifest.find(os), std::string::npos) << os;
}

} // namespace
} // namespace ozu
