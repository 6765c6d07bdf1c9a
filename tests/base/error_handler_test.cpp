#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/growable_array.h"

namespace ozu {
namespace {

// A fatal error ends the process where it happens, with its code. Each case
// runs in a child process.
void EndsWithCode(void (*fatal)(), int code) {
    EXPECT_EXIT(fatal(), ::testing::ExitedWithCode(code), "");
}

TEST(ErrorHandlerDeathTest, FatalErrorsEndTheProcessWithTheirCode) {
    EndsWithCode([] { TheErrorHandler().Exit(12); }, 12);
    EndsWithCode([] { TheErrorHandler().MemoryError(); }, 8);
    // Growth beyond an array's maximum, past 32-bit counts, and (in a 32-bit
    // process) past the address space is the fatal memory error.
    EndsWithCode(
        [] {
            GrowableArray<uint8_t> limited(0, 3);
            limited.Add(4);
        },
        8);
    EndsWithCode(
        [] {
            GrowableArray<uint8_t> a;
            a.Add(10);
            a.Add(UINT32_MAX);
        },
        8);
    if constexpr (SIZE_MAX <= UINT32_MAX) {
        EndsWithCode(
            [] {
                GrowableArray<uint64_t> a;
                a.Add(UINT32_MAX);
            },
            8);
    }
}

} // namespace
} // namespace ozu
