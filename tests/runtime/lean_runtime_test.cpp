// The program's replacements for the runtime's exception raisers: running out
// of memory stays std::bad_alloc; programming faults become the severe-error
// exit exception instead of std::logic_error and its kin.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "base/error_handler.h"

namespace ozu {
namespace {

TEST(LeanRuntime, SizesBeyondWhatCanBeAllocatedAreMemoryErrors) {
    std::vector<int> numbers;
    EXPECT_THROW(numbers.reserve(numbers.max_size() + 1), std::bad_alloc);
    std::u16string text;
    EXPECT_THROW(text.reserve(text.max_size() + 1), std::bad_alloc);
}

TEST(LeanRuntime, ProgrammingFaultsEndWithTheSevereErrorCode) {
    const std::u16string text = u"abc";
    try {
        static_cast<void>(text.substr(4));
        ADD_FAILURE() << "substr beyond the end did not throw";
    } catch (const OZU_EXIT& exit) {
        EXPECT_EQ(exit.code, OZU_EXIT_SEVERE_ERROR);
    }
    const std::vector<int> numbers(2);
    EXPECT_THROW(static_cast<void>(numbers.at(2)), OZU_EXIT);
    // A guard that catches everything still catches them.
    bool caught = false;
    try {
        static_cast<void>(text.at(3));
    } catch (...) {
        caught = true;
    }
    EXPECT_TRUE(caught);
}

} // namespace
} // namespace ozu
