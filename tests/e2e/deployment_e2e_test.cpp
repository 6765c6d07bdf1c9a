// Unattended deployment with the real program: the run log of a whole setup
// and uninstall, the exit codes of /exitcodes, the uninstall entry that
// deployment tools read, and setup without administrator rights.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "../uninstall/staging.h"

namespace ozu {
namespace {

using namespace ozu::testing;

const wchar_t* const kAppPathKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
const wchar_t* const kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";

std::wstring ReadMachineValue(const wchar_t* key, const wchar_t* name, DWORD* number = nullptr) {
    if (number) {
        DWORD size = sizeof *number;
        return RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, number,
                            &size) == 0
                   ? L"<number>"
                   : L"<none>";
    }
    wchar_t text[2048] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != 0) {
        return L"<none>";
    }
    return text;
}

// The sizes of the files below a folder, added up.
ULONGLONG TreeBytes(const std::wstring& folder) {
    ULONGLONG bytes = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        bytes += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? TreeBytes(JoinW(folder, name))
                     : (ULONGLONG{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return bytes;
}

class Deployment : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = L"C:\\ozu-deploy";
        RemoveTree(parent_);
        folder_ = JoinW(parent_, L"Mivora");
        program_ = JoinW(folder_, L"uninstall.exe");
        log_ = JoinW(parent_, L"logs\\run.log");
        MakeFolder(JoinW(parent_, L"logs"));
        MakeFolder(JoinW(folder_, L"Formats"));
        for (const char* name : {"Mivora.exe", "ozuext.dll", "Formats\\x.fmt", "Mivora.chm"}) {
            MakeFile(In(name), std::string(1500, 'x'));
        }
        ASSERT_TRUE(CopyFileW(BuildTreePath(OZU_UNINSTALL_EXE).c_str(), program_.c_str(), FALSE));
        WriteList(folder_, {"Formats", "Formats\\x.fmt", "Mivora.exe", "ozuext.dll", "Mivora.chm",
                            "ozunew.dat", "zipnew.dat", "uninstall.exe", "Uninstall.lst"});
        SetClass(L".zip", L"OtherZip");
        ClearPendingRenames();
    }

    void TearDown() override {
        if (FileExists(program_)) {
            WriteList(folder_, {"uninstall.exe"});
            Run(L" /S");
            WaitUntilGone(program_, 60000);
        }
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".zip");
        RemoveTree(parent_);
        ClearPendingRenames();
    }

    std::wstring In(const std::string& name) const {
        return JoinW(folder_, std::wstring(name.begin(), name.end()));
    }
    int Run(const std::wstring& arguments) {
        return RunAndWait(L"\"" + program_ + L"\"" + arguments, 60000);
    }
    // The UI driver's output for a run of the program with these switches.
    std::string Drive(const std::wstring& arguments, const std::vector<std::wstring>& steps) {
        std::wstring command = L"\"" + BuildTreePath(OZU_UI_DRIVER) + L"\" \"launch \"\"" +
                               program_ + L"\"\"" + arguments + L"\"";
        for (const std::wstring& step : steps) {
            command += L" \"" + step + L"\"";
        }
        std::string output;
        RunAndWait(command, 120000, &output);
        return output;
    }
    // The log as UTF-8 text, with its byte-order mark.
    std::string Log() const { return ReadBytes(log_); }
    std::wstring LogSwitches() const { return L" \"/log=" + log_ + L"\" /exitcodes"; }

    std::wstring parent_, folder_, program_, log_;
};

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end()); // the test paths are ASCII
}

TEST_F(Deployment, SetupAndUninstallAreLoggedAndTellTheirOutcome) {
    ASSERT_EQ(Run(L" /setup /S" + LogSwitches()), 0);

    // What deployment tools read: quoted command lines and the size.
    EXPECT_EQ(ReadMachineValue(kUninstallKey, L"UninstallString"), L"\"" + program_ + L"\"");
    EXPECT_EQ(ReadMachineValue(kUninstallKey, L"QuietUninstallString"),
              L"\"" + program_ + L"\" /S");
    DWORD kib = 0;
    ReadMachineValue(kUninstallKey, L"EstimatedSize", &kib);
    EXPECT_EQ(kib, (TreeBytes(folder_) + 1023) / 1024);

    const std::string setup = Log();
    ASSERT_EQ(setup.rfind("\xEF\xBB\xBF", 0), 0u) << "a new log starts with its mark";
    for (const std::string& line : std::vector<std::string>{
             "Mivora uninstall 6.00: setup", "command line: \"" + Narrow(program_) + "\" /setup /S",
             std::string("sfxcmd: \r\n"), std::string("portable settings file: none"),
             "registry: set HKLM\\" + Narrow(kAppPathKey) + " \"\" = \"" +
                 Narrow(In("Mivora.exe")) + "\"",
             std::string("type .zip taken over; previous owner \"OtherZip\" recorded"),
             std::string("shortcut created: "), std::string("program group created: "),
             std::string("result: exit code 0, restart needed no")}) {
        EXPECT_NE(setup.find(line), std::string::npos) << line << "\n" << setup;
    }

    // A library in use: it is scheduled, and the deployment tool hears of
    // the restart it needs.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(CopyFileW(JoinW(system, L"version.dll").c_str(), In("ozuext.dll").c_str(), FALSE));
    {
        LockHolder holder("load", In("ozuext.dll"));
        ASSERT_TRUE(holder.held());
        EXPECT_EQ(Run(L" /S" + LogSwitches()), 3010);
    }
    const std::string all = Log();
    const std::string uninstall = all.substr(setup.size());
    EXPECT_EQ(all.find("\xEF\xBB\xBF", 3), std::string::npos) << "appended without a second mark";
    for (const std::string& line : std::vector<std::string>{
             "Mivora uninstall 6.00: uninstall",
             std::string("type .zip given back to \"OtherZip\""),
             "file deleted: " + Narrow(In("Formats\\x.fmt")),
             "folder removed: " + Narrow(In("Formats")),
             "renamed to " + Narrow(In("ozuext.dll.0.tmp")) +
                 " and scheduled for deletion at restart: " + Narrow(In("ozuext.dll")),
             "file kept for the batch file (the running program): " + Narrow(program_),
             std::string("registry: delete tree HKCU\\Software\\Mivora"),
             std::string("batch file written: "), std::string("command interpreter started"),
             std::string(
                 "result: exit code 3010, restart needed yes, files deleted 6, scheduled 1, "
                 "refused 0")}) {
        EXPECT_NE(uninstall.find(line), std::string::npos) << line << "\n" << uninstall;
    }
    EXPECT_TRUE(WaitUntilGone(program_, 60000));
}

TEST_F(Deployment, NoAndAMissingListGiveTheirCodesAndTheBoxIsLogged) {
    std::string out = Drive(LogSwitches(), {L"wait", L"press 7", L"exit"});
    EXPECT_NE(out.find("exit 1602"), std::string::npos) << out;
    // A log that cannot be opened changes nothing in the run.
    out = Drive(L" /log=C:\\ozu-no-such-folder\\x.log /exitcodes", {L"wait", L"press 7", L"exit"});
    EXPECT_NE(out.find("exit 1602"), std::string::npos) << out;
    EXPECT_TRUE(FileExists(In("Mivora.exe")));

    DeleteFileW(In("Uninstall.lst").c_str());
    // Without the list nothing can be removed; the box shows even when silent.
    out = Drive(L" /S" + LogSwitches(), {L"wait", L"press 1", L"exit"});
    EXPECT_NE(out.find("exit 1603"), std::string::npos) << out;
    const std::string log = Log();
    EXPECT_NE(log.find("message box \"Uninstall Mivora\": \"Cannot open the list of installed "
                       "files, Uninstall.lst"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("answered OK"), std::string::npos) << log;
    // Without /exitcodes the codes stay as the installer knows them.
    out = Drive(L" /S", {L"wait", L"press 1", L"exit"});
    EXPECT_NE(out.find("exit 0"), std::string::npos) << out;
}

// A standard user meets a deny on the application path: setup says so when
// interactive, and the deployment code tells it either way.
TEST_F(Deployment, SetupWithoutRightsSaysSoAndFails) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPathKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              0);
    PSECURITY_DESCRIPTOR deny = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(D;;KA;;;WD)(A;;KR;;;WD)", SDDL_REVISION_1, &deny, nullptr));
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, deny), 0);
    LocalFree(deny);

    // The setup dialog's OK, the notice, the completion dialog, and on 64-bit
    // Windows the notice about the 32-bit edition.
    std::vector<std::wstring> steps = {L"wait",   L"press 1", L"wait Mivora archiver setup",
                                       L"dump",   L"press 1", L"wait",
                                       L"press 1"};
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        steps.insert(steps.end(), {L"wait", L"press 1"});
    }
    steps.push_back(L"exit");
    const std::string interactive = Drive(L" /setup /exitcodes", steps);
    const int silent = Run(L" /setup /S /exitcodes");
    const int classic = Run(L" /setup /S");
    const std::string cancelled = Drive(L" /setup /exitcodes", {L"wait", L"press 2", L"exit"});

    PSECURITY_DESCRIPTOR allow = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &allow,
                                                         nullptr);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, allow);
    LocalFree(allow);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAppPathKey);

    EXPECT_NE(interactive.find("needs administrator rights"), std::string::npos) << interactive;
    EXPECT_NE(interactive.find("exit 1603"), std::string::npos) << interactive;
    EXPECT_EQ(silent, 1603);
    EXPECT_EQ(classic, 0);
    EXPECT_NE(cancelled.find("exit 1602"), std::string::npos) << cancelled;
}

} // namespace
} // namespace ozu
