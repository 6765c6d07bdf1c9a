#pragma once
// A staged program folder for the portable settings file, so that the file
// is searched for and saved where the test decides.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "settings/portable_settings.h"
#include "support/bytes.h"
#include "support/files.h"

namespace ozu::test {

namespace fs = std::filesystem;

class PortableFile : public testing::Test {
protected:
    void SetUp() override { PortableSettings::Instance().Clear(); }
    void TearDown() override {
        PortableSettings::Instance().Clear();
        std::error_code ignored; // a test may have made the file read-only
        fs::permissions(Ini(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::path Ini() const { return folder_ / "Mivora.ini"; }
    // Writes the file as UTF-16 with its mark and loads it.
    void LoadText(std::u16string_view text) {
        MakeFile(Ini(), Utf16LeWithMark(text));
        ASSERT_TRUE(PortableSettings::Instance().LoadFrom(Ini().u16string()));
    }
    StagedProgram program_;
    const fs::path folder_{AsWide(program_.Folder())};
};

} // namespace ozu::test
