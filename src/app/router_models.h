// The router models the program knows, by their RouterModel number 0 to 3, as
// the settings dialog lists them after its "automatic" entry (-1).
#pragma once

#include <array>

namespace app {

inline constexpr int kAutomaticRouterModel = -1;
inline constexpr std::array<const char*, 4> kRouterModelNames = {
    "MT128-NET", "MN128-SOHO", "MN128-SOHO-SL10", "MN128-SOHO-SL11"};

}  // namespace app
