// SPDX-License-Identifier: Apache-2.0
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

int Geometry::deviceStep() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return stepFor(screen ? screen->devicePixelRatio() : 1.0);
}

int Geometry::stepFor(double ratio) {
    // 1.25 and 1.75 need 4; ratios no small step makes whole are left as they are.
    for (int step = 1; step <= 4; ++step) {
        const double device = step * ratio;
        if (std::fabs(device - std::round(device)) < 1e-6) return step;
    }
    return 1;
}

int Geometry::pixels(int twips) const {
    return m_step * static_cast<int>(std::lround(twips * m_scale / (15.0 * m_step)));
}

QRect Geometry::rect(const ui::Rect& r) const {
    const int left = pixels(r.left);
    const int top = pixels(r.top);
    return QRect(left, top, pixels(r.left + r.width) - left, pixels(r.top + r.height) - top);
}

QSize Geometry::size(int widthTwips, int heightTwips) const {
    return QSize(pixels(widthTwips), pixels(heightTwips));
}

}  // namespace ui::qt
