// The weights of a band's four-frame form (equaliser_lanes.h).
#include "track/equaliser_lanes.h"

EqBlockColumns eqBlockColumns(const EqBandState& band) {
    // Each column is the recursion run in double from one unit input, the
    // others zero; the coefficients are the float ones the per-frame form
    // uses, so both forms are the same filter.
    const double b0 = band.b0, b1 = band.b1, b2 = band.b2, a1 = band.a1, a2 = band.a2;
    EqBlockColumns out;
    for (int j = 0; j < 8; ++j) {
        double u[4] = {};
        if (j < 4) u[j] = 1.0;
        double x1 = j == 4 ? 1.0 : 0.0, x2 = j == 5 ? 1.0 : 0.0;
        double y1 = j == 6 ? 1.0 : 0.0, y2 = j == 7 ? 1.0 : 0.0;
        for (int i = 0; i < 4; ++i) {
            const double y = b0 * u[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = u[i], y2 = y1, y1 = y;
            out.c[j][i] = out.c[j][i + 4] = static_cast<float>(y);
        }
    }
    // At 0 dB the shelves' and the peak's numerators come out equal to their
    // denominators to the bit (A = 1 exactly), so this holds there and only
    // where the band's response is 1 at every frequency.
    out.identity = band.b0 == 1.0f && band.b1 == band.a1 && band.b2 == band.a2;
    return out;
}
