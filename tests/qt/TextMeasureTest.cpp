// Measuring the pane font and the controls' frames.
#include "QtTestSupport.h"
#include "ui/qt/QtTextMeasure.h"

namespace {

TEST(TextMeasure, FixedPitchTextIsAsWideAsItsCharactersTogether) {
    TestApplication();
    auto measure = CreateQtTextMeasure();
    const Size one = measure->MeasureText("Courier New", 10, "_");
    const Size hundred = measure->MeasureText("Courier New", 10, std::string(100, '_'));
    ASSERT_GT(one.width, 0);
    EXPECT_GT(one.height, 0);
    EXPECT_NEAR(hundred.width, 100 * one.width, 100);
    EXPECT_EQ(hundred.height, one.height);
    EXPECT_EQ(measure->MeasureText("Courier New", 0, "abc"), (Size{}));
}

TEST(TextMeasure, FrameWidthIsWhatAControlAddsToItsTextWidth) {
    TestApplication();
    auto measure = CreateQtTextMeasure();
    const std::int32_t output = measure->ControlFrameWidth(true);
    const std::int32_t input = measure->ControlFrameWidth(false);
    EXPECT_GT(output, 0);
    EXPECT_GT(input, 0);
    // The output pane always shows its scroll bar; the input line has none while it is short.
    EXPECT_GT(output, input);
}

}  // namespace
