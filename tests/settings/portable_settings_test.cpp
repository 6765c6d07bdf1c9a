// The portable settings file: where it is found, how it is read in every
// encoding, what is written back, and that a save never damages the old file.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/system_info.h"
#include "portable_file_helpers.h"
#include "settings/portable_settings.h"
#include "settings/settings_store.h"
#include "support/links.h"

namespace ozu {
namespace {

using namespace ozu::test;

// The temporary files a save leaves beside the settings file: none.
std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Mivora.ini.", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0) {
            left.push_back(name);
        }
    }
    return left;
}

using PortableLoad = PortableFile;

constexpr RegistryView kDefault = RegistryView::Default;

RegLocation User(std::u16string_view key) {
    return RegLocation::Settings(RegScope::User, key);
}

TEST_F(PortableLoad, FileBesideTheProgramServesSettingsKeysOnly) {
    MakeFile(Ini(), Utf16LeWithMark(u"HKCU\\Setup\\X=5\r\n"));
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_TRUE(settings.IsRedirected(User(u"Setup")));
    EXPECT_EQ(settings.FilePath(), Ini().u16string());
    EXPECT_TRUE(settings.IsRedirected(RegLocation::Settings(RegScope::Machine, u"")));
    EXPECT_FALSE(settings.IsRedirected(RegLocation::Class(u".zip")));
    EXPECT_FALSE(settings.IsRedirected(
        RegLocation::Absolute(RegScope::Machine, u"Software\\RegisteredApplications")));
    EXPECT_EQ(ReadRegDword(User(u"Setup"), u"X", 0, kDefault), 5u);
}

TEST_F(PortableLoad, WithoutAFileTheSearchRunsOnceUntilCleared) {
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_FALSE(settings.IsRedirected(User(u"Setup")));
    EXPECT_TRUE(IsIntegrationAllowed());
    MakeFile(Ini(), Utf16LeWithMark(u"Global\\Integration=0\r\n"));
    EXPECT_FALSE(settings.IsRedirected(User(u"Setup")));
    EXPECT_TRUE(IsIntegrationAllowed());
    settings.Clear();
    EXPECT_FALSE(IsIntegrationAllowed()); // asking finds the file
    EXPECT_TRUE(settings.IsRedirected(User(u"Setup")));
}

TEST_F(PortableLoad, ApplicationDataFolderIsTheFallbackAndTheFileBesideTheProgramWins) {
    std::u16string folder;
    bool existed = ProgramDataFolder(folder);
    ASSERT_FALSE(folder.empty());
    fs::path appData(folder);
    fs::create_directories(appData);
    fs::path appDataIni = appData / "Mivora.ini";
    ASSERT_FALSE(fs::exists(appDataIni)) << "the prefix holds a settings file of its own";
    MakeFile(appDataIni, Utf16LeWithMark(u"HKCU\\Where=appdata\r\n"));

    PortableSettings& settings = PortableSettings::Instance();
    settings.Load();
    EXPECT_EQ(settings.FilePath(), appDataIni.u16string());
    EXPECT_EQ(settings.Find(u"HKCU\\Where"), u"appdata");

    MakeFile(Ini(), Utf16LeWithMark(u"HKCU\\Where=beside\r\n"));
    settings.Clear();
    settings.Load();
    EXPECT_EQ(settings.Find(u"HKCU\\Where"), u"beside");

    settings.Clear();
    std::error_code ignored;
    fs::remove(appDataIni, ignored);
    if (!existed) {
        fs::remove(appData, ignored);
    }
}

TEST_F(PortableLoad, AFolderNamedLikeTheFileIsNoFile) {
    fs::create_directory(Ini());
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_FALSE(settings.IsRedirected(User(u"Setup")));
    EXPECT_FALSE(settings.IsLoaded());
    EXPECT_TRUE(IsIntegrationAllowed());
    EXPECT_FALSE(settings.Save());
    EXPECT_TRUE(fs::is_directory(Ini()));
}

// The same two entries in every encoding the reader knows, with every kind
// of line end.
TEST_F(PortableLoad, EveryEncodingAndLineEndGivesTheSameEntries) {
    struct Encoding {
        const char* name;
        std::string (*encode)(std::u16string_view);
    } encodings[] = {
        {"utf-16le", Utf16LeWithMark},
        {"utf-16be",
         [](std::u16string_view t) {
             std::string b = "\xFE\xFF";
             for (char16_t c : t) {
                 b.push_back(static_cast<char>(c >> 8));
                 b.push_back(static_cast<char>(c & 0xFF));
             }
             return b;
         }},
        {"utf-8",
         [](std::u16string_view t) {
             std::string b = "\xEF\xBB\xBF";
             for (char16_t c : t) {
                 if (c < 0x80) {
                     b.push_back(static_cast<char>(c));
                 } else { // two-byte forms suffice for this text
                     b.push_back(static_cast<char>(0xC0 | (c >> 6)));
                     b.push_back(static_cast<char>(0x80 | (c & 0x3F)));
                 }
             }
             return b;
         }},
        {"ansi",
         [](std::u16string_view t) {
             std::string b; // code page 1252 in the test prefix
             for (char16_t c : t) {
                 b.push_back(static_cast<char>(c));
             }
             return b;
         }},
    };
    for (const Encoding& encoding : encodings) {
        for (std::u16string_view end : {u"\r\n", u"\n", u"\r"}) {
            std::u16string text = u"A=1";
            text += end;
            text += u"B=\"caf\u00e9\"  ";
            text += end;
            text += end;
            MakeFile(Ini(), encoding.encode(text));
            PortableSettings& settings = PortableSettings::Instance();
            ASSERT_TRUE(settings.LoadFrom(Ini().u16string())) << encoding.name;
            EXPECT_EQ(settings.Find(u"A"), u"1") << encoding.name;
            EXPECT_EQ(settings.Find(u"B"), u"caf\u00e9") << encoding.name;
            EXPECT_EQ(settings.Entries().Count(), 5u) << encoding.name; // with the switches
        }
    }
}

TEST_F(PortableLoad, Utf8WithoutItsMarkIsReadAsAnsiText) {
    MakeFile(Ini(), "B=caf\xC3\xA9\r\n");
    ASSERT_TRUE(PortableSettings::Instance().LoadFrom(Ini().u16string()));
    EXPECT_EQ(PortableSettings::Instance().Find(u"B"), u"caf\u00c3\u00a9");
}

TEST_F(PortableLoad, ZeroCharacterEndsTheText) {
    MakeFile(Ini(), std::string("A=1\0B=2\r\nC=3\r\n", 14));
    PortableSettings& settings = PortableSettings::Instance();
    ASSERT_TRUE(settings.LoadFrom(Ini().u16string()));
    EXPECT_EQ(settings.Find(u"A"), u"1");
    EXPECT_FALSE(settings.Find(u"C").has_value());
}

TEST_F(PortableLoad, TenMegabyteFile) {
    std::string text;
    text.reserve(10u << 20);
    for (int i = 0; text.size() < (10u << 20); ++i) {
        text += "HKCU\\Big\\K" + std::to_string(i) + "=\"value " + std::to_string(i) + "\"\r\n";
    }
    MakeFile(Ini(), text);
    PortableSettings& settings = PortableSettings::Instance();
    ASSERT_TRUE(settings.LoadFrom(Ini().u16string()));
    size_t count = settings.Entries().Count() - 3;
    EXPECT_GT(count, 300000u);
    std::u16string out;
    EXPECT_TRUE(ReadRegString(User(u"Big"), u"K1234", out, u"", 80, kDefault));
    EXPECT_EQ(out, u"value 1234");
    EXPECT_TRUE(settings.Save());
    // The file grows to UTF-16, three switch lines added.
    EXPECT_GT(fs::file_size(Ini()), 2 * text.size());
}

using PortableSave = PortableFile;

TEST_F(PortableSave, WritesSortedUtf16AndDropsWhatLoadingIgnored) {
    MakeFile(Ini(), "; comment\r\n"
                    "[Section]\r\n"
                    "  indented=1\r\n"
                    "1digit=2\r\n"
                    "noequals\r\n"
                    "b = x \t\r\n"
                    "a=\"quoted\r\n"
                    "HKCU\\Setup\\Up=BIN:00\r\n"
                    "HKCU\\Setup\\Bin=bin:00FF\r\n");
    PortableSettings& settings = PortableSettings::Instance();
    ASSERT_TRUE(settings.LoadFrom(Ini().u16string()));
    EXPECT_TRUE(settings.Save());
    EXPECT_EQ(ReadBytes(Ini()), Utf16LeWithMark(u"Global\\AppData=1\r\n"
                                                u"Global\\Integration=1\r\n"
                                                u"Global\\SaveSettings=1\r\n"
                                                u"HKCU\\Setup\\Bin=bin:00FF\r\n"
                                                u"HKCU\\Setup\\Up=BIN:00\r\n"
                                                u"a=\"quoted\"\r\n"
                                                u"b = x\r\n"));
    EXPECT_EQ(TemporaryFilesIn(folder_), std::vector<std::string>{});
}

TEST_F(PortableSave, SwitchesAreReadAsNumbersAndWrittenBackAsOneOrZero) {
    LoadText(u"Global\\Integration=off\r\nGlobal\\AppData=-0\r\nGlobal\\SaveSettings=7x\r\n");
    PortableSettings& settings = PortableSettings::Instance();
    EXPECT_FALSE(settings.IsIntegrationEnabled());
    EXPECT_FALSE(settings.IsAppDataEnabled());
    EXPECT_TRUE(settings.IsSaveEnabled());
    EXPECT_TRUE(settings.Save());
    EXPECT_EQ(ReadBytes(Ini()), Utf16LeWithMark(u"Global\\AppData=0\r\n"
                                                u"Global\\Integration=0\r\n"
                                                u"Global\\SaveSettings=1\r\n"));
}

TEST_F(PortableSave, EmptyFileIsLoadedAndGainsTheSwitches) {
    MakeFile(Ini(), "");
    PortableSettings& settings = PortableSettings::Instance();
    ASSERT_TRUE(settings.LoadFrom(Ini().u16string()));
    FlushSettings();
    EXPECT_EQ(ReadBytes(Ini()), Utf16LeWithMark(u"Global\\AppData=1\r\n"
                                                u"Global\\Integration=1\r\n"
                                                u"Global\\SaveSettings=1\r\n"));
}

TEST_F(PortableSave, SaveSettingsOffKeepsChangesInMemoryOnly) {
    std::string original = Utf16LeWithMark(u"Global\\SaveSettings=0\r\nHKCU\\A\\B=1\r\n");
    MakeFile(Ini(), original);
    ASSERT_TRUE(PortableSettings::Instance().LoadFrom(Ini().u16string()));
    EXPECT_EQ(WriteRegDword(User(u"A"), u"B", 7, kDefault), 0);
    EXPECT_EQ(ReadRegDword(User(u"A"), u"B", 0, kDefault), 7u);
    EXPECT_FALSE(PortableSettings::Instance().Save());
    FlushSettings();
    EXPECT_EQ(ReadBytes(Ini()), original);
}

TEST_F(PortableSave, HiddenFileStaysHidden) {
    LoadText(u"A=1\r\n");
    ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_HIDDEN));
    PortableSettings::Instance().Set(u"A", u"2", EntryKind::Plain);
    EXPECT_TRUE(PortableSettings::Instance().Save());
    EXPECT_NE(GetFileAttributesW(Ini().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_NE(ReadBytes(Ini()).find(Utf16Le(u"A=2")), std::string::npos);
}

// How many names the file has (the standard library's count says 1 here).
DWORD NamesOf(const fs::path& file) {
    BY_HANDLE_FILE_INFORMATION information{};
    HANDLE handle = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    return information.nNumberOfLinks;
}

// A save that cannot complete leaves the old file exactly as it was, reports
// false and leaves no temporary file behind.
class FailedSave : public PortableFile {
protected:
    void SetUp() override {
        PortableFile::SetUp();
        original_ = Utf16LeWithMark(u"; kept comment\r\nHKCU\\Setup\\Value=old\r\n");
        MakeFile(Ini(), original_);
        ASSERT_TRUE(PortableSettings::Instance().LoadFrom(Ini().u16string()));
        PortableSettings::Instance().Set(u"HKCU\\Setup\\Value", u"new", EntryKind::Quoted);
    }
    void ExpectOldFileKept() {
        EXPECT_EQ(ReadBytes(Ini()), original_);
        EXPECT_EQ(TemporaryFilesIn(folder_), std::vector<std::string>{});
    }
    // The name a save of this process tries first, and the ones after it.
    fs::path TemporaryName(unsigned attempt) const {
        return folder_ / ("Mivora.ini." + std::to_string(GetCurrentProcessId()) + "." +
                          std::to_string(attempt) + ".tmp");
    }
    std::string original_;
};

TEST_F(FailedSave, WhenTheOldFileCannotBeReplaced) {
    // Another program holds the file without letting it be deleted or renamed:
    // the new content is complete in the temporary file, the last step fails.
    HANDLE held = CreateFileW(Ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PortableSettings::Instance().Save());
    CloseHandle(held);
    ExpectOldFileKept();
    // Once released, the same content saves.
    EXPECT_TRUE(PortableSettings::Instance().Save());
    EXPECT_NE(ReadBytes(Ini()).find(Utf16Le(u"Value=\"new\"")), std::string::npos);
}

TEST_F(FailedSave, WhenTheFileIsReadOnly) {
    ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(PortableSettings::Instance().Save());
    SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_NORMAL);
    ExpectOldFileKept();
}

TEST_F(FailedSave, WhenSomethingStandsAtEveryNameItWouldUse) {
    for (unsigned attempt = 0; attempt < 8; ++attempt) {
        fs::create_directory(TemporaryName(attempt));
    }
    EXPECT_FALSE(PortableSettings::Instance().Save());
    EXPECT_EQ(ReadBytes(Ini()), original_);
    for (unsigned attempt = 0; attempt < 8; ++attempt) {
        EXPECT_TRUE(fs::is_directory(TemporaryName(attempt)));
        fs::remove(TemporaryName(attempt));
    }
}

// Whatever another account planted where a save puts its new file (the
// settings folder may be one that the user can write while the uninstall
// runs elevated) is never written through or moved: the save goes to a name
// of its own, and a file outside keeps its content and its one name.
TEST_F(FailedSave, APlantedNameIsNeverWrittenThroughOrMoved) {
    enum class Planted { HardLink, SymbolicLink, Folder, HeldFile };
    const struct {
        const char* name;
        Planted planted;
        unsigned attempt; // ~0u: the fixed name of earlier versions
    } rows[] = {
        {"hard link at the old fixed name", Planted::HardLink, ~0u},
        {"symbolic link at the old fixed name", Planted::SymbolicLink, ~0u},
        {"hard link at the first name tried", Planted::HardLink, 0},
        {"symbolic link at the first name tried", Planted::SymbolicLink, 0},
        {"folder at the first name tried", Planted::Folder, 0},
        {"another writer at the first name tried", Planted::HeldFile, 0},
    };
    TempFolder outside;
    const fs::path victim = fs::path(AsWide(outside.Path())) / "victim.txt";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MakeFile(victim, "outside");
        const fs::path at =
            row.attempt == ~0u ? folder_ / "Mivora.ini.tmp" : TemporaryName(row.attempt);
        HANDLE held = INVALID_HANDLE_VALUE;
        switch (row.planted) {
        case Planted::HardLink:
            ASSERT_TRUE(MakeHardLink(at.wstring(), victim.wstring()));
            break;
        case Planted::SymbolicLink:
            ASSERT_TRUE(MakeLink(at.wstring(), victim.wstring()));
            break;
        case Planted::Folder:
            fs::create_directory(at);
            break;
        case Planted::HeldFile:
            held = CreateFileW(at.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            break;
        }
        EXPECT_TRUE(PortableSettings::Instance().Save());
        EXPECT_NE(ReadBytes(Ini()).find(Utf16Le(u"Value=\"new\"")), std::string::npos);
        EXPECT_EQ(ReadBytes(victim), "outside");
        EXPECT_EQ(NamesOf(victim), row.planted == Planted::HardLink ? 2u : 1u);
        EXPECT_NE(GetFileAttributesW(at.c_str()), INVALID_FILE_ATTRIBUTES)
            << "what was planted stays";
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
        }
        if (row.planted == Planted::SymbolicLink) {
            RemoveLink(at.wstring());
        } else {
            fs::remove(at);
        }
        EXPECT_EQ(TemporaryFilesIn(folder_), std::vector<std::string>{});
    }
}

// Reserves all of the address space but `left` bytes (without committing
// any of it), so that larger allocations fail as on a machine out of memory.
class AddressSpaceTaken {
public:
    explicit AddressSpaceTaken(size_t left) {
        blocks_.reserve(65536); // 2 GiB in blocks of 64 KiB at most
        void* kept = VirtualAlloc(nullptr, left, MEM_RESERVE, PAGE_NOACCESS);
        for (size_t size = size_t{1} << 30; size >= (64u << 10); size /= 2) {
            while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
                blocks_.push_back(block);
            }
        }
        if (kept != nullptr) {
            VirtualFree(kept, 0, MEM_RELEASE);
        }
    }
    ~AddressSpaceTaken() {
        for (void* block : blocks_) {
            VirtualFree(block, 0, MEM_RELEASE);
        }
    }
    AddressSpaceTaken(const AddressSpaceTaken&) = delete;
    AddressSpaceTaken& operator=(const AddressSpaceTaken&) = delete;

private:
    std::vector<void*> blocks_;
};

// The save at process exit: a child run of this test program loads the file,
// changes it and returns from main without saving. Its mode: "deletes" the
// file before it ends (as the uninstall does when the list names it), or
// "starves": runs out of memory while loading, which ends it there.
constexpr wchar_t kChildVariable[] = L"OZU_SETTINGS_EXIT_CHILD_FILE";
constexpr wchar_t kChildModeVariable[] = L"OZU_SETTINGS_EXIT_CHILD_MODE";
constexpr size_t kStarvedChildMemory = 8u << 20;

TEST(PortableSettingsAtExit, ChildChangesAndEnds) {
    wchar_t path[MAX_PATH * 4];
    if (GetEnvironmentVariableW(kChildVariable, path, static_cast<DWORD>(std::size(path))) == 0) {
        GTEST_SKIP() << "runs only as the child of the tests of the save at exit";
    }
    wchar_t mode[16] = L"";
    GetEnvironmentVariableW(kChildModeVariable, mode, static_cast<DWORD>(std::size(mode)));
    PortableSettings& settings = PortableSettings::Instance();
    if (std::wstring(mode) == L"starves") {
        const AddressSpaceTaken taken(kStarvedChildMemory);
        settings.LoadFrom(reinterpret_cast<const char16_t*>(path));
        FAIL() << "the load did not run out of memory";
    }
    ASSERT_TRUE(settings.LoadFrom(reinterpret_cast<const char16_t*>(path)));
    EXPECT_EQ(WriteRegString(User(u"Setup"), u"Value", u"from child", kDefault), 0);
    if (std::wstring(mode) == L"deletes") {
        EXPECT_TRUE(DeleteFileW(path));
    }
}

// Runs ChildChangesAndEnds as a process of its own on the file; returns its
// exit code.
DWORD RunExitChild(const std::wstring& ini, const wchar_t* mode = nullptr) {
    wchar_t program[MAX_PATH * 4];
    if (GetModuleFileNameW(nullptr, program, static_cast<DWORD>(std::size(program))) == 0) {
        return 1;
    }
    std::wstring command = L"\"" + std::wstring(program) +
                           L"\" --gtest_filter=PortableSettingsAtExit.ChildChangesAndEnds";
    SetEnvironmentVariableW(kChildVariable, ini.c_str());
    SetEnvironmentVariableW(kChildModeVariable, mode);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    SetEnvironmentVariableW(kChildModeVariable, nullptr);
    if (!started) {
        return 1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

TEST_F(PortableSave, SavedWhenTheProcessEnds) {
    MakeFile(Ini(), Utf16LeWithMark(u"HKCU\\Setup\\Value=old\r\n"));
    EXPECT_EQ(RunExitChild(Ini()), 0u);
    EXPECT_EQ(ReadBytes(Ini()), Utf16LeWithMark(u"Global\\AppData=1\r\n"
                                                u"Global\\Integration=1\r\n"
                                                u"Global\\SaveSettings=1\r\n"
                                                u"HKCU\\Setup\\Value=\"from child\"\r\n"));
}

// The uninstall deletes the installation, the settings file with it: the
// save at exit must not bring it back and keep the folder from going.
TEST_F(PortableSave, AFileDeletedWhileRunningIsNotRecreatedAtExit) {
    MakeFile(Ini(), Utf16LeWithMark(u"HKCU\\Setup\\Value=old\r\n"));
    EXPECT_EQ(RunExitChild(Ini(), L"deletes"), 0u);
    EXPECT_EQ(GetFileAttributesW(Ini().c_str()), INVALID_FILE_ATTRIBUTES);
}

// Memory runs out part-way through reading the file: the program ends there
// with the memory-error code, and the save at exit must not replace the
// user's file by the part of it that was read.
TEST_F(PortableSave, AFileReadOnlyInPartIsNotSavedAtExit) {
    std::string original = Utf16LeWithMark(u"; the user's file\r\n");
    for (int i = 0; original.size() < 2 * kStarvedChildMemory; ++i) {
        original += Utf16Le(u"HKCU\\Setup\\Entry" + std::u16string(1, u'A' + i % 26) +
                            u"=some value of the user's\r\n");
    }
    MakeFile(Ini(), original);
    EXPECT_EQ(RunExitChild(Ini(), L"starves"), static_cast<DWORD>(OZU_EXIT_MEMORY_ERROR));
    EXPECT_TRUE(ReadBytes(Ini()) == original) << "the file was replaced";
}

} // namespace
} // namespace ozu
