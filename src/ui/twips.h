#pragma once

#include <QRect>

namespace brevion {

// 1440 twips = 1 inch = 96 device-independent pixels, so 15 twips per pixel.
constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return (twips + (twips >= 0 ? 7 : -7)) / kTwipsPerPixel; }
constexpr int PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

} // namespace brevion
