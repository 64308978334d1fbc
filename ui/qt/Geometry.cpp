#include "ui/qt/Geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace ui::qt {

double Geometry::screenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1.0;
    const double dpi = screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

int Geometry::pixels(int twips) const { return static_cast<int>(std::lround(twips * m_scale / 15.0)); }

QRect Geometry::rect(const ui::Rect& r) const {
    const int left = pixels(r.left);
    const int top = pixels(r.top);
    return QRect(left, top, pixels(r.left + r.width) - left, pixels(r.top + r.height) - top);
}

QSize Geometry::size(int widthTwips, int heightTwips) const {
    return QSize(pixels(widthTwips), pixels(heightTwips));
}

}  // namespace ui::qt
