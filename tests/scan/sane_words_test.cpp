#include "scan/service/sane_words.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/support/rows.h"

namespace ornavex {
namespace {

constexpr SANE_Word kMost = std::numeric_limits<SANE_Word>::max();
constexpr SANE_Word kLeast = std::numeric_limits<SANE_Word>::min();

struct WordCase {
    const char* name;
    double value;
    SaneOptionType type;
    SANE_Word word;
};

class SaneWordTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(SaneWordTest, IsTheNearestWord) {
    EXPECT_EQ(saneWordOf(GetParam().value, GetParam().type), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SaneWordTest,
    ::testing::Values(WordCase{"FixedWithinRange", 1.5, SaneOptionType::Fixed, 98304},
                      WordCase{"FixedJustBelowTheEdge", 32767.5, SaneOptionType::Fixed,
                               SANE_FIX(32767.5)},
                      WordCase{"FixedAtTheEdge", 32768, SaneOptionType::Fixed, kMost},
                      WordCase{"FixedFarBelow", -40000, SaneOptionType::Fixed, kLeast},
                      WordCase{"FixedNotANumber", std::nan(""), SaneOptionType::Fixed, 0},
                      WordCase{"IntRounded", 3.6, SaneOptionType::Int, 4},
                      WordCase{"IntBeyond", 1e12, SaneOptionType::Int, kMost}),
    test::byName);

}  // namespace
}  // namespace ornavex
