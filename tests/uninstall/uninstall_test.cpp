// The uninstall procedure in this process, against the real file system and
// registry of the test prefix: the program path points at a staged
// installation, message boxes are answered by a hook, the batch file goes to a
// private temporary folder and is not started (no COMSPEC), so that its
// content can be read.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/program_path.h"
#include "base/run_log.h"
#include "base/text.h"
#include "control/self_removal.h"
#include "control/switches.h"
#include "control/uninstall.h"
#include "dialogs/message_box.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "support/files.h"
#include "support/links.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace ozu::test;

struct Box {
    std::u16string text;
    std::u16string caption;
    UINT style;
};
std::vector<Box> g_boxes;
int g_answer = IDYES;

int RecordBox(HWND, std::u16string_view text, std::u16string_view caption, UINT style) {
    g_boxes.push_back({std::u16string(text), std::u16string(caption), style});
    return g_answer;
}

std::u16string U16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size) - 1);
    return bytes;
}

std::wstring EnvironmentValue(const wchar_t* name, bool& present) {
    wchar_t buffer[2048];
    DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
    present = length != 0 && length < 2048;
    return present ? std::wstring(buffer, length) : std::wstring();
}

std::wstring ShortPath(const std::wstring& path) {
    wchar_t buffer[2048];
    DWORD length = GetShortPathNameW(path.c_str(), buffer, 2048);
    return length != 0 && length < 2048 ? std::wstring(buffer, length) : path;
}

class UninstallProcedure : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshFolder(L"ozu-uninstall-test");
        folder_ = JoinW(root_, FolderName());
        MakeFolder(folder_);
        temp_ = JoinW(root_, L"temp\\");
        MakeFolder(temp_.substr(0, temp_.size() - 1));
        batch_ = temp_ + L"Uninstall_Ozu.Bat";
        for (const wchar_t* name : {L"TMP", L"TEMP", L"COMSPEC"}) {
            bool present = false;
            std::wstring value = EnvironmentValue(name, present);
            saved_environment_.push_back({name, value, present});
        }
        SetEnvironmentVariableW(L"TMP", temp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.c_str());
        SetEnvironmentVariableW(L"COMSPEC", nullptr);
        wchar_t current[2048];
        GetCurrentDirectoryW(2048, current);
        saved_current_ = current;
        TheSwitches().Reset();
        TheSwitches().SilentMode = true;
        program_ = JoinW(folder_, L"uninstall.exe");
        SetProgramPathForTesting(U16(program_));
        g_boxes.clear();
        g_answer = IDYES;
        previous_hook_ = SetMessageBoxHookForTesting(&RecordBox);
        ClearPendingRenames();
    }

    void TearDown() override {
        SetMessageBoxHookForTesting(previous_hook_);
        SetProgramPathForTesting(u"");
        TheSwitches().Reset();
        for (const auto& saved : saved_environment_) {
            SetEnvironmentVariableW(saved.name, saved.present ? saved.value.c_str() : nullptr);
        }
        SetCurrentDirectoryW(saved_current_.c_str());
        RemoveTree(root_);
        ClearPendingRenames();
    }

    virtual std::wstring FolderName() const { return L"Mivora"; }

    // A run log of the procedure in the test's folder, read back whole.
    void StartLog() { ASSERT_TRUE(OpenRunLog(U16(JoinW(root_, L"run.log")))); }
    std::string LogText() {
        CloseRunLog();
        return ReadBytes(JoinW(root_, L"run.log"));
    }

    std::wstring In(const std::wstring& name) const { return JoinW(folder_, name); }

    struct SavedVariable {
        const wchar_t* name;
        std::wstring value;
        bool present;
    };
    std::wstring root_, folder_, temp_, batch_, program_, saved_current_;
    std::vector<SavedVariable> saved_environment_;
    MessageBoxHook previous_hook_ = nullptr;
};

// The batch file the procedure writes, with the paths given as the bytes
// that name them.
std::string ExpectedBatchBytes(const std::string& p, const std::string& f, const std::string& b,
                               bool silent) {
    const std::string pause = "\"" + p + "\" /wait\r\n";
    std::string text;
    for (int i = 0; i < 5; ++i) {
        text += pause + "del \"" + p + "\"\r\nrd \"" + f + "\"\r\nif not exist \"" + p +
                "\" goto done\r\n";
    }
    text += ":done\r\n";
    if (!silent) {
        text += "if exist \"" + p + "\" \"" + p + "\" /warning\r\n";
    }
    return text + "del \"" + b + "\"\r\n";
}

std::string ExpectedBatch(const std::wstring& program, const std::wstring& folder,
                          const std::wstring& batch, bool silent) {
    return ExpectedBatchBytes(Narrow(program), Narrow(folder), Narrow(batch), silent);
}

TEST_F(UninstallProcedure, RemovesListedFilesAndFoldersWhateverTheirOrder) {
    MakeFolder(In(L"Formats\\Extra\\Deep"));
    for (const wchar_t* name : {L"Formats\\a.fmt", L"Formats\\Extra\\b.fmt",
                                L"Formats\\Extra\\Deep\\c.fmt", L"Mivora.exe", L"ozunew.dat",
                                L"zipnew.dat", L"readonly.txt", L"mivora.gid", L"mivora.fts"}) {
        MakeFile(In(name));
    }
    SetFileAttributesW(In(L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(In(L"mivora.gid").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteList(folder_, {"Formats", "Formats\\Extra", "Formats\\Extra\\Deep",
                        "Formats\\Extra\\Deep\\c.fmt", "Formats\\Extra\\b.fmt", "Formats\\a.fmt",
                        "Mivora.exe", "ozunew.dat", "zipnew.dat", "readonly.txt", "missing.txt"});
    MakeFile(In(L"unlisted.txt"));

    RunUninstall();

    for (const wchar_t* name : {L"Formats", L"Mivora.exe", L"ozunew.dat", L"zipnew.dat",
                                L"readonly.txt", L"mivora.gid", L"mivora.fts", L"Uninstall.lst"}) {
        EXPECT_FALSE(FileExists(In(name))) << Narrow(name);
    }
    EXPECT_TRUE(FileExists(In(L"unlisted.txt")));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(PendingRenames().empty());
    EXPECT_EQ(ReadBytes(batch_), ExpectedBatch(program_, folder_, batch_, true));
}

TEST_F(UninstallProcedure, AsksFirstAndTheBatchFileWarnsWhenNotSilent) {
    TheSwitches().SilentMode = false;
    MakeFile(In(L"Mivora.exe"));
    WriteList(folder_, {"Mivora.exe"});

    RunUninstall();

    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, GetLocalizedString(IDS_CONTINUEUNINSTALL));
    EXPECT_EQ(g_boxes[0].caption, GetLocalizedString(IDS_UNINSTALLOZU));
    EXPECT_EQ(g_boxes[0].style & ~(MB_RIGHT | MB_RTLREADING),
              UINT(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND));
    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    EXPECT_EQ(ReadBytes(batch_), ExpectedBatch(program_, folder_, batch_, false));
}

TEST_F(UninstallProcedure, UnderAPackageInstallerOnlyTheIntegrationGoes) {
    TheSwitches().MsiMode = true;
    MakeFile(In(L"Mivora.exe"));
    MakeFile(In(L"mivora.gid"));
    WriteList(folder_, {"Mivora.exe"});
    const wchar_t* uninstallKey =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";
    const wchar_t* appPathKey =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
    for (auto [root, path] :
         {std::pair{HKEY_LOCAL_MACHINE, uninstallKey}, std::pair{HKEY_LOCAL_MACHINE, appPathKey},
          std::pair{HKEY_CURRENT_USER, L"Software\\Mivora\\Setup\\.zip"}}) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
        RegCloseKey(key);
    }

    RunUninstall();

    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Mivora", 0, KEY_READ, &key), 0);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKey, 0, KEY_READ, &key), 0);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, appPathKey, 0, KEY_READ, &key), 0);
    RegCloseKey(key);
    EXPECT_TRUE(FileExists(In(L"Mivora.exe")));
    EXPECT_TRUE(FileExists(In(L"mivora.gid")));
    EXPECT_TRUE(FileExists(In(L"Uninstall.lst")));
    EXPECT_FALSE(FileExists(batch_));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, uninstallKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, appPathKey);
}

TEST_F(UninstallProcedure, ABatchFilePlantedInAdvanceIsReplacedNotWrittenInto) {
    WriteList(folder_, {});
    std::string planted(5000, 'E'); // longer than ours: a write into it would leave a tail
    MakeFile(batch_, planted);
    SetFileAttributesW(batch_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    RunUninstall();

    EXPECT_EQ(ReadBytes(batch_), ExpectedBatch(program_, folder_, batch_, true));
    EXPECT_EQ(
        GetFileAttributesW(batch_.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
}

// A link at the batch file's path, to a file or to nothing (which creating
// the file by its name would make): neither written through nor deleted
// through, the link stays, no batch file is made, and the run has failed.
TEST_F(UninstallProcedure, ALinkPlantedAtTheBatchPathNeverLeadsTheWritingElsewhere) {
    const std::wstring victim = JoinW(root_, L"victim.txt");
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "dangling" : "to a file");
        WriteList(folder_, {});
        MakeFile(victim, "victim");
        if (!MakeLink(batch_, victim)) {
            GTEST_SKIP() << "no symbolic links here";
        }
        if (dangling) {
            DeleteFileW(victim.c_str());
        }
        StartLog();

        const RunReport report = RunUninstall();

        EXPECT_EQ(report.outcome, RunOutcome::Failed);
        if (dangling) {
            EXPECT_FALSE(FileExists(victim));
        } else {
            EXPECT_EQ(ReadBytes(victim), "victim");
        }
        const std::string log = LogText();
        EXPECT_NE(log.find("batch-file-create path=" + Narrow(batch_) + " result=failed"),
                  std::string::npos)
            << log;
        MakeFile(victim, "victim"); // a link to nothing is removed only once it is whole
        RemoveLink(batch_);
        DeleteFileW(victim.c_str());
        DeleteFileW(JoinW(root_, L"run.log").c_str());
        SetCurrentDirectoryW(saved_current_.c_str());
    }
}

// Links inside the installation, each to something outside it. The list
// names the links and what lies behind them; nothing outside may change.
TEST_F(UninstallProcedure, LinksInsideTheInstallationAreNeverFollowed) {
    const std::wstring outside = JoinW(root_, L"outside");
    MakeFolder(JoinW(outside, L"sub"));
    for (const wchar_t* name : {L"v.txt", L"sub\\w.txt", L"ro.txt", L"help.gid"}) {
        MakeFile(JoinW(outside, name), "victim");
    }
    SetFileAttributesW(JoinW(outside, L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    MakeFolder(In(L"real"));
    MakeFile(In(L"real\\a.txt"));
    MakeFile(In(L"Mivora.exe"));
    const std::wstring links[] = {In(L"dirlink"), In(L"filelink"), In(L"mivora.gid")};
    if (!MakeLink(links[0], outside) || !MakeLink(links[1], JoinW(outside, L"ro.txt")) ||
        !MakeLink(links[2], JoinW(outside, L"help.gid"))) {
        GTEST_SKIP() << "no symbolic links here";
    }
    WriteList(folder_, {"dirlink\\v.txt", "dirlink\\sub\\w.txt", "dirlink\\sub", "dirlink",
                        "filelink", "real\\a.txt", "real", "Mivora.exe"});

    RunUninstall();

    for (const wchar_t* name : {L"v.txt", L"sub\\w.txt", L"ro.txt", L"help.gid"}) {
        EXPECT_EQ(ReadBytes(JoinW(outside, name)), "victim") << Narrow(name);
    }
    EXPECT_EQ(GetFileAttributesW(JoinW(outside, L"ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    for (const std::wstring& link : links) {
        EXPECT_TRUE(FileExists(link)) << Narrow(link);
        RemoveLink(link);
    }
    EXPECT_FALSE(FileExists(In(L"real")));
    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    EXPECT_TRUE(PendingRenames().empty());
    SetFileAttributesW(JoinW(outside, L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(UninstallProcedure, AnInstallationReachedThroughALinkStillUninstalls) {
    MakeFolder(In(L"sub"));
    MakeFile(In(L"sub\\a.txt"));
    MakeFile(In(L"Mivora.exe"));
    WriteList(folder_, {"sub\\a.txt", "sub", "Mivora.exe"});
    const std::wstring via = JoinW(root_, L"via");
    if (!MakeLink(via, folder_)) {
        GTEST_SKIP() << "no symbolic links here";
    }
    SetProgramPathForTesting(U16(JoinW(via, L"uninstall.exe")));

    RunUninstall();

    EXPECT_FALSE(FileExists(In(L"sub")));
    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    EXPECT_FALSE(FileExists(In(L"Uninstall.lst")));
    RemoveLink(via);
}

TEST_F(UninstallProcedure, AnEmptyFolderAtTheBatchPathMakesWayAFullOneStopsTheEnd) {
    WriteList(folder_, {});
    MakeFolder(batch_);
    RunUninstall();
    EXPECT_EQ(ReadBytes(batch_), ExpectedBatch(program_, folder_, batch_, true));

    // A folder with content is never emptied for the batch file: no batch
    // file then, and the program stays.
    SetCurrentDirectoryW(saved_current_.c_str());
    DeleteFileW(batch_.c_str());
    MakeFolder(batch_);
    MakeFile(JoinW(batch_, L"keep.txt"), "keep");
    WriteList(folder_, {});
    RunUninstall();
    EXPECT_EQ(ReadBytes(JoinW(batch_, L"keep.txt")), "keep");
}

TEST(BatchLine, IsWrittenInTheConsoleCodePageOrNotAtAll) {
    ASSERT_EQ(GetOEMCP(), 437u) << "the expectations below are those of code page 437";
    std::string bytes;
    EXPECT_TRUE(AppendBatchLine(bytes, u"del \"C:\\M\u00e9t\u00e9\\x\"\r\n"));
    EXPECT_FALSE(AppendBatchLine(bytes, u"del \"C:\\Euro\u20ac\\x\"\r\n"));
    // Best fit would make this a plain "s", naming another file.
    EXPECT_FALSE(AppendBatchLine(bytes, u"del \"C:\\\u015dx\"\r\n"));
    EXPECT_TRUE(AppendBatchLine(bytes, u":done\r\n"));
    EXPECT_EQ(bytes, "del \"C:\\M\x82t\x82\\x\"\r\n:done\r\n");
}

struct NonAsciiCase {
    const wchar_t* folderName;
    bool programExists; // only an existing file has a short name
};

class NonAsciiFolder : public UninstallProcedure,
                       public ::testing::WithParamInterface<NonAsciiCase> {
protected:
    std::wstring FolderName() const override { return GetParam().folderName; }
};

TEST_P(NonAsciiFolder, TheBatchFileNamesItsPathsInAFormTheInterpreterReadsBack) {
    const bool hasOemForm = GetParam().folderName[7] == L'\u00e9';
    if (GetParam().programExists) {
        MakeFile(program_, "MZ");
    }
    MakeFile(In(L"Mivora.exe"));
    WriteList(folder_, {"Mivora.exe"});

    RunUninstall();

    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    const std::string batch = ReadBytes(batch_);
    const std::string folder = Narrow(ShortPath(folder_));
    if (GetParam().programExists) {
        // Short names exist for every path here: plain ASCII throughout.
        EXPECT_EQ(batch,
                  ExpectedBatchBytes(Narrow(ShortPath(program_)), folder, Narrow(batch_), true));
    } else if (hasOemForm) {
        // The program's own name, in the console's code page (437: 0x82).
        std::string program = Narrow(root_) + "\\Mivora \x82t\x82\\uninstall.exe";
        EXPECT_EQ(batch, ExpectedBatchBytes(program, folder, Narrow(batch_), true));
    } else {
        // No form at all: the lines naming the program are left out.
        EXPECT_EQ(batch, ":done\r\ndel \"" + Narrow(batch_) + "\"\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Names, NonAsciiFolder,
                         ::testing::Values(NonAsciiCase{L"Mivora \u00e9t\u00e9", true},
                                           NonAsciiCase{L"Mivora \u00e9t\u00e9", false},
                                           NonAsciiCase{L"Mivora \u20ac\u4e2d\u6587", true},
                                           NonAsciiCase{L"Mivora \u20ac\u4e2d\u6587", false}));

// --- Files in use -----------------------------------------------------------

std::wstring SystemLibraryCopy(const std::wstring& target) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    CopyFileW(JoinW(system, L"version.dll").c_str(), target.c_str(), FALSE);
    return target;
}

class FileInUse : public UninstallProcedure, public ::testing::WithParamInterface<bool> {};

TEST_P(FileInUse, ALoadedLibraryMovesToAFreeTemporaryNameAndGoesAtRestart) {
    const bool silent = GetParam();
    TheSwitches().SilentMode = silent;
    MakeFolder(In(L"Shell"));
    SystemLibraryCopy(In(L"ozuext.dll"));
    SystemLibraryCopy(In(L"Shell\\ozuext64.dll"));
    MakeFile(In(L"Shell\\ozuext64.dll.0.tmp"), "earlier");
    MakeFile(In(L"Mivora.exe"));
    WriteList(folder_, {"Shell", "ozuext.dll", "Shell\\ozuext64.dll", "Mivora.exe"});
    LockHolder first("load", In(L"ozuext.dll"));
    LockHolder second("load", In(L"Shell\\ozuext64.dll"));
    ASSERT_TRUE(first.held() && second.held());

    RunUninstall();

    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    EXPECT_FALSE(FileExists(In(L"ozuext.dll")));
    EXPECT_TRUE(FileExists(In(L"ozuext.dll.0.tmp")));
    EXPECT_TRUE(IsScheduledForDeletion(In(L"ozuext.dll.0.tmp")));
    EXPECT_FALSE(FileExists(In(L"Shell\\ozuext64.dll")));
    EXPECT_TRUE(FileExists(In(L"Shell\\ozuext64.dll.1.tmp")));
    EXPECT_TRUE(IsScheduledForDeletion(In(L"Shell\\ozuext64.dll.1.tmp")));
    EXPECT_EQ(ReadBytes(In(L"Shell\\ozuext64.dll.0.tmp")), "earlier");
    EXPECT_FALSE(IsScheduledForDeletion(In(L"Shell\\ozuext64.dll.0.tmp")));
    // The listed folder that holds a scheduled file goes after it, and the
    // installation folder last, silent or not.
    const std::vector<PendingOperation> pending = PendingRenames();
    const auto at = [&](const std::wstring& path) {
        for (size_t i = 0; i < pending.size(); ++i) {
            if (pending[i].target.empty() &&
                CompareStringOrdinal(pending[i].source.c_str(), -1, path.c_str(), -1, TRUE) ==
                    CSTR_EQUAL) {
                return i;
            }
        }
        return pending.size();
    };
    EXPECT_LT(at(In(L"Shell\\ozuext64.dll.1.tmp")), at(In(L"Shell")));
    EXPECT_LT(at(In(L"Shell")), at(folder_));
    EXPECT_LT(at(folder_), pending.size());
    if (silent) {
        EXPECT_TRUE(g_boxes.empty());
    } else {
        ASSERT_EQ(g_boxes.size(), 2u); // the question, then the restart notice
        EXPECT_EQ(g_boxes[1].text, Truncate(GetLocalizedString(IDS_REBOOTREQUIRED), 256));
        EXPECT_EQ(g_boxes[1].caption, GetLocalizedString(IDS_UNINSTALLOZU));
        EXPECT_EQ(g_boxes[1].style & ~(MB_RIGHT | MB_RTLREADING),
                  UINT(MB_ICONINFORMATION | MB_SETFOREGROUND));
    }
    // The batch file is written all the same.
    EXPECT_TRUE(FileExists(batch_));
}

TEST_P(FileInUse, AFileHeldWithoutSharingKeepsItsNameAndGoesAtRestart) {
    TheSwitches().SilentMode = GetParam();
    MakeFile(In(L"Mivora.exe"));
    WriteList(folder_, {"Mivora.exe"});
    LockHolder holder("noshare", In(L"Mivora.exe"));
    ASSERT_TRUE(holder.held());
    StartLog();

    const RunReport report = RunUninstall();

    // No one may rename a file held without sharing, so it keeps its name.
    EXPECT_TRUE(FileExists(In(L"Mivora.exe")));
    EXPECT_FALSE(FileExists(In(L"Mivora.exe.0.tmp")));
    EXPECT_TRUE(IsScheduledForDeletion(In(L"Mivora.exe")));
    EXPECT_EQ(g_boxes.size(), GetParam() ? 0u : 2u);
    EXPECT_EQ(report.scheduled, 1u);
    const std::string log = LogText();
    EXPECT_NE(log.find("file-schedule path=" + Narrow(In(L"Mivora.exe")) +
                       " reason=in-use delete-error=32 rename-error=32 result=done"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("renamed-to="), std::string::npos) << log;
}

// Without the right to schedule (no administrator rights) a file in use can
// be neither deleted nor scheduled: it stays as it was, and no restart is
// promised for it.
TEST_P(FileInUse, WithoutTheRightToScheduleNothingIsPromised) {
    TheSwitches().SilentMode = GetParam();
    SystemLibraryCopy(In(L"ozuext.dll"));
    WriteList(folder_, {"ozuext.dll"});
    LockHolder holder("load", In(L"ozuext.dll"));
    ASSERT_TRUE(holder.held());
    std::optional<WriteDenied> denied(std::in_place, HKEY_LOCAL_MACHINE,
                                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    ASSERT_TRUE(denied->Active());
    StartLog();

    const RunReport report = RunUninstall();

    denied.reset();
    EXPECT_EQ(report.left, 1u);
    EXPECT_EQ(report.outcome, RunOutcome::Failed) << "a file left is a failed removal";
    EXPECT_EQ(report.scheduled, 0u);
    const std::string log = LogText();
    EXPECT_NE(log.find("file-left path=" + Narrow(In(L"ozuext.dll")) +
                       " reason=in-use-not-scheduled error="),
              std::string::npos)
        << log;
    EXPECT_TRUE(FileExists(In(L"ozuext.dll")));
    EXPECT_FALSE(FileExists(In(L"ozuext.dll.0.tmp")));
    EXPECT_FALSE(IsScheduledForDeletion(In(L"ozuext.dll")));
    EXPECT_EQ(g_boxes.size(), GetParam() ? 0u : 1u); // the question only
    EXPECT_FALSE(IsScheduledForDeletion(folder_));
}
INSTANTIATE_TEST_SUITE_P(SilentOrNot, FileInUse, ::testing::Bool());

// A run that waited for another and finds no list ends at once, quietly and
// as done, only when the list of installed programs no longer names this
// installation either; else the first run failed half-way, and the missing
// list is the failure it always was.
TEST_F(UninstallProcedure, AfterAnotherRunOnlyAnInstallationGoneEverywhereEndsAtOnce) {
    const RegistryGuard guard({{HKEY_LOCAL_MACHINE, kUninstallKey}});
    const std::string ours = Narrow(folder_) + "\\";
    const struct {
        bool afterAnotherRun;
        const char* name; // of the entry's value; none: no entry
        std::string value;
        RunOutcome outcome;
    } cases[] = {
        {true, nullptr, "", RunOutcome::Done},
        {true, "InstallLocation", "C:\\Other\\Mivora\\", RunOutcome::Done},
        {true, "InstallLocation", ours, RunOutcome::Failed},
        {true, "UninstallString", "\"" + ours + "uninstall.exe\"", RunOutcome::Failed},
        {false, nullptr, "", RunOutcome::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "no entry") + " " + c.value);
        DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
        if (c.name) {
            SetString(HKEY_LOCAL_MACHINE, kUninstallKey, c.name, c.value);
        }
        g_boxes.clear();
        StartLog();

        const RunReport report = RunUninstall(c.afterAnotherRun);

        const bool removed = c.outcome == RunOutcome::Done;
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(g_boxes.size(), removed ? 0u : 1u);
        const std::string log = LogText();
        EXPECT_EQ(log.find("already-removed folder=" + Narrow(folder_) + "\r\n") !=
                      std::string::npos,
                  removed)
            << log;
        DeleteFileW(JoinW(root_, L"run.log").c_str());
    }
}

// Names are compared as the file system compares them: an entry listed in
// another case is the same file, and so is the running program's name.
TEST_F(UninstallProcedure, TheProgramsNameAndTheListAreNeverMovedOrScheduled) {
    TheSwitches().SilentMode = false;
    MakeFolder(In(L"Old"));
    MakeFile(In(L"Old\\UNINSTALL.EXE"));
    MakeFile(In(L"Old\\uninstall.lst"));
    MakeFile(In(L"Mivora.exe"));
    // Listed in another case than the file has on disk.
    WriteList(folder_, {"Old\\UNINSTALL.EXE", "Old\\uninstall.lst", "Old", "MIVORA.EXE"});
    LockHolder program("noshare", In(L"Old\\UNINSTALL.EXE"));
    LockHolder list("noshare", In(L"Old\\uninstall.lst"));
    ASSERT_TRUE(program.held() && list.held());

    const RunReport report = RunUninstall();

    EXPECT_TRUE(FileExists(In(L"Old\\UNINSTALL.EXE")));
    EXPECT_TRUE(FileExists(In(L"Old\\uninstall.lst")));
    EXPECT_FALSE(FileExists(In(L"Mivora.exe")));
    EXPECT_TRUE(PendingRenames().empty());
    EXPECT_EQ(g_boxes.size(), 1u); // the question only: no restart is needed
    EXPECT_EQ(report.scheduled, 0u);
}

// Entries whose full path is far beyond MAX_PATH: files and folders, one of
// them in use.
TEST_F(UninstallProcedure, EntriesBeyondMaxPathGo) {
    std::string deep;
    for (const char letter : {'a', 'b', 'c', 'd', 'e'}) {
        deep += (deep.empty() ? "" : "\\") + std::string(60, letter);
    }
    ASSERT_GT(folder_.size() + deep.size(), 300u);
    const std::wstring wideDeep(deep.begin(), deep.end());
    const std::wstring longFolder = L"\\\\?\\" + In(wideDeep);
    MakeFolder(longFolder);
    ASSERT_TRUE(MakeFile(longFolder + L"\\file.txt"));
    ASSERT_TRUE(MakeFile(longFolder + L"\\readonly.txt"));
    SetFileAttributesW((longFolder + L"\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(MakeFile(longFolder + L"\\held.txt"));
    std::vector<std::string> list;
    for (size_t cut = deep.find('\\'); cut != std::string::npos; cut = deep.find('\\', cut + 1)) {
        list.push_back(deep.substr(0, cut));
    }
    list.push_back(deep);
    for (const char* name : {"\\file.txt", "\\readonly.txt", "\\held.txt"}) {
        list.push_back(deep + name);
    }
    WriteList(folder_, list);
    LockHolder holder("noshare", longFolder + L"\\held.txt");
    ASSERT_TRUE(holder.held());

    const RunReport report = RunUninstall();

    EXPECT_FALSE(FileExists(longFolder + L"\\file.txt"));
    EXPECT_FALSE(FileExists(longFolder + L"\\readonly.txt"));
    EXPECT_TRUE(IsScheduledForDeletion(longFolder.substr(4) + L"\\held.txt"));
    EXPECT_EQ(report.deleted, 2u); // the folders stay with the file in use
    EXPECT_EQ(report.refused, 0u);
    EXPECT_EQ(report.scheduled, 1u);
}

// A listed file that has a second name elsewhere: deleting the listed name
// leaves the other's data, but a read-only attribute belongs to both names,
// so such a file is left rather than changed.
TEST_F(UninstallProcedure, HardLinkedFilesKeepTheirOtherNamesContentAndAttributes) {
    const std::wstring outside = JoinW(root_, L"outside");
    MakeFolder(outside);
    MakeFile(JoinW(outside, L"plain.txt"), "victim");
    MakeFile(JoinW(outside, L"readonly.txt"), "victim");
    SetFileAttributesW(JoinW(outside, L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    if (!MakeHardLink(In(L"plain.txt"), JoinW(outside, L"plain.txt")) ||
        !MakeHardLink(In(L"readonly.txt"), JoinW(outside, L"readonly.txt"))) {
        GTEST_SKIP() << "no hard links here";
    }
    WriteList(folder_, {"plain.txt", "readonly.txt"});

    const RunReport report = RunUninstall();

    EXPECT_FALSE(FileExists(In(L"plain.txt")));
    EXPECT_TRUE(FileExists(In(L"readonly.txt")));
    for (const wchar_t* name : {L"plain.txt", L"readonly.txt"}) {
        EXPECT_EQ(ReadBytes(JoinW(outside, name)), "victim") << Narrow(name);
    }
    EXPECT_EQ(GetFileAttributesW(JoinW(outside, L"readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(report.deleted, 1u);
    EXPECT_EQ(report.left, 1u);
    EXPECT_TRUE(PendingRenames().empty());
    SetFileAttributesW(JoinW(outside, L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(In(L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

class OtherFolderName : public UninstallProcedure {
protected:
    std::wstring FolderName() const override { return L"Archiver"; }
};

TEST_F(OtherFolderName, OnlyAFolderNamedMivoraIsScheduledAtRestart) {
    TheSwitches().SilentMode = false;
    SystemLibraryCopy(In(L"ozuext.dll"));
    WriteList(folder_, {"ozuext.dll"});
    LockHolder holder("load", In(L"ozuext.dll"));
    ASSERT_TRUE(holder.held());

    RunUninstall();

    EXPECT_TRUE(IsScheduledForDeletion(In(L"ozuext.dll.0.tmp")));
    EXPECT_FALSE(IsScheduledForDeletion(folder_));
    EXPECT_EQ(g_boxes.size(), 2u);
}

// --- Entries that lead outside the program folder ---------------------------

class OutsideEntries : public UninstallProcedure {};

TEST_F(OutsideEntries, AreSkippedAndTheirTargetsSurvive) {
    TheSwitches().SilentMode = false;
    const std::wstring victims = JoinW(root_, L"victims");
    MakeFolder(JoinW(victims, L"emptydir"));
    MakeFolder(JoinW(root_, L"Mivora2"));
    std::vector<std::wstring> victimFiles;
    for (int i = 1; i <= 12; ++i) {
        victimFiles.push_back(JoinW(victims, L"v" + std::to_wstring(i) + L".txt"));
    }
    victimFiles.push_back(JoinW(root_, L"Mivora2\\sibling.txt"));
    victimFiles.push_back(L"C:\\ozu-victim-root.txt");
    victimFiles.push_back(SystemLibraryCopy(JoinW(victims, L"locked.dll")));
    for (const std::wstring& file : victimFiles) {
        if (!FileExists(file)) {
            MakeFile(file, "victim");
        }
    }
    LockHolder locked("load", JoinW(victims, L"locked.dll"));
    ASSERT_TRUE(locked.held());
    MakeFile(In(L"inside.txt"), "inside");
    MakeFile(In(L"Mivora.exe"));

    const std::string v = Narrow(victims);
    std::string upToDriveRoot; // from the program folder up to "C:\"
    for (size_t i = 3; i < folder_.size(); ++i) {
        if (folder_[i] == L'\\') {
            upToDriveRoot += "..\\";
        }
    }
    upToDriveRoot += "..\\";
    const std::string rootFromC = Narrow(root_).substr(2); // without "C:"
    WriteList(folder_, {
                           "..\\victims\\v1.txt",
                           upToDriveRoot + Narrow(root_).substr(3) + "\\victims\\v2.txt",
                           v + "\\v3.txt",                  // absolute
                           "C:..\\victims\\v4.txt",         // drive-relative
                           rootFromC + "\\victims\\v5.txt", // rooted
                           "\\\\?\\" + v + "\\v6.txt",      // extended-length form
                           "\\\\localhost\\C$" + rootFromC + "\\victims\\v7.txt", // UNC
                           "sub\\..\\..\\victims\\v8.txt",
                           "..\\victims\\v9.txt.",           // trailing dot
                           "v10 \\..\\..\\victims\\v10.txt", // trailing space
                           "...\\..\\victims\\v11.txt",
                           "../victims/v12.txt",
                           "..\\Mivora2\\sibling.txt",
                           "\\ozu-victim-root.txt",
                           "..\\victims\\emptydir",
                           "..\\victims\\locked.dll",
                           "inside.txt:stream",
                           "..",
                           ".",
                           "Mivora.exe",
                       });

    RunUninstall();

    for (const std::wstring& file : victimFiles) {
        EXPECT_TRUE(FileExists(file)) << Narrow(file);
    }
    for (int i = 1; i <= 12; ++i) {
        EXPECT_EQ(ReadBytes(victimFiles[i - 1]), "victim") << i;
    }
    EXPECT_TRUE(FileExists(JoinW(victims, L"emptydir")));
    EXPECT_FALSE(FileExists(JoinW(victims, L"locked.dll.0.tmp")));
    EXPECT_EQ(ReadBytes(In(L"inside.txt")), "inside");
    EXPECT_FALSE(FileExists(In(L"Mivora.exe"))); // the list itself was worked through
    EXPECT_TRUE(FileExists(folder_));
    EXPECT_TRUE(PendingRenames().empty());
    EXPECT_EQ(g_boxes.size(), 1u); // no restart notice for files not ours
    DeleteFileW(L"C:\\ozu-victim-root.txt");
}

} // namespace
} // namespace ozu
