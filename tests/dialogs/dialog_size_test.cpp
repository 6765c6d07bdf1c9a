#include <gtest/gtest.h>

#include "dialogs/dialog_size.h"
#include "dialogs/help.h"

namespace ozu {
namespace {

TEST(SizeEntry, ReadsWidthAndHeightInPercent) {
    auto size = ParseSizeEntry(u"120*110");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 120);
    EXPECT_EQ(size->height, 110);
    size = ParseSizeEntry(u" 90 *\t100 ");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 90);
    EXPECT_EQ(size->height, 100);
}

TEST(SizeEntry, RefusesWhatIsNotTwoPositivePercentages) {
    for (const char16_t* text : {u"", u"120", u"120*", u"*110", u"120x110", u"120*110*100",
                                 u"0*110", u"120*0", u"-120*110", u"120*110%", u"1e2*100",
                                 u"100*100", u"1001*100", u"99999999999999999999*100"}) {
        EXPECT_FALSE(ParseSizeEntry(text))
            << std::string(text, text + std::char_traits<char16_t>::length(text));
    }
    EXPECT_TRUE(ParseSizeEntry(u"1000*1"));
}

TEST(SizeScaling, ControlsGrowInPositionAndExtent) {
    EXPECT_EQ(ScaleControlBox(Box{10, 20, 100, 14}, SizePercent{150, 200}), (Box{15, 40, 150, 28}));
    // Rounded to the nearest pixel rather than cut, so neighbours stay aligned.
    EXPECT_EQ(ScaleLength(13, 110), 14);
    EXPECT_EQ(ScaleLength(-13, 110), -14);
    EXPECT_EQ(ScaleLength(0, 1000), 0);
}

TEST(SizeScaling, CentredDialogKeepsItsCentreAndFrame) {
    // A 400 x 300 window with a 394 x 270 client area (frame 6 x 30) at 100,100.
    Box window{100, 100, 400, 300};
    Box scaled = ScaleDialogBox(window, 394, 270, SizePercent{150, 120}, true);
    EXPECT_EQ(scaled.width, 6 + 591);
    EXPECT_EQ(scaled.height, 30 + 324);
    // Whole pixels: each centre is cut to a pixel, hence the one of tolerance.
    const int oldCentreX = window.left + window.width / 2;
    const int oldCentreY = window.top + window.height / 2;
    const int newCentreX = scaled.left + scaled.width / 2;
    const int newCentreY = scaled.top + scaled.height / 2;
    EXPECT_NEAR(newCentreX, oldCentreX, 1);
    EXPECT_NEAR(newCentreY, oldCentreY, 1);
}

TEST(SizeScaling, OtherDialogsKeepTheirCorner) {
    Box scaled = ScaleDialogBox(Box{100, 80, 400, 300}, 394, 270, SizePercent{50, 50}, false);
    EXPECT_EQ(scaled.left, 100);
    EXPECT_EQ(scaled.top, 80);
    EXPECT_EQ(scaled.width, 6 + 197);
    EXPECT_EQ(scaled.height, 30 + 135);
}

TEST(HelpTopic, NamesTheTopicPageInsideTheHelpFile) {
    EXPECT_EQ(HelpTopicPath(u"C:\\Mivora\\mivora.chm", u"HELPContextItems"),
              u"C:\\Mivora\\mivora.chm::/html/HELPContextItems.htm");
    EXPECT_EQ(HelpTopicPath(u"C:\\Mivora\\mivora.chm", u""), u"C:\\Mivora\\mivora.chm");
}

} // namespace
} // namespace ozu
