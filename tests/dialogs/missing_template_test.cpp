// The setup dialog when no template can be shown at all: this test program
// carries no dialog resources, and no language library is loaded. Setup must
// then end as cancelled, having written nothing, even in silent mode (where a
// shown dialog would have confirmed itself).
#include <gtest/gtest.h>

#include "dialogs/done_dialog.h"
#include "dialogs/setup_dialog.h"
#include "support/registry.h"

namespace ozu {
namespace {

TEST(SetupDialogWithoutTemplate, EndsAsCancelledAndWritesNothing) {
    test::DeleteTree(HKEY_CURRENT_USER, "Software\\Mivora");
    SetupDialogContext context;
    context.silent = true;
    EXPECT_EQ(RunSetupDialog(context), 0);
    EXPECT_TRUE(context.programGroupPath.empty());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, "Software\\Mivora"));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kAppPathKey));

    // The completion dialog has nothing to report either; it must simply return.
    DoneDialogContext done;
    done.silent = true;
    RunDoneDialog(done);
}

} // namespace
} // namespace ozu
