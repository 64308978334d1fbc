#pragma once
// Twips to pixels, in one place: 15 twips are one pixel at 96 dpi; the
// screen's logical dpi and an optional layout factor scale the result.

#include <QRect>
#include <QSize>

#include "ui/FormLayout.h"

namespace ui::qt {

class Geometry {
public:
    // scale = pixels per 15 twips (1.0 at 96 dpi with no layout factor).
    explicit Geometry(double scale = 1.0) : m_scale(scale) {}

    // The primary screen's logical dpi over 96.
    static double screenScale();

    double scale() const { return m_scale; }
    int pixels(int twips) const;
    // Edges are rounded, not sizes, so that controls that touch in twips touch in pixels.
    QRect rect(const ui::Rect& twips) const;
    QSize size(int widthTwips, int heightTwips) const;

private:
    double m_scale;
};

}  // namespace ui::qt
