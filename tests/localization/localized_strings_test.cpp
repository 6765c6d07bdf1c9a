// Texts by id under Wine: the language file beside the program or in the
// language folder, the resource-only language library built by the test tree
// (ozulng_test.dll, ozulng_rtl.dll) and the test executable's own string
// table, which plays the program's built-in texts (program_strings.rc).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/program_path.h"
#include "base/win32_text.h"
#include "localization/language_table.h"
#include "localization/localized_strings.h"
#include "support/bytes.h"

namespace ozu {
namespace {

constexpr uint32_t kFileId = 5111;    // in the language file, the library and the program
constexpr uint32_t kLibraryId = 5112; // in the library and the program
constexpr uint32_t kProgramId = 5113; // in the program only
constexpr uint32_t kUnknownId = 5199;
const wchar_t kGeneralKey[] = L"Software\\Mivora\\General";

std::u16string FolderOfTestExecutable() {
    std::u16string path(MAX_PATH * 4, u'\0');
    path.resize(::GetModuleFileNameW(nullptr, W(path.data()), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(u'\\') + 1);
}

void WriteFile(const std::u16string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

std::string LanguageFile(const std::string& lines) {
    return "; test language\r\n***messages***\r\n" + lines;
}

// Keeps the user's "LanguageFolder" setting as it was before the test.
class LanguageFolderSetting {
public:
    LanguageFolderSetting() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsRoot, 0, KEY_READ, &key) == 0) {
            rootExisted_ = true;
            ::RegCloseKey(key);
            key = nullptr;
        }
        keyExisted_ = ::RegOpenKeyExW(HKEY_CURRENT_USER, kGeneralKey, 0, KEY_READ, &key) == 0;
        DWORD size = 0;
        if (keyExisted_ && ::RegQueryValueExW(key, kValue, nullptr, &type_, nullptr, &size) == 0) {
            saved_.emplace(size, '\0');
            ::RegQueryValueExW(key, kValue, nullptr, &type_,
                               reinterpret_cast<BYTE*>(saved_->data()), &size);
        }
        ::RegCloseKey(key);
    }
    ~LanguageFolderSetting() {
        if (!keyExisted_) {
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kGeneralKey);
            if (!rootExisted_) {
                ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsRoot);
            }
        } else if (saved_) {
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kGeneralKey, kValue, type_, saved_->data(),
                              static_cast<DWORD>(saved_->size()));
        } else {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kGeneralKey, kValue);
        }
    }
    static void Set(DWORD type, const std::u16string& folder) {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kGeneralKey, kValue, type, W(folder),
                                    static_cast<DWORD>((folder.size() + 1) * sizeof(char16_t))),
                  ERROR_SUCCESS);
    }

private:
    static constexpr const wchar_t* kValue = L"LanguageFolder";
    static constexpr const wchar_t* kSettingsRoot = L"Software\\Mivora";
    bool rootExisted_ = false;
    bool keyExisted_ = false;
    DWORD type_ = REG_SZ;
    std::optional<std::string> saved_;
};

class LocalizedStringsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::u16string temp(MAX_PATH + 1, u'\0');
        temp.resize(::GetTempPathW(MAX_PATH + 1, W(temp.data())));
        static int counter = 0;
        const std::string unique = "ozu_localization_" + std::to_string(::GetCurrentProcessId()) +
                                   "_" + std::to_string(++counter);
        staging_ = temp + std::u16string(unique.begin(), unique.end());
        languageFolder_ = staging_ + u"\\languages";
        ASSERT_TRUE(::CreateDirectoryW(W(staging_), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(W(languageFolder_), nullptr));
        SetProgramPathForTesting(staging_ + u"\\uninstall.exe");
        ::SetEnvironmentVariableW(L"OZU_TEST_LANGUAGES", W(languageFolder_));
    }
    void TearDown() override {
        ReleaseLanguageLibrary();
        LanguageTable::Instance().Clear();
        ::SetProcessDefaultLayout(0);
        SetProgramPathForTesting(u"");
        ::SetEnvironmentVariableW(L"OZU_TEST_LANGUAGES", nullptr);
        for (const std::u16string& folder : {languageFolder_, staging_}) {
            for (const char16_t* name : {u"\\uninstall.lng", u"\\ozulng.dll"}) {
                ::DeleteFileW(W(folder + name));
            }
            ::RemoveDirectoryW(W(folder));
        }
    }
    void InstallLibrary(const std::u16string& folder, const char16_t* variant) {
        ASSERT_TRUE(
            ::CopyFileW(W(FolderOfTestExecutable() + variant), W(folder + u"\\ozulng.dll"), FALSE));
    }
    // Start-up's order: the library first, then the language file.
    void StartUp() {
        LoadLanguageLibrary(::GetModuleHandleW(nullptr));
        StartLanguage(u"uninstall.lng");
    }

    std::u16string staging_;
    std::u16string languageFolder_;
    LanguageFolderSetting setting_;
};

TEST_F(LocalizedStringsTest, FileWinsOverLibraryWhichWinsOverBuiltInTable) {
    InstallLibrary(staging_, u"ozulng_test.dll");
    WriteFile(staging_ + u"\\uninstall.lng", LanguageFile("IDS_MIVORAARC From the file\r\n"));
    StartUp();
    EXPECT_NE(ResourceModule(), ProgramInstance());
    EXPECT_EQ(GetLocalizedString(kFileId), u"From the file");
    EXPECT_EQ(GetLocalizedString(kLibraryId), u"Library ZIP archive");
    EXPECT_EQ(GetLocalizedString(kProgramId), u"Built-in recovery volume");
    std::u16string out = u"stale";
    EXPECT_FALSE(LoadLocalizedString(kUnknownId, out));
    EXPECT_EQ(out, u"");
    EXPECT_EQ(GetLocalizedString(kUnknownId), u"");

    // Released, the library's texts are gone and its file can be deleted.
    ReleaseLanguageLibrary();
    EXPECT_EQ(ResourceModule(), ProgramInstance());
    EXPECT_EQ(GetLocalizedString(kLibraryId), u"Built-in ZIP archive");
    EXPECT_EQ(GetLocalizedString(kFileId), u"From the file");
    EXPECT_TRUE(::DeleteFileW(W(staging_ + u"\\ozulng.dll")));
}

TEST_F(LocalizedStringsTest, WithoutFileAndLibraryTheBuiltInTextsStand) {
    StartUp();
    EXPECT_EQ(ResourceModule(), ::GetModuleHandleW(nullptr));
    EXPECT_TRUE(LanguageTable::Instance().Entries().empty());
    EXPECT_EQ(GetLocalizedString(kFileId), u"Built-in archive");
    EXPECT_FALSE(LanguageTable::Instance().IsRightToLeft());
    DWORD layout = 1;
    ASSERT_TRUE(::GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, 0u);
}

TEST_F(LocalizedStringsTest, LanguageFolderFromTheSettingWithEnvironmentVariables) {
    WriteFile(staging_ + u"\\uninstall.lng", LanguageFile("IDS_MIVORAARC Beside the program\r\n"));
    WriteFile(languageFolder_ + u"\\uninstall.lng",
              LanguageFile("IDS_MIVORAARC From the language folder\r\n"));
    InstallLibrary(languageFolder_, u"ozulng_test.dll");
    EXPECT_EQ(FindInLanguageFolder(u"uninstall.lng"), u"uninstall.lng"); // no setting yet
    LanguageFolderSetting::Set(REG_EXPAND_SZ, u"%OZU_TEST_LANGUAGES%");
    EXPECT_EQ(FindInLanguageFolder(u"C:\\elsewhere\\uninstall.lng"),
              languageFolder_ + u"\\uninstall.lng");
    StartUp();
    EXPECT_EQ(GetLocalizedString(kFileId), u"From the language folder");
    EXPECT_EQ(GetLocalizedString(kLibraryId), u"Library ZIP archive");

    // Without the files there, those beside the program are used.
    ReleaseLanguageLibrary();
    ASSERT_TRUE(::DeleteFileW(W(languageFolder_ + u"\\uninstall.lng")));
    ASSERT_TRUE(::DeleteFileW(W(languageFolder_ + u"\\ozulng.dll")));
    LanguageFolderSetting::Set(REG_SZ, languageFolder_ + u"\\");
    StartUp();
    EXPECT_EQ(GetLocalizedString(kFileId), u"Beside the program");
    EXPECT_EQ(ResourceModule(), ProgramInstance());

    // An empty setting names no folder, not the current one.
    LanguageFolderSetting::Set(REG_SZ, u"");
    InstallLibrary(languageFolder_, u"ozulng_test.dll");
    std::u16string current(MAX_PATH * 4, u'\0');
    current.resize(::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), W(current.data())));
    ASSERT_TRUE(::SetCurrentDirectoryW(W(languageFolder_)));
    const std::u16string found = FindInLanguageFolder(staging_ + u"\\ozulng.dll");
    ::SetCurrentDirectoryW(W(current));
    EXPECT_EQ(found, staging_ + u"\\ozulng.dll");
}

TEST_F(LocalizedStringsTest, RightToLeftFromTheLibraryOrTheFileMirrorsTheProcess) {
    InstallLibrary(staging_, u"ozulng_rtl.dll");
    StartUp();
    DWORD layout = 0;
    EXPECT_TRUE(LanguageTable::Instance().IsRightToLeft());
    ASSERT_TRUE(::GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, static_cast<DWORD>(LAYOUT_RTL));

    ReleaseLanguageLibrary();
    ::SetProcessDefaultLayout(0);
    ASSERT_TRUE(::DeleteFileW(W(staging_ + u"\\ozulng.dll")));
    WriteFile(staging_ + u"\\uninstall.lng", LanguageFile(":DIRECTION RTL\r\n"));
    StartUp();
    EXPECT_TRUE(LanguageTable::Instance().IsRightToLeft());
    ASSERT_TRUE(::GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, static_cast<DWORD>(LAYOUT_RTL));

    // A library without the "RTL" dialog and a left-to-right file leave it.
    ::SetProcessDefaultLayout(0);
    InstallLibrary(staging_, u"ozulng_test.dll");
    WriteFile(staging_ + u"\\uninstall.lng", LanguageFile(":DIRECTION LTR\r\n"));
    StartUp();
    EXPECT_FALSE(LanguageTable::Instance().IsRightToLeft());
    ASSERT_TRUE(::GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, 0u);
}

TEST_F(LocalizedStringsTest, FileOnDiskInBothFormsSharedAndByFullPath) {
    // UTF-16 with its byte-order mark, held open by an editor that writes.
    const std::string bytes = test::Utf16LeWithMark(
        u"***messages***\r\nIDS_MIVORAARC \u05D0\u05E8\u05DB\u05D9\u05D5\u05DF " +
        std::u16string(1500, u'x') + u"\r\n");
    const std::u16string path = languageFolder_ + u"\\uninstall.lng";
    WriteFile(path, bytes);
    HANDLE editor =
        ::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(LanguageTable::Instance().Load(path));
    ::CloseHandle(editor);
    const std::u16string first = GetLocalizedString(kFileId);
    EXPECT_EQ(first.size(), kLocalizedStringCapacity - 1);
    EXPECT_EQ(first.substr(0, 7), u"\u05D0\u05E8\u05DB\u05D9\u05D5\u05DF ");
    // A returned text stays as it was, however many texts are asked for later.
    for (int i = 0; i < 9; ++i) {
        GetLocalizedString(kProgramId);
    }
    EXPECT_EQ(first.substr(0, 6), u"\u05D0\u05E8\u05DB\u05D9\u05D5\u05DF");

    // 8-bit in the ANSI code page, by bare name beside the program.
    WriteFile(staging_ + u"\\uninstall.lng",
              LanguageFile("IDS_MIVORAARC Archiv f\xFCr Mivora\r\n"));
    EXPECT_TRUE(LanguageTable::Instance().Load(u"uninstall.lng"));
    EXPECT_EQ(GetLocalizedString(kFileId), u"Archiv f\u00FCr Mivora");
    EXPECT_FALSE(LanguageTable::Instance().Load(staging_ + u"\\missing.lng"));
    EXPECT_EQ(GetLocalizedString(kFileId), u"Built-in archive");
}

} // namespace
} // namespace ozu
