#pragma once

#include <cfenv>
#include <cmath>

namespace pxt {

// Rounds to the nearest whole number, a half to the even neighbour (0.5 gives 0, 1.5 and 2.5 give 2).
inline double roundHalfEven(double value)
{
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(mode);
    return r;
}

} // namespace pxt
