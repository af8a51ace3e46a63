#include "scene/portable_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Dekker's exact product: a × b = hi + lo, with no fused multiply-add needed.
void ExactProduct(double a, double b, double& hi, double& lo)
{
    constexpr double kSplitter = 134217729.0; // 2^27 + 1
    const double ca = kSplitter * a;
    const double aHi = ca - (ca - a);
    const double aLo = a - aHi;
    const double cb = kSplitter * b;
    const double bHi = cb - (cb - b);
    const double bLo = b - bHi;
    hi = a * b;
    lo = ((aHi * bHi - hi) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

} // namespace

double PortableCbrt(double x)
{
    if (x == 0.0 || !std::isfinite(x)) {
        return x;
    }
    if (x < 0.0) {
        return -PortableCbrt(-x);
    }
    // Kept away from the ends of the range, where the start below or the exact
    // product would fail; the scalings are by powers of two, hence exact.
    if (x < 0x1p-900) {
        return PortableCbrt(x * 0x1p300) * 0x1p-100;
    }
    if (x > 0x1p900) {
        return PortableCbrt(x * 0x1p-300) * 0x1p100;
    }
    // A third of the exponent from the bits, within about 6 %; Newton's steps
    // then double the correct digits each.
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    bits = bits / 3 + 0x2A9F7893782DA1CEull;
    double y = 0.0;
    std::memcpy(&y, &bits, sizeof y);
    for (int i = 0; i < 3; ++i) {
        y = y - (y * y * y - x) / (3.0 * y * y);
    }
    // One last step on an exact residual, which plain doubles would round away.
    double squareHi = 0.0;
    double squareLo = 0.0;
    ExactProduct(y, y, squareHi, squareLo);
    double cubeHi = 0.0;
    double cubeLo = 0.0;
    ExactProduct(y, squareHi, cubeHi, cubeLo);
    const double residual = (cubeHi - x) + (cubeLo + y * squareLo);
    return y - residual / (3.0 * squareHi);
}

namespace {

// Taylor terms up to x^23 (sine) and x^22 (cosine): below 1e-22 for |x| <= 1.
double SinPolynomial(double x2)
{
    double p = -1.0 / 25852016738884976640000.0; // -1/23!
    p = p * x2 + 1.0 / 51090942171709440000.0;   // 1/21!
    p = p * x2 - 1.0 / 121645100408832000.0;     // 1/19!
    p = p * x2 + 1.0 / 355687428096000.0;        // 1/17!
    p = p * x2 - 1.0 / 1307674368000.0;          // 1/15!
    p = p * x2 + 1.0 / 6227020800.0;             // 1/13!
    p = p * x2 - 1.0 / 39916800.0;               // 1/11!
    p = p * x2 + 1.0 / 362880.0;                 // 1/9!
    p = p * x2 - 1.0 / 5040.0;                   // 1/7!
    p = p * x2 + 1.0 / 120.0;                    // 1/5!
    p = p * x2 - 1.0 / 6.0;                      // 1/3!
    return p;
}

double CosPolynomial(double x2)
{
    double p = 1.0 / 1124000727777607680000.0; // 1/22!
    p = p * x2 - 1.0 / 2432902008176640000.0;  // 1/20!
    p = p * x2 + 1.0 / 6402373705728000.0;     // 1/18!
    p = p * x2 - 1.0 / 20922789888000.0;       // 1/16!
    p = p * x2 + 1.0 / 87178291200.0;          // 1/14!
    p = p * x2 - 1.0 / 479001600.0;            // 1/12!
    p = p * x2 + 1.0 / 3628800.0;              // 1/10!
    p = p * x2 - 1.0 / 40320.0;                // 1/8!
    p = p * x2 + 1.0 / 720.0;                  // 1/6!
    p = p * x2 - 1.0 / 24.0;                   // 1/4!
    p = p * x2 + 0.5;                          // 1/2!, sign taken below
    return p;
}

} // namespace

double PortableSin(double x)
{
    const double x2 = x * x;
    // The small correction is added last, so that sin x rounds close to x.
    return x + x * x2 * SinPolynomial(x2);
}

double PortableCos(double x)
{
    const double x2 = x * x;
    return 1.0 - x2 * CosPolynomial(x2);
}
