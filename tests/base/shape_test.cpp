#include <windows.h>

#include <cstring>

#include <gtest/gtest.h>

#include "base/system_info.h"

namespace ozu {
namespace {

// The test prefixes say their shape in WINEARCH: "win64" runs the 32-bit
// build under WOW64 (the 64-bit test build natively, not under WOW64),
// "win32" is 32-bit Windows.
TEST(Shape, RunningUnderWow64FollowsTheWindowsShape) {
    char arch[16] = {};
    if (::GetEnvironmentVariableA("WINEARCH", arch, sizeof(arch)) == 0) {
        GTEST_SKIP() << "the Windows shape is not known";
    }
    const bool expected = std::strcmp(arch, "win64") == 0 && sizeof(void*) == 4;
    EXPECT_EQ(RunningUnderWow64(), expected);
}

} // namespace
} // namespace ozu
