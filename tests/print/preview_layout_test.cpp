#include "print/preview_layout.h"

#include <gtest/gtest.h>

namespace ornavex {
namespace {

struct LayoutRow {
    const char* name;
    double w;
    double h;
    int horizontalMaximum;
    bool horizontalBarShown;
    double verticalBarHeight;
    int verticalMaximum;
    float pageLeft;
};

void PrintTo(const LayoutRow& row, std::ostream* out) {
    *out << row.name;
}

class PreviewLayoutRows : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(PreviewLayoutRows, PlacesBarsCornerAndPage) {
    const LayoutRow& row = GetParam();
    const PreviewGeometry g = layOutPreview(row.w, row.h, false, 0, PreviewGeometry{});

    EXPECT_EQ(g.horizontalMaximum, row.horizontalMaximum);
    EXPECT_EQ(g.horizontalBarVisible, row.horizontalBarShown);
    EXPECT_EQ(g.cornerVisible, row.horizontalBarShown);
    EXPECT_DOUBLE_EQ(g.verticalBarHeight, row.verticalBarHeight);
    EXPECT_EQ(g.verticalMaximum, row.verticalMaximum);
    EXPECT_FLOAT_EQ(g.pageLeft, row.pageLeft);

    EXPECT_DOUBLE_EQ(g.horizontalBarTop, row.h - 655.0);
    EXPECT_DOUBLE_EQ(g.horizontalBarWidth, row.w - 380.0);
    EXPECT_DOUBLE_EQ(g.verticalBarLeft, row.w - 375.0);
    EXPECT_DOUBLE_EQ(g.cornerLeft, row.w - 375.0);
    EXPECT_DOUBLE_EQ(g.cornerTop, row.h - 655.0);
    EXPECT_DOUBLE_EQ(g.pageWidth, 12400.0);
    EXPECT_DOUBLE_EQ(g.pageHeight, 18000.0);
    EXPECT_DOUBLE_EQ(g.imageWidth, 12400.0);
    EXPECT_DOUBLE_EQ(g.imageHeight, 18000.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PreviewLayoutRows,
    ::testing::Values(LayoutRow{"OpeningWidth", 12400, 10000, -400, false, 9600, 143, -127.5f},
                      LayoutRow{"NarrowAndTall", 11000, 9000, 1000, true, 8335, 129, -827.5f},
                      LayoutRow{"MaximumOf90Hides", 11910, 9000, 90, false, 8600, 129, -372.5f},
                      LayoutRow{"MaximumOf91Shows", 11909, 9000, 91, true, 8335, 129, -373.0f},
                      // Halves round to the even neighbour.
                      LayoutRow{"VerticalHalfDown", 12400, 8155, -400, false, 7755, 116, -127.5f},
                      LayoutRow{"VerticalHalfUp", 12400, 8225, -400, false, 7825, 118, -127.5f},
                      LayoutRow{"HorizontalHalfDown", 11999.5, 9000, 0, false, 8600, 129, -327.75f},
                      LayoutRow{"HorizontalHalfUp", 11998.5, 9000, 2, false, 8600, 129, -328.25f},
                      LayoutRow{"WideWindow", 20000, 15000, -8000, false, 14600, 214, 3672.5f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PreviewLayout, VerticalMaximumStaysWhileScrolled) {
    PreviewGeometry current = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    ASSERT_EQ(current.verticalMaximum, 129);
    const PreviewGeometry scrolled = layOutPreview(11000, 20000, false, 5, current);
    EXPECT_EQ(scrolled.verticalMaximum, 129);
    EXPECT_DOUBLE_EQ(scrolled.verticalBarHeight, 20000 - 665.0);
    const PreviewGeometry back = layOutPreview(11000, 20000, false, 0, scrolled);
    EXPECT_EQ(back.verticalMaximum, 286);
}

TEST(PreviewLayout, MinimisedFormIsNotLaidOut) {
    const PreviewGeometry before = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    PreviewGeometry moved = before;
    moved.pageTop = -500.0f;
    EXPECT_EQ(layOutPreview(3000, 2000, true, 0, moved), moved);
    EXPECT_EQ(layOutPreview(3000, 2000, true, 0, PreviewGeometry{}), PreviewGeometry{});
}

TEST(PreviewLayout, LeavesThePageTopToTheVerticalBar) {
    PreviewGeometry scrolled;
    scrolled.pageTop = -1234.0f;
    EXPECT_FLOAT_EQ(layOutPreview(12400, 9000, false, 3, scrolled).pageTop, -1234.0f);
}

TEST(PreviewLayout, SizesAControlCannotTakeKeepTheirPreviousValue) {
    const PreviewGeometry normal = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    const PreviewGeometry tiny = layOutPreview(200, 300, false, 0, normal);
    EXPECT_DOUBLE_EQ(tiny.horizontalBarWidth, normal.horizontalBarWidth);  // 200 - 380 < 0
    EXPECT_DOUBLE_EQ(tiny.verticalBarHeight, normal.verticalBarHeight);    // 300 - 665 < 0
    // The positions still follow the new size.
    EXPECT_DOUBLE_EQ(tiny.verticalBarLeft, 200 - 375.0);
    EXPECT_DOUBLE_EQ(tiny.horizontalBarTop, 300 - 655.0);
    EXPECT_EQ(tiny.horizontalMaximum, 11800);
}

TEST(PreviewLayout, HorizontalMaximumOutsideTheBarsRangeIsKept) {
    const PreviewGeometry normal = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    const PreviewGeometry huge = layOutPreview(50000, 9000, false, 0, normal);
    EXPECT_EQ(huge.horizontalMaximum, 1000);
    EXPECT_TRUE(huge.horizontalBarVisible);
    EXPECT_FLOAT_EQ(huge.pageLeft, (50000 - 255 - 12400) / 2.0f);
}

struct ScrollRow {
    const char* name;
    double h;
    int value;
    float offset;
};

void PrintTo(const ScrollRow& row, std::ostream* out) {
    *out << row.name;
}

class VerticalScrollRows : public ::testing::TestWithParam<ScrollRow> {};

TEST_P(VerticalScrollRows, MovesThePageUp) {
    const ScrollRow& row = GetParam();
    EXPECT_FLOAT_EQ(verticalScrollTop(row.h, row.value), row.offset);
}

INSTANTIATE_TEST_SUITE_P(Rows, VerticalScrollRows,
                         ::testing::Values(ScrollRow{"Tall", 9000, 10, -500.0f},
                                           ScrollRow{"Exactly8000", 8000, 10, -1000.0f},
                                           ScrollRow{"JustAbove8000", 8001, 10, -500.0f},
                                           ScrollRow{"Low", 3000, 7, -700.0f},
                                           ScrollRow{"Top", 9000, 0, 0.0f},
                                           ScrollRow{"LargestValue", 9000, 32767, -1638350.0f},
                                           ScrollRow{"NoOverflow", 2000, 2147483647,
                                                     static_cast<float>(-214748364700.0)}),
                         [](const auto& info) { return std::string(info.param.name); });

class HorizontalScrollRows : public ::testing::TestWithParam<ScrollRow> {};

TEST_P(HorizontalScrollRows, MovesThePageLeft) {
    const ScrollRow& row = GetParam();
    EXPECT_FLOAT_EQ(horizontalScrollLeft(row.h, row.value), row.offset);
}

INSTANTIATE_TEST_SUITE_P(Rows, HorizontalScrollRows,
                         ::testing::Values(ScrollRow{"Tall", 9000, 100, -160.0f},
                                           ScrollRow{"Exactly3000", 3000, 100, -120.0f},
                                           ScrollRow{"JustAbove3000", 3001, 100, -160.0f},
                                           ScrollRow{"Fraction", 9000, 3, -4.8f},
                                           ScrollRow{"FractionLow", 1000, 3, -3.6f},
                                           ScrollRow{"NoOverflow", 9000, 2147483647,
                                                     static_cast<float>(-3435973835.2)}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ornavex
