#pragma once
// A staging folder that plays the program's own folder, so the portable
// settings file is searched for and saved where the test decides.

#include "base/program_path.h"
#include "settings/portable_settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace ozu::testing_portable {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Utf16Le(std::u16string_view text, bool mark = true) {
    std::string bytes = mark ? "\xFF\xFE" : "";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

class StagedProgram : public testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        folder_ =
            fs::temp_directory_path() / ("ozu-settings-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(++counter));
        fs::create_directories(folder_);
        SetProgramPathForTesting((folder_ / "uninstall.exe").u16string());
        PortableSettings::Instance().Clear();
    }
    void TearDown() override {
        PortableSettings::Instance().Clear();
        SetProgramPathForTesting(u"");
        std::error_code ignored;
        fs::permissions(Ini(), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    fs::path Ini() const { return folder_ / "Mivora.ini"; }
    // Writes the file as UTF-16 with its mark and loads it.
    void LoadText(std::u16string_view text) {
        WriteBytes(Ini(), Utf16Le(text));
        ASSERT_TRUE(PortableSettings::Instance().LoadFrom(Ini().u16string()));
    }
    fs::path folder_;
};

} // namespace ozu::testing_portable
