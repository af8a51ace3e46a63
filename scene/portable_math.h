// Cube root, sine and cosine from additions, multiplications, divisions and
// square roots alone. Those are exactly rounded on every IEEE platform, while the
// C libraries' cbrt, pow, sin and cos differ in the last bit between glibc,
// mingw-w64 and Windows; the scene must give the same drops and streaks for the
// same seed on every build.
#pragma once

// Within an ulp or so of the true cube root; 0 for 0, negative for negative x.
double PortableCbrt(double x);

// For |x| <= 1 (the rain's slant stays within ±0.3 rad): within an ulp or so.
double PortableSin(double x);
double PortableCos(double x);
