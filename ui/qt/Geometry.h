// SPDX-License-Identifier: Apache-2.0
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
    // step = the pixels every edge is a multiple of (see deviceStep).
    explicit Geometry(double scale = 1.0, int step = 1) : m_scale(scale), m_step(step > 0 ? step : 1) {}

    // The primary screen's logical dpi over 96.
    static double screenScale();
    // The fewest logical pixels that span a whole number of device pixels on the
    // primary screen: 2 at a device pixel ratio of 1.5. A widget whose edges lie
    // between device pixels loses its border lines when Qt clips it.
    static int deviceStep();
    static int stepFor(double devicePixelRatio);

    double scale() const { return m_scale; }
    int step() const { return m_step; }
    int pixels(int twips) const;
    // Edges are rounded, not sizes, so that controls that touch in twips touch in pixels.
    QRect rect(const ui::Rect& twips) const;
    QSize size(int widthTwips, int heightTwips) const;

    bool operator==(const Geometry& other) const { return m_scale == other.m_scale && m_step == other.m_step; }
    bool operator!=(const Geometry& other) const { return !(*this == other); }

private:
    double m_scale;
    int m_step;
};

}  // namespace ui::qt
