// The picture behind the pane: a flat dark ground, a noisy horizon band and a
// noisy sky gradient, generated once per run from the scene's random source.
#pragma once

constexpr int kBackgroundSize = 512;
constexpr int kBackgroundFloats = kBackgroundSize * kBackgroundSize * 3;

// The first rows of the horizon band and of the sky.
constexpr int kBandFirstRow = 278;
constexpr int kSkyFirstRow = 346;

// Fills kBackgroundFloats floats: RGB texels, bottom row first, each row from
// left to right. Draws RandomUnit once per texel above the ground, walking the
// columns left to right and each column bottom up, so a seed fixes the picture.
void BuildBackground(float* texels);
