// The program's replacements for the runtime's raisers and operator new:
// running out of memory, or a size beyond what can ever be allocated, ends
// the process with the memory-error code; programming faults end it with the
// severe-error code; the nothrow forms still answer null.
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"

namespace ozu {
namespace {

// Read at run time, so that the compiler does not reject the sizes; the
// blocks are kept, so that it does not leave out the allocations either.
volatile size_t g_beyondAnyBlock = SIZE_MAX - 64;
void* volatile g_block = nullptr;

TEST(LeanRuntimeDeathTest, FailuresEndTheProcessWithTheirCode) {
    const struct {
        void (*fail)();
        int code;
    } cases[] = {
        {[] { std::vector<int>().reserve(std::vector<int>().max_size() + 1); },
         OZU_EXIT_MEMORY_ERROR},
        {[] { std::u16string().reserve(std::u16string().max_size() + 1); }, OZU_EXIT_MEMORY_ERROR},
        {[] { g_block = ::operator new(g_beyondAnyBlock); }, OZU_EXIT_MEMORY_ERROR},
        {[] { static_cast<void>(std::u16string(u"abc").substr(4)); }, OZU_EXIT_SEVERE_ERROR},
        {[] { static_cast<void>(std::vector<int>(2).at(2)); }, OZU_EXIT_SEVERE_ERROR},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(c.fail(), ::testing::ExitedWithCode(c.code), "");
}

TEST(LeanRuntime, NothrowNewAnswersNull) {
    g_block = new (std::nothrow) char[g_beyondAnyBlock];
    EXPECT_EQ(g_block, nullptr);
    char* small = new (std::nothrow) char[16];
    EXPECT_NE(small, nullptr);
    delete[] small;
}

} // namespace
} // namespace ozu
