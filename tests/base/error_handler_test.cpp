#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/growable_array.h"

namespace ozu {
namespace {

class ErrorHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { TheErrorHandler().Clear(); }
    void TearDown() override { TheErrorHandler().Clear(); }

    int After(int first, int second) {
        ErrorHandler handler;
        handler.SetErrorCode(first);
        handler.SetErrorCode(second);
        EXPECT_EQ(handler.ErrorCount(), 2u);
        return handler.ErrorCode();
    }
};

TEST_F(ErrorHandlerTest, PrecedenceRules) {
    EXPECT_EQ(After(6, 1), 6);
    EXPECT_EQ(After(0, 1), 1);
    EXPECT_EQ(After(1, 2), 2);
    EXPECT_EQ(After(6, 2), 6);
    EXPECT_EQ(After(11, 3), 11);
    EXPECT_EQ(After(12, 3), 3);
    EXPECT_EQ(After(12, 8), 8);
    EXPECT_EQ(After(8, 12), 12);
    EXPECT_EQ(After(2, 255), 2);
    EXPECT_EQ(After(0, 255), 255);
    EXPECT_EQ(After(255, 6), 6);
}

TEST_F(ErrorHandlerTest, MessagesReachTheSinkWithTheirParameters) {
    ErrorHandler& handler = TheErrorHandler();
    std::vector<std::pair<int, std::u16string>> seen;
    handler.SetMessageSink([&](int code, const std::u16string* params, size_t count) {
        seen.emplace_back(code, count ? params[0] : u"-");
    });
    handler.GeneralMessage(u"Maximum allowed array size (%u) is exceeded", 10u);
    handler.CloseErrorReport(u"a.ini");
    handler.SeekErrorReport(u"b.ini");
    EXPECT_TRUE(handler.ReadErrorQuery(u"c.ini"));
    EXPECT_FALSE(handler.WriteErrorQuery(u"d.ini"));
    handler.MemoryErrorReport();

    using Seen = std::vector<std::pair<int, std::u16string>>;
    EXPECT_EQ(seen, (Seen{{1, u"Maximum allowed array size (10) is exceeded"},
                          {10, u"a.ini"},
                          {11, u"b.ini"},
                          {7, u"-"}}));
    // close 2, read 12, memory 8.
    EXPECT_EQ(handler.ErrorCode(), 8);
    EXPECT_EQ(handler.ErrorCount(), 3u);
}

TEST_F(ErrorHandlerTest, WithoutASinkMessagesAreDiscarded) {
    ErrorHandler& handler = TheErrorHandler();
    handler.GeneralMessage(u"%s %s %d", u"only one");
    handler.CloseErrorReport(u"x");
    EXPECT_EQ(handler.ErrorCode(), 2);
}

// A fatal error ends the process where it happens, with its code and after
// its messages. Each case runs in a child process; the sink writes the
// messages to its error stream for the parent to read.
void EndsWithCode(void (*fatal)(), int code, const char* messages) {
    EXPECT_EXIT(
        {
            TheErrorHandler().SetMessageSink([](int id, const std::u16string* params, size_t n) {
                std::string text;
                for (size_t i = 0; i < n; ++i) {
                    text.append(params[i].begin(), params[i].end());
                }
                std::fprintf(stderr, "[%d %s]", id, text.c_str());
            });
            fatal();
        },
        ::testing::ExitedWithCode(code), messages);
}

TEST(ErrorHandlerDeathTest, FatalErrorsEndTheProcessWithTheirCode) {
    EndsWithCode([] { TheErrorHandler().Exit(12); }, 12, "^$");
    EndsWithCode([] { TheErrorHandler().MemoryError(); }, 8, "^\\[7 \\]$");
    // Growth beyond an array's maximum, past 32-bit counts, and (in a 32-bit
    // process) past the address space is the fatal memory error.
    EndsWithCode(
        [] {
            GrowableArray<uint8_t> limited(0, 3);
            limited.Add(4);
        },
        8, "^\\[1 Maximum allowed array size \\(3\\) is exceeded\\]\\[7 \\]$");
    EndsWithCode(
        [] {
            GrowableArray<uint8_t> a;
            a.Add(10);
            a.Add(UINT32_MAX);
        },
        8, "\\[7 \\]$");
    if constexpr (SIZE_MAX <= UINT32_MAX) {
        EndsWithCode(
            [] {
                GrowableArray<uint64_t> a;
                a.Add(UINT32_MAX);
            },
            8, "\\[7 \\]$");
    }
}

} // namespace
} // namespace ozu
