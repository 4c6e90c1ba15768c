#include "print/preview_layout.h"

#include <gtest/gtest.h>

#include <QPointF>

#include "tests/support/rows.h"

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

    EXPECT_EQ(QPointF(g.verticalBarLeft, g.horizontalBarTop), QPointF(row.w - 375, row.h - 655));
    EXPECT_EQ(QPointF(g.cornerLeft, g.cornerTop), QPointF(row.w - 375, row.h - 655));
    EXPECT_DOUBLE_EQ(g.horizontalBarWidth, row.w - 380.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PreviewLayoutRows,
    ::testing::Values(LayoutRow{"MaximumOf90Hides", 11910, 9000, 90, false, 8600, 129, -372.5f},
                      LayoutRow{"MaximumOf91Shows", 11909, 9000, 91, true, 8335, 129, -373.0f},
                      // Halves round to the even neighbour, both maxima alike.
                      LayoutRow{"HorizontalHalfDown", 11999.5, 9000, 0, false, 8600, 129, -327.75f},
                      LayoutRow{"HorizontalHalfUp", 11998.5, 9000, 2, false, 8600, 129, -328.25f}),
    test::byName);

TEST(PreviewLayout, VerticalMaximumAndPageTopStayWhileScrolled) {
    PreviewGeometry current = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    ASSERT_EQ(current.verticalMaximum, 129);
    current.pageTop = -1234.0f;
    const PreviewGeometry scrolled = layOutPreview(11000, 20000, false, 5, current);
    EXPECT_EQ(scrolled.verticalMaximum, 129);
    EXPECT_FLOAT_EQ(scrolled.pageTop, -1234.0f);
    EXPECT_EQ(layOutPreview(11000, 20000, false, 0, scrolled).verticalMaximum, 286);
}

TEST(PreviewLayout, MinimisedFormIsNotLaidOut) {
    PreviewGeometry moved = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    moved.pageTop = -500.0f;
    EXPECT_EQ(layOutPreview(3000, 2000, true, 0, moved), moved);
}

// Negative sizes and maxima beyond a scroll bar's range keep the previous value.
TEST(PreviewLayout, ValuesAControlCannotTakeAreKept) {
    const PreviewGeometry normal = layOutPreview(11000, 9000, false, 0, PreviewGeometry{});
    const PreviewGeometry tiny = layOutPreview(200, 300, false, 0, normal);
    EXPECT_DOUBLE_EQ(tiny.horizontalBarWidth, normal.horizontalBarWidth);
    EXPECT_DOUBLE_EQ(tiny.verticalBarHeight, normal.verticalBarHeight);
    EXPECT_EQ(tiny.horizontalMaximum, 11800);

    const PreviewGeometry huge = layOutPreview(50000, 9000, false, 0, normal);
    EXPECT_EQ(huge.horizontalMaximum, 1000);
    EXPECT_TRUE(huge.horizontalBarVisible);
}

// The factor changes above 8000 twips up and 3000 across; values up to INT_MAX must not overflow.
TEST(PreviewLayout, ScrollValuesMoveThePage) {
    EXPECT_FLOAT_EQ(verticalScrollTop(8000, 10), -1000.0f);
    EXPECT_FLOAT_EQ(verticalScrollTop(8001, 10), -500.0f);
    EXPECT_FLOAT_EQ(verticalScrollTop(2000, 2147483647), -214748364700.0f);
    EXPECT_FLOAT_EQ(horizontalScrollLeft(3000, 100), -120.0f);
    EXPECT_FLOAT_EQ(horizontalScrollLeft(3001, 3), -4.8f);  // a fraction, not integer steps
}

}  // namespace
}  // namespace ornavex
