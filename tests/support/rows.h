#pragma once

// Parameterised rows are named after their name field, so the test's own name
// says which row failed.

#include <string>

namespace ornavex::test {

inline constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace ornavex::test
