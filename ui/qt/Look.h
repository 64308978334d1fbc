#pragma once
// The application-wide look: the Fusion style with compact tabs, under the
// platform's own palette and font. Where a caption would not fit its
// rectangle in that font, the whole layout grows by one factor.

#include <QColor>
#include <QFont>

#include "ui/Controls.h"
#include "ui/FormLayout.h"

namespace ui::qt {

struct Look {
    QFont font;
    double layoutScale = 1.0;  // 1.0 when the font fits the table's rectangles
};

// Installs the style once per application (the palette stays the platform's),
// then fits the layout to the application's font. Needs a QApplication.
Look installLook(const ui::FormLayout& mainLayout);

// The layout factor under which every caption of the layout fits this font.
Look fitLook(const ui::FormLayout& layout, const QFont& font);

// How much larger the most crowded control needs its rectangle to be with this
// font (at the screen's scale): 1.0 or less when every caption fits.
double captionOverflow(const ui::FormLayout& layout, const QFont& font);

// The platform's colours, read afresh from the application palette.
QColor systemColor(ui::SysColor color);

}  // namespace ui::qt
