// Exponential, logarithm, power, sine and cosine that give the same bits on
// every platform and compiler: the engine's sound must not depend on which C
// library (glibc, msvcrt, mingw) a build links, and the C libraries round
// the last bit of these functions differently. Only IEEE basic operations
// (+, -, *, /, conversions, bit moves) are used, with round to nearest and
// no contraction into fused multiply-adds (none of our targets turns that on).
// Parameter displays, which only make text, keep the C library and its exact
// cases such as pow(1600, 0.5) = 40.
//
// Accuracy, measured against glibc over the ranges the engine uses
// (tests/common/portable_math_test.cpp):
//   exp, exp2, log, log2, sin, cos   within 2 units in the last place (ulp);
//   pow(b, x)                        relative error below 4e-15 while
//                                    |x log b| <= 16, growing with |x log b|;
//   float overloads                  computed in double and rounded once, so
//                                    at most 1 float ulp from the C library.
// sin and cos reduce their argument with a three-part pi/2 and keep that
// accuracy for |x| < 1e6; beyond it they stay deterministic but lose digits.
#pragma once

#include <bit>
#include <cstdint>

namespace portable {
namespace detail {

// 2^(j/64), j = 0..63, correctly rounded.
inline constexpr double kExp2Table[64] = {
    0x1.0000000000000p+0, 0x1.02c9a3e778061p+0, 0x1.059b0d3158574p+0, 0x1.0874518759bc8p+0,
    0x1.0b5586cf9890fp+0, 0x1.0e3ec32d3d1a2p+0, 0x1.11301d0125b51p+0, 0x1.1429aaea92de0p+0,
    0x1.172b83c7d517bp+0, 0x1.1a35beb6fcb75p+0, 0x1.1d4873168b9aap+0, 0x1.2063b88628cd6p+0,
    0x1.2387a6e756238p+0, 0x1.26b4565e27cddp+0, 0x1.29e9df51fdee1p+0, 0x1.2d285a6e4030bp+0,
    0x1.306fe0a31b715p+0, 0x1.33c08b26416ffp+0, 0x1.371a7373aa9cbp+0, 0x1.3a7db34e59ff7p+0,
    0x1.3dea64c123422p+0, 0x1.4160a21f72e2ap+0, 0x1.44e086061892dp+0, 0x1.486a2b5c13cd0p+0,
    0x1.4bfdad5362a27p+0, 0x1.4f9b2769d2ca7p+0, 0x1.5342b569d4f82p+0, 0x1.56f4736b527dap+0,
    0x1.5ab07dd485429p+0, 0x1.5e76f15ad2148p+0, 0x1.6247eb03a5585p+0, 0x1.6623882552225p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6dfb23c651a2fp+0, 0x1.71f75e8ec5f74p+0, 0x1.75feb564267c9p+0,
    0x1.7a11473eb0187p+0, 0x1.7e2f336cf4e62p+0, 0x1.82589994cce13p+0, 0x1.868d99b4492edp+0,
    0x1.8ace5422aa0dbp+0, 0x1.8f1ae99157736p+0, 0x1.93737b0cdc5e5p+0, 0x1.97d829fde4e50p+0,
    0x1.9c49182a3f090p+0, 0x1.a0c667b5de565p+0, 0x1.a5503b23e255dp+0, 0x1.a9e6b5579fdbfp+0,
    0x1.ae89f995ad3adp+0, 0x1.b33a2b84f15fbp+0, 0x1.b7f76f2fb5e47p+0, 0x1.bcc1e904bc1d2p+0,
    0x1.c199bdd85529cp+0, 0x1.c67f12e57d14bp+0, 0x1.cb720dcef9069p+0, 0x1.d072d4a07897cp+0,
    0x1.d5818dcfba487p+0, 0x1.da9e603db3285p+0, 0x1.dfc97337b9b5fp+0, 0x1.e502ee78b3ff6p+0,
    0x1.ea4afa2a490dap+0, 0x1.efa1bee615a27p+0, 0x1.f50765b6e4540p+0, 0x1.fa7c1819e90d8p+0,
};

inline constexpr double kLn2 = 0x1.62e42fefa39efp-1;
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
// ln 2 in two parts; the first has 33 significant bits, so its products
// with integers below 2^20 are exact.
inline constexpr double kLn2High = 0x1.62e42fee00000p-1;
inline constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
// ln 2 / 64 the same way, and its inverse.
inline constexpr double kLn2By64High = 0x1.62e42fee00000p-7;
inline constexpr double kLn2By64Low = 0x1.a39ef35793c76p-39;
inline constexpr double k64ByLn2 = 0x1.71547652b82fep+6;
inline constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;
// pi/2 in three parts of 33 bits (the last one rounded), and 2/pi.
inline constexpr double kHalfPi1 = 0x1.921fb54400000p+0;
inline constexpr double kHalfPi2 = 0x1.0b4611a600000p-34;
inline constexpr double kHalfPi3 = 0x1.3198a2e037073p-69;
inline constexpr double kTwoByPi = 0x1.45f306dc9c883p-1;

inline constexpr double kInfinity = std::bit_cast<double>(uint64_t{0x7ff0000000000000});
inline constexpr double kNaN = std::bit_cast<double>(uint64_t{0x7ff8000000000000});

inline bool isNaN(double x) { return x != x; }
inline double absolute(double x) { return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & ~(uint64_t{1} << 63)); }

// Nearest integer of |t| < 2^62, halves away from zero.
inline int64_t nearest(double t) { return static_cast<int64_t>(t < 0.0 ? t - 0.5 : t + 0.5); }

// 2^k for -1022 <= k <= 1023.
inline double twoTo(int64_t k) { return std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52); }

// m * 2^k for m in [1, 2) and any k: one rounding only, also where the
// result is subnormal, overflows or underflows.
inline double scaled(double m, int64_t k) {
    if (k > 1023) return k > 2000 ? kInfinity : (m * twoTo(k - 100)) * 0x1p100;
    if (k < -1022) return k < -2000 ? 0.0 : (m * twoTo(k + 100)) * 0x1p-100;
    return m * twoTo(k);
}

// e^r - 1 for |r| <= ln2/128 (about 0.0054); the first neglected term is
// below 1e-19 relative.
inline double expMinusOneSmall(double r) {
    return r + r * r * (1.0 / 2 + r * (1.0 / 6 + r * (1.0 / 24 + r * (1.0 / 120 + r * (1.0 / 720)))));
}

// 2^(n/64) e^r for an integer n and a small r.
inline double exp2Combine(int64_t n, double r) {
    const int64_t j = n & 63;
    const double t = kExp2Table[j];
    return scaled(t + t * expMinusOneSmall(r), (n - j) / 64);
}

// log(1 + f) for f in [sqrt(1/2) - 1, sqrt(2) - 1], through
// 2 atanh(s), s = f / (2 + f).
inline double logOnePlus(double f) {
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double r =
        z * (2.0 / 3 +
             z * (2.0 / 5 +
                  z * (2.0 / 7 +
                       z * (2.0 / 9 +
                            z * (2.0 / 11 +
                                 z * (2.0 / 13 + z * (2.0 / 15 + z * (2.0 / 17 + z * (2.0 / 19 + z * (2.0 / 21))))))))));
    const double halfSquare = 0.5 * f * f;
    return f - (halfSquare - s * (halfSquare + r));
}

// Splits a positive finite x into 2^e (1 + f), f in [sqrt(1/2) - 1, sqrt(2) - 1].
inline void splitLog(double x, int64_t& e, double& f) {
    uint64_t bits = std::bit_cast<uint64_t>(x);
    e = static_cast<int64_t>(bits >> 52) - 1023;
    if (e == -1023) {  // subnormal
        bits = std::bit_cast<uint64_t>(x * 0x1p54);
        e = static_cast<int64_t>(bits >> 52) - 1023 - 54;
    }
    double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
    if (m > kSqrt2) {
        m *= 0.5;
        ++e;
    }
    f = m - 1.0;
}

// sin r and cos r for |r| <= pi/4 (a little more is fine).
inline double sinKernel(double r) {
    const double z = r * r;
    return r + r * z *
                   (-1.0 / 6 +
                    z * (1.0 / 120 +
                         z * (-1.0 / 5040 +
                              z * (1.0 / 362880 +
                                   z * (-1.0 / 39916800 +
                                        z * (1.0 / 6227020800 + z * (-1.0 / 1307674368000 + z * (1.0 / 355687428096000))))))));
}
inline double cosKernel(double r) {
    const double z = r * r;
    const double tail =
        z * z *
        (1.0 / 24 +
         z * (-1.0 / 720 +
              z * (1.0 / 40320 +
                   z * (-1.0 / 3628800 +
                        z * (1.0 / 479001600 + z * (-1.0 / 87178291200 + z * (1.0 / 20922789888000 + z * (-1.0 / 6402373705728000))))))));
    const double half = 0.5 * z;
    const double w = 1.0 - half;
    // The rounding error of 1 - z/2 is added back.
    return w + (((1.0 - w) - half) + tail);
}

// x - n pi/2 with n the nearest integer of x 2/pi; the quadrant is n mod 4.
inline double reduceHalfPi(double x, int& quadrant) {
    const int64_t n = nearest(x * kTwoByPi);
    const double nd = static_cast<double>(n);
    quadrant = static_cast<int>(n & 3);
    return ((x - nd * kHalfPi1) - nd * kHalfPi2) - nd * kHalfPi3;
}

}  // namespace detail

// e^x.
inline double exp(double x) {
    if (detail::isNaN(x)) return x;
    if (x > 709.8) return detail::kInfinity;
    if (x < -745.2) return 0.0;
    const int64_t n = detail::nearest(x * detail::k64ByLn2);
    const double nd = static_cast<double>(n);
    const double r = (x - nd * detail::kLn2By64High) - nd * detail::kLn2By64Low;
    return detail::exp2Combine(n, r);
}

// 2^x.
inline double exp2(double x) {
    if (detail::isNaN(x)) return x;
    if (x >= 1024.0) return detail::kInfinity;
    if (x < -1075.0) return 0.0;
    const int64_t n = detail::nearest(x * 64.0);
    const double r = (x - static_cast<double>(n) * (1.0 / 64)) * detail::kLn2;
    return detail::exp2Combine(n, r);
}

// Natural logarithm: NaN below 0, -infinity at 0.
inline double log(double x) {
    if (detail::isNaN(x) || x < 0.0) return detail::kNaN;
    if (x == 0.0) return -detail::kInfinity;
    if (x == detail::kInfinity) return x;
    int64_t e;
    double f;
    detail::splitLog(x, e, f);
    const double ed = static_cast<double>(e);
    return ed * detail::kLn2High + (detail::logOnePlus(f) + ed * detail::kLn2Low);
}

// Base-2 logarithm.
inline double log2(double x) {
    if (detail::isNaN(x) || x < 0.0) return detail::kNaN;
    if (x == 0.0) return -detail::kInfinity;
    if (x == detail::kInfinity) return x;
    int64_t e;
    double f;
    detail::splitLog(x, e, f);
    return static_cast<double>(e) + detail::logOnePlus(f) * detail::kInvLn2;
}

// b^x as e^(x log b); negative bases take whole exponents only (NaN else).
inline double pow(double b, double x) {
    if (x == 0.0 || b == 1.0) return 1.0;
    if (x == 1.0) return b;
    if (detail::isNaN(b) || detail::isNaN(x)) return detail::kNaN;
    if (b == 0.0) return x > 0.0 ? 0.0 : detail::kInfinity;
    if (b < 0.0) {
        if (detail::absolute(x) >= 0x1p53) return exp(x * log(-b));  // even
        const int64_t whole = static_cast<int64_t>(x);
        if (static_cast<double>(whole) != x) return detail::kNaN;
        const double magnitude = exp(x * log(-b));
        return (whole & 1) != 0 ? -magnitude : magnitude;
    }
    return exp(x * log(b));
}

// 10^k for a whole k: exact while 10^k is a double (|k| <= 22), otherwise
// within a few ulp.
inline double powerOfTen(int k) {
    double whole = 1.0;
    int n = k < 0 ? -k : k;
    for (; n >= 22; n -= 22) whole *= 1e22;
    double exact = 1.0;
    for (int i = 0; i < n; ++i) exact *= 10.0;  // exact: 5^21 < 2^53
    whole *= exact;
    return k < 0 ? 1.0 / whole : whole;
}

inline double sin(double x) {
    if (!(detail::absolute(x) < 0x1p50)) return detail::isNaN(x) || detail::absolute(x) == detail::kInfinity ? detail::kNaN : 0.0;
    int quadrant;
    const double r = detail::reduceHalfPi(x, quadrant);
    switch (quadrant) {
        case 0: return detail::sinKernel(r);
        case 1: return detail::cosKernel(r);
        case 2: return -detail::sinKernel(r);
        default: return -detail::cosKernel(r);
    }
}

inline double cos(double x) {
    if (!(detail::absolute(x) < 0x1p50)) return detail::isNaN(x) || detail::absolute(x) == detail::kInfinity ? detail::kNaN : 1.0;
    int quadrant;
    const double r = detail::reduceHalfPi(x, quadrant);
    switch (quadrant) {
        case 0: return detail::cosKernel(r);
        case 1: return -detail::sinKernel(r);
        case 2: return -detail::cosKernel(r);
        default: return detail::sinKernel(r);
    }
}

// Single precision: the double result rounded once.
inline float exp(float x) { return static_cast<float>(exp(static_cast<double>(x))); }
inline float exp2(float x) { return static_cast<float>(exp2(static_cast<double>(x))); }
inline float log(float x) { return static_cast<float>(log(static_cast<double>(x))); }
inline float log2(float x) { return static_cast<float>(log2(static_cast<double>(x))); }
inline float pow(float b, float x) { return static_cast<float>(pow(static_cast<double>(b), static_cast<double>(x))); }
inline float sin(float x) { return static_cast<float>(sin(static_cast<double>(x))); }
inline float cos(float x) { return static_cast<float>(cos(static_cast<double>(x))); }

}  // namespace portable
