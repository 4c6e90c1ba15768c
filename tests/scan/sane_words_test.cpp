#include "scan/service/sane_words.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ornavex {
namespace {

TEST(SaneWordTest, IsTheNearestWordWithinTheWordsRange) {
    constexpr SANE_Word kMost = std::numeric_limits<SANE_Word>::max();
    const std::tuple<double, SaneOptionType, SANE_Word> cases[] = {
        {1.5, SaneOptionType::Fixed, 98304},
        {32767.5, SaneOptionType::Fixed, SANE_FIX(32767.5)},  // just below the edge
        {32768, SaneOptionType::Fixed, kMost},
        {-40000, SaneOptionType::Fixed, std::numeric_limits<SANE_Word>::min()},
        {std::nan(""), SaneOptionType::Fixed, 0},
        {3.6, SaneOptionType::Int, 4},
        {1e12, SaneOptionType::Int, kMost}};
    for (const auto& [value, type, word] : cases) EXPECT_EQ(saneWordOf(value, type), word) << value;
}

}  // namespace
}  // namespace ornavex
