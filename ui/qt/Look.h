#pragma once
// The application-wide look: the Fusion style with compact tabs, a window
// font under which every caption of the main window fits its rectangle, and
// the layout factor used when no readable font fits.

#include <QColor>
#include <QFont>
#include <vector>

#include "ui/Controls.h"
#include "ui/FormLayout.h"

namespace ui::qt {

struct Look {
    QFont font;
    double layoutScale = 1.0;  // 1.0 when the font fits the table's rectangles
};

// Installs the style and its palette (once per application), then picks and
// installs the font for this window. Needs a QApplication.
Look installLook(const ui::FormLayout& mainLayout);

// The first installed candidate under which every caption fits; when none
// fits, the first installed one with the layout factor that makes room.
Look chooseLook(const ui::FormLayout& layout, const std::vector<QFont>& candidates);

// How much wider the widest caption needs its rectangle to be with this font
// (at the screen's scale): 1.0 or less when every caption fits.
double captionOverflow(const ui::FormLayout& layout, const QFont& font);

QColor systemColor(ui::SysColor color);

}  // namespace ui::qt
