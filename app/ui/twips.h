// Window geometry is designed in twips (1/1440 inch) and shown through the screen's resolution.
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <cmath>

namespace ui::twips {

inline double perPixelX() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? 1440.0 / screen->logicalDotsPerInchX() : 15.0;
}
inline double perPixelY() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? 1440.0 / screen->logicalDotsPerInchY() : 15.0;
}

inline int toPixelsX(int twips) { return int(std::lround(twips / perPixelX())); }
inline int toPixelsY(int twips) { return int(std::lround(twips / perPixelY())); }
inline int fromPixelsX(int pixels) { return int(std::lround(pixels * perPixelX())); }
inline int fromPixelsY(int pixels) { return int(std::lround(pixels * perPixelY())); }

// A control's place given as left, top, width and height in twips.
inline QRect toPixels(int left, int top, int width, int height) {
    return {toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height)};
}

} // namespace ui::twips
