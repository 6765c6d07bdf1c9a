// The preview's plan of files and folders: what later reads see after a
// table of planned removals and makings.
#include <optional>

#include <gtest/gtest.h>

#include "base/change_plan.h"

namespace ozu {
namespace {

constexpr uint32_t kFolder = 0x10;
constexpr uint32_t kFile = 0x80;

TEST(ChangePlan, LaterReadsSeeWhatThePlanRemovedOrMade) {
    // A real run plans nothing, and the disk answers every read.
    EXPECT_EQ(PlannedAttributes(u"C:\\Inst\\a.txt"), std::nullopt);
    EXPECT_FALSE(PlanMakesSomethingBelow(u"C:\\Inst"));

    PlanGone(u"C:\\Inst\\old.txt");
    PlanMade(u"C:\\Inst\\Group\\", kFolder);
    PlanMade(u"c:\\inst\\group\\a.lnk", kFile);
    PlanGone(u"C:\\Inst\\Group\\A.LNK");
    PlanMade(u"C:\\Inst\\old.txt.0.tmp", kFile); // a rename: gone here, made there

    const struct {
        const char16_t* path;
        std::optional<uint32_t> attributes;
    } reads[] = {
        {u"C:\\Inst\\old.txt", kPlannedGone},
        {u"C:\\INST\\OLD.TXT", kPlannedGone}, // case ignored, as the file system does
        {u"C:\\Inst\\Group", kFolder},        // a trailing separator names the same
        {u"C:\\Inst\\Group\\a.lnk", kPlannedGone},
        {u"C:\\Inst\\old.txt.0.tmp", kFile},
        {u"C:\\Inst\\old", std::nullopt}, // a name the plan never touched
        {u"C:\\Inst", std::nullopt},
    };
    for (const auto& read : reads) {
        EXPECT_EQ(PlannedAttributes(read.path), read.attributes);
    }
    const struct {
        const char16_t* folder;
        bool made;
    } below[] = {
        {u"C:\\Inst", true},         // the group and the renamed file
        {u"C:\\inst\\", true},       //
        {u"C:\\Inst\\Group", false}, // its one file is gone again
        {u"C:\\Ins", false},         // a name that begins like it is another folder
        {u"D:\\Inst", false},
    };
    for (const auto& read : below) {
        EXPECT_EQ(PlanMakesSomethingBelow(read.folder), read.made);
    }
}

} // namespace
} // namespace ozu
