// Trigonometry and powers for drawing, computed with IEEE arithmetic only,
// so that every build (glibc, msvcrt; x87 is not used) gives the same
// pixels. The C library's sin, cos, pow and exp differ in their last bits
// between systems; these do not, being plain polynomials and products.
#pragma once

namespace gui {

constexpr double kPi = 3.14159265358979323846;

// sin(x) for any x: reduced to [−π/2, π/2] and a degree-15 odd polynomial
// (Taylor terms), accurate to about 1e-11.
constexpr double exactSin(double x) {
    // Reduce to [−π, π).
    const double twoPi = 2.0 * kPi;
    double k = x / twoPi;
    long long n = static_cast<long long>(k >= 0 ? k + 0.5 : k - 0.5);
    x -= static_cast<double>(n) * twoPi;
    // Fold to [−π/2, π/2] with sin(π − x) = sin(x).
    if (x > kPi / 2) x = kPi - x;
    if (x < -kPi / 2) x = -kPi - x;
    const double x2 = x * x;
    return x * (1.0 - x2 / 6.0 * (1.0 - x2 / 20.0 * (1.0 - x2 / 42.0 * (1.0 - x2 / 72.0 * (1.0 - x2 / 110.0 *
                (1.0 - x2 / 156.0 * (1.0 - x2 / 210.0)))))));
}

constexpr double exactCos(double x) { return exactSin(x + kPi / 2); }

// base^n for a whole n >= 0, by squaring.
constexpr double powInt(double base, unsigned n) {
    double result = 1.0;
    while (n != 0) {
        if (n & 1u) result *= base;
        base *= base;
        n >>= 1;
    }
    return result;
}

// A smooth 0…1 step between edge0 and edge1 (cubic Hermite).
constexpr double smoothStep(double edge0, double edge1, double x) {
    double t = (x - edge0) / (edge1 - edge0);
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace gui
