// The real uninstall.exe, started the way the system starts it, on a staged
// installation: setup, then uninstall, the self-removal batch file, the
// confirmation and error boxes through the UI driver.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/registry.h"
#include "support/ui_session.h"

namespace ozu {
namespace {

using namespace ozu::test;

// The files of an installation, as its installer lays them out, each folder
// listed before what it holds; setup creates the two templates.
const std::vector<std::string> kInstalled = {
    "Formats",        "Formats\\Extra", "Formats\\Extra\\Deep", "Formats\\Extra\\Deep\\x.fmt",
    "Formats\\y.fmt", "Lang",           "Lang\\german.lng",     "Mivora.exe",
    "ozuext.dll",     "ozuext64.dll",   "Mivora.chm",           "Ozu.txt",
    "WhatsNew.txt",   "license.txt",    "uninstall.exe",        "ozunew.dat",
    "zipnew.dat",     "Uninstall.lst",
};

// Entries a damaged or tampered list might hold, all naming the unrelated
// file beside the installation folder; the program must leave it alone.
const std::vector<std::string> kHostile = {
    "..\\unrelated.txt",   "C:\\ozu-e2e\\unrelated.txt",     "\\ozu-e2e\\unrelated.txt",
    "C:..\\unrelated.txt", "Formats\\..\\..\\unrelated.txt", "\\\\?\\C:\\ozu-e2e\\unrelated.txt",
    "..\\unrelated.txt.",
};

class Installation : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = L"C:\\ozu-e2e";
        RemoveTree(parent_);
        folder_ = test::Installation::Stage(JoinW(parent_, L"Mivora"), kInstalled).folder;
        program_ = JoinW(folder_, L"uninstall.exe");
        batch_ = TempPath() + L"Uninstall_Ozu.Bat";
        DeleteFileW(batch_.c_str());
        std::vector<std::string> list = kHostile;
        list.insert(list.begin() + 3, kInstalled.begin(), kInstalled.end());
        WriteList(folder_, list);
        MakeFile(JoinW(parent_, L"unrelated.txt"), "unrelated");
        ClearPendingRenames();
    }

    void TearDown() override {
        // A test that stopped short of uninstalling leaves setup's work in
        // the registry and the shell; the program itself takes it away.
        if (FileExists(program_)) {
            WriteList(folder_, kInstalled);
            Run(L" /S");
            WaitForSelfRemoval();
        }
        RemoveTree(parent_);
        DeleteFileW(batch_.c_str());
        ClearPendingRenames();
    }

    std::wstring In(const std::string& entry) const {
        return JoinW(folder_, std::wstring(entry.begin(), entry.end()));
    }

    int Run(const std::wstring& arguments, DWORD timeoutMs = 60000) {
        return RunAndWait(L"\"" + program_ + L"\"" + arguments, timeoutMs);
    }

    // Plays the user through the UI driver; its output, one fact per line.
    std::string Drive(const std::vector<std::wstring>& commands, int* exitCode = nullptr) {
        return DriverOutput(commands, exitCode);
    }

    // Waits for the batch file: it restarts the program with /wait (two
    // seconds), deletes it and its folder, then itself.
    bool WaitForSelfRemoval() {
        return WaitUntilGone(folder_, 60000) && WaitUntilGone(batch_, 30000);
    }

    bool NothingRemoved() const {
        for (const std::string& entry : kInstalled) {
            if (entry.find("new.dat") == std::string::npos && !FileExists(In(entry))) {
                return false;
            }
        }
        return true;
    }

    std::wstring launch() const { return L"launch \"" + program_ + L"\""; }

    std::wstring parent_, folder_, program_, batch_;
};

// Handler keys that a system in use has (other shell extensions make them)
// and a fresh Wine prefix lacks. Setup writes below them; uninstall removes
// what it wrote, never these parents.
void MakeShellParentKeys() {
    for (const char* key :
         {"Drive\\shellex\\DragDropHandlers", "exefile\\shellex\\PropertySheetHandlers",
          "Folder\\shellex\\DragDropHandlers"}) {
        CreateKey(HKEY_CLASSES_ROOT, key);
    }
    CreateKey(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications");
}

// Where the settings live, and what happens to the user's records between
// setup and uninstall. Every way ends with every previous owner back: the
// machine-wide record stands in for a per-user one that is gone (another
// account uninstalls, the user's settings were removed) or was never saved
// (a portable file that may not or cannot be written).
enum class Records { AsWritten, UserSettingsDeleted, PortableNotSaved, PortableReadOnly };

class FullCycle : public Installation, public ::testing::WithParamInterface<Records> {};

TEST_P(FullCycle, LeavesTheSystemAsItWas) {
    const Records records = GetParam();
    if (records == Records::PortableNotSaved || records == Records::PortableReadOnly) {
        MakeFile(In("Mivora.ini"), records == Records::PortableNotSaved
                                       ? "Global\\SaveSettings=0\r\n"
                                       : "; portable settings\r\n");
        if (records == Records::PortableReadOnly) {
            SetFileAttributesW(In("Mivora.ini").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        std::vector<std::string> list = kInstalled;
        list.push_back("Mivora.ini");
        WriteList(folder_, list);
    }
    // Other programs own ".zip" (with a new-file entry that no text holds
    // whole), ".cab", a volume extension and ".rev" before setup; ".ozfoo"
    // has nothing to do with the archiver.
    SetString(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile", "");
    SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "ItemName", "@other.dll,-7");
    SetRaw(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data", REG_BINARY, std::string("PK\5\6\0\0", 6));
    SetString(HKEY_CLASSES_ROOT, ".o05", "", "OtherVolume");
    SetString(HKEY_CLASSES_ROOT, ".rev", "", "OtherRecovery");
    SetString(HKEY_CLASSES_ROOT, ".cab", "", "CABFolder");
    SetString(HKEY_CLASSES_ROOT, ".ozfoo", "", "OzFooFile");
    MakeShellParentKeys();
    const std::vector<std::string> before = ExportRegistry();

    ASSERT_EQ(Run(L" /setup /S"), 0);
    ASSERT_EQ(ClassOf(".zip"), "Mivora.ZIP");
    ASSERT_TRUE(FileExists(In("zipnew.dat")));
    ASSERT_FALSE(DiffExports(before, ExportRegistry()).empty());
    if (records == Records::UserSettingsDeleted) {
        DeleteTree(HKEY_CURRENT_USER, "Software\\Mivora");
    }

    ASSERT_EQ(Run(L" /S"), 0);
    ASSERT_TRUE(WaitForSelfRemoval());

    for (const std::string& entry : kInstalled) {
        EXPECT_FALSE(FileExists(In(entry))) << entry;
    }
    EXPECT_FALSE(FileExists(folder_));
    EXPECT_FALSE(FileExists(batch_));
    EXPECT_EQ(ReadBytes(JoinW(parent_, L"unrelated.txt")), "unrelated");
    EXPECT_EQ(ClassOf(".zip"), "OtherZip");
    EXPECT_EQ(ClassOf(".cab"), "CABFolder");
    EXPECT_EQ(ClassOf(".ozfoo"), "OzFooFile");
    EXPECT_TRUE(PendingRenames().empty());
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
    for (const wchar_t* key : {L".ozfoo", L".o05", L".rev"})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
}
INSTANTIATE_TEST_SUITE_P(Records, FullCycle,
                         ::testing::Values(Records::AsWritten, Records::UserSettingsDeleted,
                                           Records::PortableNotSaved, Records::PortableReadOnly));

// A user name with "&" and "(" and a temporary folder with "%": the command
// interpreter must still run the batch file, which removes the program, its
// folder and itself.
// Odd names everywhere the self-removal meets them: a temporary folder with
// "&", "(", "%" and "!" while the interpreter's delayed expansion is on in
// the registry, and an interpreter in a folder with blanks, where a program
// planted at the first blank ("C:\Users\Tom.exe") would run instead of an
// unquoted interpreter.
TEST_F(Installation, SelfRemovalFinishesWithOddNamesAndAnInterpreterPathWithBlanks) {
    const std::wstring user = L"C:\\Users\\Tom (Work) & Co";
    const std::wstring temp = user + L"\\AppData\\Local\\Temp 100% !x!";
    MakeFolder(temp);
    MakeFolder(user + L"\\Tools");
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring interpreter = user + L"\\Tools\\cmd.exe";
    ASSERT_TRUE(CopyFileW(JoinW(system, L"cmd.exe").c_str(), interpreter.c_str(), FALSE));
    const std::wstring planted = L"C:\\Users\\Tom.exe";
    ASSERT_TRUE(CopyFileW(JoinW(system, L"reg.exe").c_str(), planted.c_str(), FALSE));
    RegistryGuard guard;
    guard.Keep(HKEY_CURRENT_USER, "Software\\Microsoft\\Command Processor");
    SetDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Command Processor", "DelayedExpansion", 1);
    std::vector<std::pair<const wchar_t*, std::wstring>> saved;
    for (auto [name, value] :
         {std::pair{L"TMP", temp}, std::pair{L"TEMP", temp}, std::pair{L"COMSPEC", interpreter}}) {
        wchar_t old[2048] = {};
        GetEnvironmentVariableW(name, old, 2048);
        saved.emplace_back(name, old);
        SetEnvironmentVariableW(name, value.c_str());
    }
    batch_ = temp + L"\\Uninstall_Ozu.Bat";

    const int code = Run(L" /S");
    const bool removed = WaitForSelfRemoval();

    for (const auto& [name, value] : saved) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(FileExists(program_));
    EXPECT_FALSE(FileExists(folder_));
    EXPECT_FALSE(FileExists(batch_));
    DeleteFileW(planted.c_str());
    RemoveTree(user);
}

TEST_F(Installation, APortableInstallationKeepsItsSettingsInItsFileAndTheFileGoesToo) {
    // The archiver run portable: its per-user settings, the backups of the
    // previous owners among them, live in "Mivora.ini" beside the program.
    MakeFile(In("Mivora.ini"), "; portable settings\r\n");
    std::vector<std::string> list = kInstalled;
    list.push_back("Mivora.ini");
    WriteList(folder_, list);
    SetString(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    MakeShellParentKeys();
    const std::vector<std::string> before = ExportRegistry();

    ASSERT_EQ(Run(L" /setup /S"), 0);
    ASSERT_EQ(ClassOf(".zip"), "Mivora.ZIP");
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Mivora", 0, KEY_READ, &key), 0);
    EXPECT_NE(ReadBytes(In("Mivora.ini")).find(Utf16Le(u"HKCU\\Setup\\.zip\\Type=\"OtherZip\"")),
              std::string::npos);

    ASSERT_EQ(Run(L" /S"), 0);
    // The save at exit must not bring the deleted file back, or the folder
    // would stay.
    ASSERT_TRUE(WaitForSelfRemoval());
    EXPECT_EQ(ClassOf(".zip"), "OtherZip");
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
}

TEST_F(Installation, AnsweringNoChangesNothing) {
    ASSERT_EQ(Run(L" /setup /S"), 0);
    const std::vector<std::string> before = ExportRegistry();
    int code = -1;
    std::string out = Drive({launch(), L"wait", L"dump", L"press 7", L"exit"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("caption=\"Uninstall Mivora\""), std::string::npos) << out;
    EXPECT_NE(out.find("Do you want to continue?"), std::string::npos) << out;
    EXPECT_NE(out.find("exit 1602"), std::string::npos) << out;
    EXPECT_TRUE(NothingRemoved());
    EXPECT_FALSE(FileExists(batch_));
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
}

TEST_F(Installation, AnsweringYesUninstalls) {
    ASSERT_EQ(Run(L" /setup /S"), 0);
    int code = -1;
    std::string out = Drive({launch(), L"wait", L"press 6", L"exit"}, &code);
    EXPECT_EQ(code, 0) << out;
    ASSERT_TRUE(WaitForSelfRemoval()) << out;
    EXPECT_EQ(ClassOf("Mivora"), "<none>");
    EXPECT_EQ(ReadBytes(JoinW(parent_, L"unrelated.txt")), "unrelated");
}

// Two silent uninstalls of one installation started together (a deployment
// tool that tried twice), both waiting for a run that holds the machine: one
// removes the installation, the other finds it removed and ends at once. A
// program that runs on for a few seconds (here: mapped by another process)
// only delays the batch file, which still removes everything.
TEST_F(Installation, TwoUninstallsStartedTogetherLeaveNothing) {
    ASSERT_EQ(Run(L" /setup /S"), 0);
    const std::wstring logs[] = {TempPath() + L"ozu-first.log", TempPath() + L"ozu-second.log"};
    std::vector<KernelHandle> runs;
    {
        const LockHolder other("runlock", L"-");
        ASSERT_TRUE(other.held());
        for (const std::wstring& log : logs) {
            DeleteFileW(log.c_str());
            runs.emplace_back(
                StartProcess(L"\"" + program_ + L"\" /S /exitcodes \"/log=" + log + L"\""));
            ASSERT_TRUE(runs.back().IsValid());
        }
        Sleep(2000); // both reach the lock
    }
    std::vector<DWORD> codes;
    for (const KernelHandle& run : runs) {
        DWORD code = 1;
        if (WaitForSingleObject(run.Get(), 60000) != WAIT_OBJECT_0) {
            TerminateProcess(run.Get(), 1); // a box waits for an answer
        }
        GetExitCodeProcess(run.Get(), &code);
        codes.push_back(code);
    }
    {
        const LockHolder running("load", program_);
        EXPECT_TRUE(running.held());
        Sleep(3000);
    }
    const bool removed = WaitForSelfRemoval();

    EXPECT_EQ(codes, (std::vector<DWORD>{0, 0}));
    int already = 0;
    for (const std::wstring& log : logs) {
        already += ReadBytes(log).find(" already-removed folder=") != std::string::npos;
        DeleteFileW(log.c_str());
    }
    EXPECT_EQ(already, 1);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(FileExists(program_));
    EXPECT_FALSE(FileExists(folder_));
    EXPECT_FALSE(FileExists(batch_));
}

class MissingList : public Installation, public ::testing::WithParamInterface<bool> {};

TEST_P(MissingList, IsReportedAndNothingChanges) {
    const bool silent = GetParam();
    ASSERT_EQ(Run(L" /setup /S"), 0);
    DeleteFileW(In("Uninstall.lst").c_str());
    const std::vector<std::string> before = ExportRegistry();
    std::vector<std::wstring> commands = {silent ? launch() + L" /S" : launch()};
    if (!silent) {
        commands.insert(commands.end(), {L"wait", L"press 6"});
    }
    commands.insert(commands.end(), {L"wait", L"dump", L"press 1", L"exit"});
    int code = -1;
    std::string out = Drive(commands, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("Cannot open the list of installed files, Uninstall.lst."),
              std::string::npos)
        << out;
    EXPECT_FALSE(FileExists(batch_));
    EXPECT_TRUE(FileExists(In("Mivora.exe")));
    EXPECT_TRUE(FileExists(program_));
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
}

INSTANTIATE_TEST_SUITE_P(SilentOrNot, MissingList, ::testing::Bool());

TEST_F(Installation, ALibraryInUseIsScheduledAndTheRestartNoticeShown) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(CopyFileW(JoinW(system, L"version.dll").c_str(), In("ozuext.dll").c_str(), FALSE));
    MakeFile(In("ozuext.dll.0.tmp"), "earlier");
    std::string out;
    {
        LockHolder holder("load", In("ozuext.dll"));
        ASSERT_TRUE(holder.held());
        int code = -1;
        out = Drive({launch(), L"wait", L"dump", L"press 6", L"wait", L"dump", L"press 1", L"exit"},
                    &code);
        EXPECT_EQ(code, 0) << out;
    }
    // The question first, then the restart notice.
    size_t question = out.find("Do you want to continue?");
    size_t notice = out.find("They will be deleted when you restart Windows.");
    EXPECT_NE(question, std::string::npos) << out;
    EXPECT_NE(notice, std::string::npos) << out;
    EXPECT_LT(question, notice) << out;
    EXPECT_TRUE(FileExists(In("ozuext.dll.1.tmp")));
    EXPECT_FALSE(FileExists(In("ozuext.dll")));
    EXPECT_TRUE(IsScheduledForDeletion(In("ozuext.dll.1.tmp")));
    EXPECT_TRUE(IsScheduledForDeletion(folder_));
    EXPECT_FALSE(IsScheduledForDeletion(JoinW(parent_, L"unrelated.txt")));
    EXPECT_EQ(ReadBytes(JoinW(parent_, L"unrelated.txt")), "unrelated");
    // The two left-over files keep the folder; the program itself goes.
    EXPECT_TRUE(WaitUntilGone(program_, 60000));
    EXPECT_TRUE(WaitUntilGone(batch_, 30000));
    EXPECT_TRUE(FileExists(folder_));
}

// The package installer's switch is a counted switch: on the command line it
// stops uninstall mode from starting at all, and in "sfxcmd" only the silent
// switch is heard. So it never reaches a running uninstall.
TEST_F(Installation, ThePackageInstallerSwitchNeverReachesUninstall) {
    for (const wchar_t* arguments : {L" /msi", L" /S /msi", L" -MSI"}) {
        EXPECT_EQ(Run(arguments), 0);
        EXPECT_TRUE(NothingRemoved()) << Utf8(arguments);
        EXPECT_FALSE(FileExists(batch_)) << Utf8(arguments);
    }

    ASSERT_EQ(Run(L" /setup /S"), 0);
    SetEnvironmentVariableW(L"sfxcmd", L"/msi /S");
    int code = Run(L"");
    SetEnvironmentVariableW(L"sfxcmd", nullptr);
    EXPECT_EQ(code, 0);
    // A full, silent uninstall: files deleted and the uninstall entry gone.
    EXPECT_TRUE(WaitForSelfRemoval());
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora "
                            L"archiver",
                            0, KEY_READ, &key),
              0);
}

// Two copies of the archiver in two folders, set up one after the other: the
// uninstall of the first leaves what the second registered (its uninstall
// entry, its application path, its classes and the types they own), so that
// the second still opens its files and can still be removed, which gives
// everything back.
TEST_F(Installation, UninstallingOneCopyLeavesTheOtherRegistered) {
    const std::wstring second =
        test::Installation::Stage(JoinW(parent_, L"Second"), kInstalled).folder;
    const std::wstring secondProgram = JoinW(second, L"uninstall.exe");
    WriteList(second, kInstalled);
    const auto RunSecond = [&](const std::wstring& arguments) {
        return RunAndWait(L"\"" + secondProgram + L"\"" + arguments, 60000);
    };
    SetString(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    MakeShellParentKeys();
    const std::vector<std::string> before = ExportRegistry();
    ASSERT_EQ(Run(L" /setup /S"), 0);
    ASSERT_EQ(RunSecond(L" /setup /S"), 0);

    ASSERT_EQ(Run(L" /S"), 0);
    ASSERT_TRUE(WaitForSelfRemoval());

    const std::string secondExe = Utf8(JoinW(second, L"Mivora.exe"));
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), Utf8(second) + "\\");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kAppPathKey, ""), secondExe);
    EXPECT_EQ(ClassOf(".zip"), "Mivora.ZIP");
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, "Mivora\\shell\\open\\command", ""),
              "\"" + secondExe + "\" \"%1\"");

    ASSERT_EQ(RunSecond(L" /S"), 0);
    EXPECT_TRUE(WaitUntilGone(second, 60000));
    EXPECT_EQ(ClassOf(".zip"), "OtherZip");
    EXPECT_EQ(DiffExports(before, ExportRegistry()), "");
}

} // namespace
} // namespace ozu
