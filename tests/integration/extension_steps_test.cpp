// Every combination that matters of the user's choice and what the registry
// holds: what one extension of an archive type goes through.
#include <gtest/gtest.h>

#include "integration/extension_steps.h"

namespace ozu {
namespace {

TEST(ExtensionSteps, FollowTheChoiceAndWhoOwnsTheType) {
    // The steps, in their order: volumes, later owner, own template, class,
    // new-file entry, empty key, record.
    constexpr ExtensionSteps none{};
    const struct {
        const char* what;
        ExtensionWish wish;
        ExtensionState state;
        ExtensionSteps steps;
    } cases[] = {
        {"taken with its new-file entry", {true, true, false, true}, {true, true, true}, none},
        {"taken, its new-file entry switched off",
         {true, false, false, true},
         {true, true, true},
         {false, false, false, false, true, false, false}},
        {"another program holds it: nothing of ours changes, not even volumes",
         {true, true, true, false},
         {false, true, true},
         none},
        {"given back to the owner it had",
         {false, false, true, false},
         {true, true, true},
         {true, false, false, true, true, false, true}},
        {"given back; it did not exist before setup",
         {false, false, false, false},
         {true, true, false},
         {false, false, false, true, false, true, true}},
        {"ours without a record",
         {false, false, false, false},
         {true, false, false},
         {false, false, false, true, false, true, true}},
        {"taken over since setup: our record and template go, the owner stays",
         {false, false, true, false},
         {false, true, true},
         {true, true, true, false, false, false, false}},
        {"given back but its key stayed (a deletion failed): the empty key goes",
         {false, false, false, false},
         {false, true, false},
         {false, true, false, false, false, true, false}},
        {"never ours", {false, false, false, false}, {false, false, false}, none},
        {"never ours, but our template entry is there",
         {false, false, false, true},
         {false, false, false},
         {false, false, true, false, false, false, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideExtensionSteps(c.wish, c.state), c.steps) << c.what;
    }
}

} // namespace
} // namespace ozu
