#include "render/background.h"

#include "scene/random.h"

void BuildBackground(float* texels)
{
    for (int column = 0; column < kBackgroundSize; ++column) {
        for (int row = 0; row < kBackgroundSize; ++row) {
            double r = 0.2;
            double g = 0.2;
            double b = 0.2;
            if (row >= kSkyFirstRow) {
                const double a = 20.0 * RandomUnit() + (row - kSkyFirstRow - 10);
                const double c = a * 0.00030120481927710846;
                r = 0.4 - c;
                g = 0.3 + c;
                b = 0.3 + a * 0.0009036144578313253;
            } else if (row >= kBandFirstRow) {
                const double a = 4.0 * RandomUnit() + (row - kBandFirstRow - 2);
                r = 0.2 + a * 0.0029411764705882353;
                g = 0.2 + a * 0.0014705882352941176;
                b = g;
            }
            float* texel = texels + 3 * (row * kBackgroundSize + column);
            texel[0] = static_cast<float>(r);
            texel[1] = static_cast<float>(g);
            texel[2] = static_cast<float>(b);
        }
    }
}
