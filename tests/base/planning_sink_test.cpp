// The planning sink and its plan: a table of changes, each with the outcome
// the real run would meet, followed by what later reads see, while the
// registry and the disk stay as they were.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/change_plan.h"
#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/registry_plan.h"
#include "base/trusted_folder.h"
#include "support/files.h"
#include "support/registry.h"

namespace ozu {
namespace {

using namespace test;

constexpr std::u16string_view kKey = u"Software\\MivoraPlanTest";
constexpr std::u16string_view kChild = u"Software\\MivoraPlanTest\\Child";

RegValue Text(std::u16string_view name) {
    return {std::u16string(name), REG_SZ, std::string("v\0\0\0", 4)};
}

TEST(PlanningSink, DecidesEveryChangeAsTheRealRunAndKeepsItInThePlan) {
    DeleteTree(HKEY_CURRENT_USER, "Software\\MivoraPlanTest");
    TempFolder temp;
    const std::u16string group = temp / u"group";
    const std::u16string made = group + u"\\new.txt";
    const std::u16string real = temp / u"real.txt";
    const std::u16string full = temp / u"full";
    ASSERT_TRUE(MakeFile(real, "ours"));
    MakeFolder(std::wstring(full.begin(), full.end()));
    ASSERT_TRUE(MakeFile(full + u"\\inside.txt", "ours"));
    const RegValue value = Text(u"x");
    const RegValue child = Text(u"y");
    const TrustedFolder folder(temp.Path());
    CheckedEntry realEntry = folder.Open(real);
    CheckedEntry fullEntry = folder.Open(full);
    CheckedEntry insideEntry = folder.Open(full + u"\\inside.txt");
    CheckedEntry fullAgain;

    const auto reg = [](ChangeKind kind, std::u16string_view key, const RegValue* v = nullptr,
                        std::u16string_view name = {}) {
        return Change{.kind = kind,
                      .verb = "test",
                      .root = HKEY_CURRENT_USER,
                      .key = key,
                      .value = v,
                      .name = name};
    };
    const auto file = [](ChangeKind kind, std::u16string_view path, CheckedEntry* entry = nullptr) {
        return Change{.kind = kind, .verb = "test", .entry = entry, .path = path};
    };
    const struct {
        const char* what;
        Change change;
        DWORD outcome;
    } steps[] = {
        {"a value of a missing key", reg(ChangeKind::SetValue, kKey, &value), ERROR_SUCCESS},
        {"a value below it", reg(ChangeKind::SetValue, kChild, &child), ERROR_SUCCESS},
        {"the key, which has a subkey now", reg(ChangeKind::DeleteKey, kKey), kKeyKeptForSubkeys},
        {"a value never written", reg(ChangeKind::DeleteValue, kKey, nullptr, u"z"),
         ERROR_FILE_NOT_FOUND},
        {"the subkey's value", reg(ChangeKind::DeleteValue, kChild, nullptr, u"y"), ERROR_SUCCESS},
        {"the subkey", reg(ChangeKind::DeleteKey, kChild), ERROR_SUCCESS},
        {"the key, alone by now", reg(ChangeKind::DeleteTree, kKey), ERROR_SUCCESS},
        {"the key once more", reg(ChangeKind::DeleteTree, kKey), ERROR_FILE_NOT_FOUND},
        {"a folder", file(ChangeKind::CreateFolder, group), ERROR_SUCCESS},
        {"the same folder", file(ChangeKind::CreateFolder, group), ERROR_ALREADY_EXISTS},
        {"a file in it", file(ChangeKind::CreateFile, made), ERROR_SUCCESS},
        {"the same file", file(ChangeKind::CreateFile, made), ERROR_FILE_EXISTS},
        {"a file on disk", file(ChangeKind::DeleteChecked, {}, &realEntry), ERROR_SUCCESS},
        {"a folder that holds a file", file(ChangeKind::DeleteChecked, {}, &fullEntry),
         ERROR_DIR_NOT_EMPTY},
        {"that file", file(ChangeKind::DeleteChecked, {}, &insideEntry), ERROR_SUCCESS},
        {"the folder, empty by now", file(ChangeKind::DeleteChecked, {}, &fullAgain),
         ERROR_SUCCESS},
    };
    for (const auto& step : steps) {
        if (step.change.entry == &fullAgain) {
            fullAgain = folder.Open(full);
        }
        EXPECT_EQ(PlanningSink().Make(step.change), step.outcome) << step.what;
    }

    const struct {
        const char* what;
        bool seen;
        bool expected;
    } reads[] = {
        {"the key is gone", registry_plan::KeyPresent(HKEY_CURRENT_USER, 0, kKey), false},
        {"its value with it",
         registry_plan::FindValue(HKEY_CURRENT_USER, 0, kKey, u"x").value_or(value).has_value(),
         false},
        {"the folder is there", PathExists(group), true},
        {"with something in it", PlanMakesSomethingBelow(group), true},
        {"the new file", PathExists(made), true},
        {"the file on disk is gone", PathExists(real), false},
        {"the full folder is gone", PathExists(full), false},
        {"the trusted folder sees it gone",
         folder.Inspect(full + u"\\inside.txt") == DiskEntry::Missing, true},
        // Nothing of it was made.
        {"the registry has no key", KeyExists(HKEY_CURRENT_USER, "Software\\MivoraPlanTest"),
         false},
        {"the disk has no folder", FileExists(std::wstring(group.begin(), group.end())), false},
        {"the disk keeps the file", FileExists(std::wstring(real.begin(), real.end())), true},
        {"and the full folder",
         FileExists(std::wstring(full.begin(), full.end()) + L"\\inside.txt"), true},
    };
    for (const auto& read : reads) {
        EXPECT_EQ(read.seen, read.expected) << read.what;
    }
}

} // namespace
} // namespace ozu
