// Unattended deployment with the real program: the run log of a whole setup
// and uninstall, the exit codes of /exitcodes, the uninstall entry that
// deployment tools read, and setup without administrator rights.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"
#include "support/files.h"
#include "support/registry.h"
#include "support/run_log_reader.h"
#include "support/ui_session.h"

namespace ozu {
namespace {

using namespace ozu::test;

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

// The verbs of docs/run-log.md.
const char* const kVerbs[] = {"start",
                              "command-line",
                              "sfxcmd",
                              "system",
                              "portable-file",
                              "registry-set",
                              "registry-delete-value",
                              "registry-delete-key",
                              "registry-delete-tree",
                              "registry-copy-values",
                              "settings-file-set",
                              "settings-file-delete",
                              "type-take",
                              "type-release",
                              "type-left",
                              "volumes-release",
                              "left-alone",
                              "shortcut-create",
                              "shortcut-remove",
                              "shortcut-left",
                              "group-create",
                              "group-remove",
                              "group-open",
                              "template-create",
                              "file-delete",
                              "folder-delete",
                              "file-schedule",
                              "folder-schedule",
                              "file-kept",
                              "file-left",
                              "folder-left",
                              "entry-refused",
                              "message-box",
                              "batch-file-create",
                              "interpreter-start",
                              "no-restart",
                              "busy",
                              "already-removed",
                              "lock-unavailable",
                              "unknown-switch",
                              "result"};

// Reads a whole run log by the documented grammar: every line a time, one of
// the documented verbs and well-formed fields, and, in a run where nothing
// failed, no result=failed.
std::vector<LogRecordRead> ReadDocumentedLog(const std::string& log) {
    std::optional<std::vector<LogRecordRead>> records = ParseLog(log);
    EXPECT_TRUE(records.has_value()) << "a line breaks the grammar:\n" << log;
    if (!records) {
        return {};
    }
    for (const LogRecordRead& record : *records) {
        const bool known =
            std::find(std::begin(kVerbs), std::end(kVerbs), record.verb) != std::end(kVerbs);
        EXPECT_TRUE(known) << "a verb docs/run-log.md does not name: " << record.verb;
        EXPECT_NE(record.Field("result"), "failed")
            << "nothing failed in this run: " << record.verb;
    }
    return *records;
}

// The changes a run made, or planned, in their order: the records of the
// writers, each with its fields as written, "planned" read as "done".
std::vector<std::string> Changes(const std::vector<LogRecordRead>& records) {
    std::vector<std::string> changes;
    for (const LogRecordRead& record : records) {
        if (!record.Field("result") || record.verb == "result") {
            continue;
        }
        std::string change = record.verb;
        for (const auto& [name, value] : record.fields) {
            change += " " + name + "=" + (name == "result" && value == "planned" ? "done" : value);
        }
        changes.push_back(change);
    }
    return changes;
}

class Deployment : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = L"C:\\ozu-deploy";
        RemoveTree(parent_);
        installation_ = Installation::Stage(parent_ + L"\\Mivora",
                                            {"Formats", "Formats\\x.fmt", "Mivora.exe",
                                             "ozuext.dll", "Mivora.chm", "ozunew.dat", "zipnew.dat",
                                             "uninstall.exe", "Uninstall.lst"});
        folder_ = installation_.folder;
        program_ = installation_.Program();
        log_ = JoinW(parent_, L"logs\\run.log");
        MakeFolder(JoinW(parent_, L"logs"));
        SetString(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
        ClearPendingRenames();
    }

    void TearDown() override {
        if (FileExists(program_)) {
            WriteList(folder_, {"uninstall.exe"});
            Run(L" /S");
            WaitUntilGone(program_, 60000);
        }
        DeleteTree(HKEY_CLASSES_ROOT, ".zip");
        RemoveTree(parent_);
        ClearPendingRenames();
    }

    std::wstring In(const std::string& name) const { return installation_.File(FromUtf8(name)); }
    int Run(const std::wstring& arguments) {
        return RunAndWait(L"\"" + program_ + L"\"" + arguments, 60000);
    }
    // The UI driver's output for a run of the program with these switches.
    std::string Drive(const std::wstring& arguments, const std::vector<std::wstring>& steps) {
        std::vector<std::wstring> commands{L"launch \"" + program_ + L"\"" + arguments};
        commands.insert(commands.end(), steps.begin(), steps.end());
        return DriverOutput(commands);
    }
    // The log as UTF-8 text, with its byte-order mark.
    std::string Log() const { return ReadBytes(log_); }
    std::wstring LogSwitches() const { return L" \"/log=" + log_ + L"\" /exitcodes"; }

    Installation installation_;
    std::wstring parent_, folder_, program_, log_;
};

TEST_F(Deployment, SetupAndUninstallAreLoggedAndTellTheirOutcome) {
    ASSERT_EQ(Run(L" /setup /S" + LogSwitches()), 0);

    // What deployment tools read: quoted command lines and the size.
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + Utf8(program_) + "\"");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + Utf8(program_) + "\" /S /quiet");
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize"),
              (TreeBytes(folder_) + 1023) / 1024);

    const std::string setup = Log();
    ASSERT_EQ(setup.rfind("\xEF\xBB\xBF", 0), 0u) << "a new log starts with its mark";
    const std::string program = LogValue(Utf8(program_));
    for (const std::string& line : std::vector<std::string>{
             "start program=Mivora-uninstall version=6.00 mode=setup whatif=no",
             "command-line text=" + LogValue("\"" + Utf8(program_) +
                                             "\" /setup /S \"/log=" + Utf8(log_) + "\" /exitcodes"),
             std::string("sfxcmd text=\"\"\r\n"), std::string("portable-file found=no\r\n"),
             "registry-set root=HKLM key=" + LogValue(kAppPathKey) +
                 " name=\"\" data=" + LogValue(Utf8(In("Mivora.exe"))),
             std::string("type-take ext=.zip owner=OtherZip\r\n"),
             std::string("shortcut-create path="), std::string("group-create path="),
             std::string("template-create path="),
             std::string("result exit-code=0 restart=no deleted=0")}) {
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
    ReadDocumentedLog(setup);
    ReadDocumentedLog(uninstall);
    EXPECT_EQ(all.find("\xEF\xBB\xBF", 3), std::string::npos) << "appended without a second mark";
    for (const std::string& line : std::vector<std::string>{
             std::string("start program=Mivora-uninstall version=6.00 mode=uninstall"),
             std::string("type-release ext=.zip owner=OtherZip how=class-restored\r\n"),
             "file-delete path=" + LogValue(Utf8(In("Formats\\x.fmt"))) + " result=done\r\n",
             "folder-delete path=" + LogValue(Utf8(In("Formats"))) + " result=done\r\n",
             "file-schedule path=" + LogValue(Utf8(In("ozuext.dll"))) +
                 " reason=in-use delete-error=5 renamed-to=" +
                 LogValue(Utf8(In("ozuext.dll.0.tmp"))) + " result=done\r\n",
             "file-kept path=" + program + " reason=running-program\r\n",
             std::string("registry-delete-tree root=HKCU key=Software\\Mivora"),
             std::string("batch-file-create path="), std::string("interpreter-start batch-file="),
             std::string("result exit-code=3010 restart=yes deleted=6 scheduled=1 refused=0 "
                         "left=0 registry-failures=0\r\n")}) {
        EXPECT_NE(uninstall.find(line), std::string::npos) << line << "\n" << uninstall;
    }
    EXPECT_TRUE(WaitUntilGone(program_, 60000));
}

// A preview (/whatif) of a whole setup, and then of a whole uninstall,
// changes nothing, ends with the code of the real run, and names exactly the
// changes that the real run then makes, in their order: also where a step
// reads back what an earlier one would have changed.
TEST_F(Deployment, APreviewNamesEveryChangeOfTheRealRunAndMakesNone) {
    const std::wstring planLog = JoinW(parent_, L"logs\\plan.log");
    // The uninstall meets the shell extension loaded by another program, as
    // the shell keeps it: the preview must find what the real run finds (the
    // file renamed and scheduled, its folder not empty, 3010).
    const struct {
        const wchar_t* mode;
        bool extensionInUse;
        int exitCode;
    } runs[] = {{L" /setup /S", false, 0}, {L" /S", true, 3010}};
    for (const auto& [mode, extensionInUse, exitCode] : runs) {
        SCOPED_TRACE(Utf8(mode));
        std::optional<LockHolder> holder;
        if (extensionInUse) {
            wchar_t system[MAX_PATH];
            GetSystemDirectoryW(system, MAX_PATH);
            ASSERT_TRUE(
                CopyFileW(JoinW(system, L"version.dll").c_str(), In("ozuext.dll").c_str(), FALSE));
            holder.emplace("load", In("ozuext.dll"));
            ASSERT_TRUE(holder->held());
        }
        const std::vector<std::string> before = ExportRegistry();
        const int planned =
            Run(std::wstring(mode) + L" /whatif /exitcodes \"/log=" + planLog + L"\"");
        EXPECT_EQ(planned, exitCode);
        EXPECT_EQ(DiffExports(before, ExportRegistry()), "") << "the preview changed the registry";
        EXPECT_TRUE(FileExists(In("Formats\\x.fmt")));
        EXPECT_TRUE(FileExists(In("Uninstall.lst")));
        DeleteFileW(log_.c_str());
        EXPECT_EQ(Run(mode + LogSwitches()), planned);

        const std::vector<LogRecordRead> plan = ReadDocumentedLog(ReadBytes(planLog));
        const std::vector<LogRecordRead> done = ReadDocumentedLog(Log());
        ASSERT_FALSE(plan.empty());
        EXPECT_EQ(plan.front().Field("whatif"), "yes");
        EXPECT_FALSE(Changes(done).empty());
        EXPECT_EQ(Changes(plan), Changes(done));
        for (const LogRecordRead& record : plan)
            EXPECT_NE(record.Field("result"), "done")
                << "a preview makes no change: " << record.verb;
        DeleteFileW(planLog.c_str());
    }
    EXPECT_TRUE(WaitUntilGone(program_, 60000));
}

// Every way an uninstall ends, as deployment tools read it: its exit code
// without and with /exitcodes (a failure is never 0), and what its log says.
// Each row runs on a fresh installation when it removes one.
TEST_F(Deployment, EveryUninstallOutcomeHasItsExitCode) {
    enum class Setup { None, ListMissing, Refused, FileInUse };
    const struct {
        const char* name;
        Setup setup;
        std::wstring arguments;
        std::vector<std::wstring> steps; // played by the UI driver; none: no window at all
        int plain, withExitCodes;
        std::string logged;
        bool removes;
    } rows[] = {
        {"No to the question",
         Setup::None,
         L"",
         {L"wait", L"press 7", L"exit"},
         1602,
         1602,
         "shown=yes answer=No",
         false},
        {"list missing, /S",
         Setup::ListMissing,
         L" /S",
         {L"wait", L"press 1", L"exit"},
         1603,
         1603,
         "Cannot open the list of installed files, Uninstall.lst",
         false},
        {"list missing, the quiet uninstall string",
         Setup::ListMissing,
         L" /S /quiet",
         {},
         1603,
         1603,
         "shown=no answer=OK",
         false},
        {"a switch of another installer",
         Setup::None,
         L" /VERYSILENT /SUPPRESSMSGBOXES",
         {},
         0,
         1639,
         "unknown-switch switch=/VERYSILENT\r\n",
         false},
        {"integration refused",
         Setup::Refused,
         L" /S /quiet",
         {},
         1603,
         1603,
         "registry-failures=1\r\n",
         true},
        {"restart needed",
         Setup::FileInUse,
         L" /S /quiet /norestart",
         {},
         0,
         3010,
         "no-restart note=",
         true},
    };
    for (const auto& row : rows) {
        for (const bool exitCodes : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (exitCodes ? ", /exitcodes" : ""));
            std::optional<WriteDenied> denied;
            std::optional<LockHolder> holder;
            if (row.setup == Setup::ListMissing) {
                DeleteFileW(In("Uninstall.lst").c_str());
            } else if (row.setup == Setup::Refused) {
                // Setup takes ".zip" from OtherZip; giving it back is refused.
                ASSERT_EQ(Run(L" /setup /S"), 0);
                denied.emplace(HKEY_CLASSES_ROOT, ".zip", true);
            } else if (row.setup == Setup::FileInUse) {
                wchar_t system[MAX_PATH];
                GetSystemDirectoryW(system, MAX_PATH);
                CopyFileW(JoinW(system, L"version.dll").c_str(), In("ozuext.dll").c_str(), FALSE);
                holder.emplace("load", In("ozuext.dll"));
            }
            DeleteFileW(log_.c_str());

            const std::wstring arguments =
                row.arguments + L" \"/log=" + log_ + L"\"" + (exitCodes ? L" /exitcodes" : L"");
            int code = -1;
            if (row.steps.empty()) {
                code = Run(arguments);
            } else {
                const std::string out = Drive(arguments, row.steps);
                const size_t exit = out.find("exit ");
                ASSERT_NE(exit, std::string::npos) << out;
                code = std::atoi(out.c_str() + exit + 5);
            }
            holder.reset();
            denied.reset();
            EXPECT_EQ(code, exitCodes ? row.withExitCodes : row.plain);
            const std::string log = Log();
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
            EXPECT_NE(log.find("result exit-code=" + std::to_string(code) + " "), std::string::npos)
                << log;
            if (row.removes) {
                ASSERT_TRUE(WaitUntilGone(program_, 60000));
                DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
                ClearPendingRenames();
                SetUp();
            } else {
                EXPECT_TRUE(FileExists(In("Mivora.exe")));
                WriteList(folder_, {"uninstall.exe"});
            }
        }
    }
}

// The installer's "sfxcmd" may ask for the log and the deployment codes of
// its silent setup.
TEST_F(Deployment, TheInstallersVariableMayAskForTheLogAndTheCodes) {
    SetEnvironmentVariableW(L"sfxcmd", (L"/S \"/log=" + log_ + L"\" /exitcodes").c_str());
    const int code = Run(L" /foo");
    SetEnvironmentVariableW(L"sfxcmd", nullptr);
    EXPECT_EQ(code, 1639);
    EXPECT_NE(Log().find("unknown-switch switch=/foo\r\n"), std::string::npos) << Log();
}

// A standard user meets a deny on the application path: setup says so when
// interactive, and the deployment code tells it either way.
TEST_F(Deployment, SetupWithoutRightsSaysSoAndFails) {
    std::optional<WriteDenied> denied(std::in_place, HKEY_LOCAL_MACHINE, kAppPathKey);
    ASSERT_TRUE(denied->Active());

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

    denied.reset();

    EXPECT_NE(interactive.find("needs administrator rights"), std::string::npos) << interactive;
    EXPECT_NE(interactive.find("exit 1603"), std::string::npos) << interactive;
    EXPECT_EQ(silent, 1603);
    EXPECT_EQ(classic, 0);
    EXPECT_NE(cancelled.find("exit 1602"), std::string::npos) << cancelled;
}

// One setup or uninstall at a time: a run that finds another holding the
// machine waits for it, and gives up after half a minute without changing
// anything (1618, the code deployment tools retry).
TEST_F(Deployment, ARunWaitsForAnotherAndGivesUpWithoutChangingAnything) {
    const std::wstring command = L"\"" + program_ + L"\" /setup /S" + LogSwitches();
    {
        const LockHolder other("runlock", L"-");
        ASSERT_TRUE(other.held());
        EXPECT_EQ(RunAndWait(command, 60000), 1618);
        EXPECT_EQ(ClassOf(".zip"), "OtherZip");
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_NE(Log().find("busy waited=30 changed=nothing\r\n"), std::string::npos) << Log();
        EXPECT_NE(Log().find("result exit-code=1618 "), std::string::npos);
    }
    // Two setups started together: one waits for the other, and the end
    // state is that of one setup (our own class never recorded as an owner).
    std::vector<KernelHandle> runs;
    for (int i = 0; i < 2; ++i) {
        runs.emplace_back(StartProcess(command));
        ASSERT_TRUE(runs.back().IsValid());
    }
    for (const KernelHandle& run : runs) {
        ASSERT_EQ(WaitForSingleObject(run.Get(), 90000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(run.Get(), &code);
        EXPECT_EQ(code, 0u);
    }
    EXPECT_EQ(ClassOf(".zip"), "Mivora.ZIP");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Mivora\\Setup\\.zip", "Type"), "OtherZip");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "Software\\Mivora\\Setup\\.zip", "Type"), "OtherZip");
}

// The lock is an administrator's: nothing else that stands where it could
// be makes a setup wait. A run without elevation holds its own session's
// lock; and where the machine-wide name is the lock (without private
// namespaces: Windows XP, Wine), an object of another kind at that name or a
// mutex there that no administrator made is logged, and the setup goes on.
TEST_F(Deployment, NothingButAnotherElevatedRunHoldsTheLock) {
    const bool globalName =
        GetProcAddress(GetModuleHandleW(L"kernel32"), "CreatePrivateNamespaceW") == nullptr;
    const wchar_t* const name = L"Global\\Mivora-setup-and-uninstall";
    enum class Other { RunWithoutElevation, EventAtTheName, MutexOfEveryone };
    const struct {
        Other other;
        std::string logged; // empty: no lock-unavailable
    } rows[] = {
        {Other::RunWithoutElevation, ""},
        {Other::EventAtTheName, globalName ? "lock-unavailable error=6\r\n" : ""},
        {Other::MutexOfEveryone, globalName ? "lock-unavailable error=1307\r\n" : ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.other));
        std::optional<LockHolder> run;
        KernelHandle object;
        PSECURITY_DESCRIPTOR everyones = nullptr;
        switch (row.other) {
        case Other::RunWithoutElevation:
            run.emplace("runlock", L"-", false);
            ASSERT_TRUE(run->held());
            break;
        case Other::EventAtTheName:
            object.Reset(CreateEventW(nullptr, TRUE, FALSE, name));
            break;
        case Other::MutexOfEveryone:
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"O:WDD:(A;;GA;;;WD)", SDDL_REVISION_1, &everyones, nullptr));
            SECURITY_ATTRIBUTES attributes{sizeof attributes, everyones, FALSE};
            object.Reset(CreateMutexW(&attributes, TRUE, name));
            LocalFree(everyones);
            break;
        }
        ASSERT_TRUE(run || object.IsValid());
        DeleteFileW(log_.c_str());

        EXPECT_EQ(Run(L" /setup /S" + LogSwitches()), 0);

        if (row.logged.empty()) {
            EXPECT_EQ(Log().find("lock-unavailable"), std::string::npos) << Log();
        } else {
            EXPECT_NE(Log().find(row.logged), std::string::npos) << Log();
        }
    }
}

} // namespace
} // namespace ozu
