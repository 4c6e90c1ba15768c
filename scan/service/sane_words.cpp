#include "scan/service/sane_words.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ornavex {

double numberOfSaneWord(SANE_Word word, SaneOptionType type) {
    return type == SaneOptionType::Fixed ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word saneWordOf(double value, SaneOptionType type) {
    const bool fixed = type == SaneOptionType::Fixed;
    const double scaled =
        fixed ? std::trunc(value * (1 << SANE_FIXED_SCALE_SHIFT)) : std::round(value);
    if (std::isnan(scaled)) return 0;
    constexpr double lowest = std::numeric_limits<SANE_Word>::min();
    constexpr double highest = std::numeric_limits<SANE_Word>::max();
    return static_cast<SANE_Word>(std::clamp(scaled, lowest, highest));
}

}  // namespace ornavex
