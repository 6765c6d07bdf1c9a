#include "base/error_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST_F(ErrorHandlerTest, ExitRecordsAndRaises) {
    ErrorHandler& handler = TheErrorHandler();
    try {
        handler.Exit(12);
        FAIL();
    } catch (const OZU_EXIT& e) {
        EXPECT_EQ(e.code, 12);
    }
    EXPECT_EQ(handler.ErrorCode(), 12);
    EXPECT_EQ(handler.ErrorCount(), 1u);
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
    EXPECT_THROW(handler.MemoryError(), OZU_EXIT);

    using Seen = std::vector<std::pair<int, std::u16string>>;
    EXPECT_EQ(seen, (Seen{{1, u"Maximum allowed array size (10) is exceeded"},
                          {10, u"a.ini"},
                          {11, u"b.ini"},
                          {7, u"-"},
                          {7, u"-"}}));
    // close 2, read 12, memory 8 twice (report, then error and exit).
    EXPECT_EQ(handler.ErrorCode(), 8);
    EXPECT_EQ(handler.ErrorCount(), 5u);
}

TEST_F(ErrorHandlerTest, WithoutASinkMessagesAreDiscarded) {
    ErrorHandler& handler = TheErrorHandler();
    handler.GeneralMessage(u"%s %s %d", u"only one");
    handler.CloseErrorReport(u"x");
    EXPECT_EQ(handler.ErrorCode(), 2);
}

} // namespace
} // namespace ozu
