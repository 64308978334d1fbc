// SPDX-License-Identifier: Apache-2.0
#pragma once
// The application-wide look: the Fusion style with compact tabs, under the
// platform's own palette and font. Where a caption would not fit its
// rectangle in that font, the whole layout grows by one factor.

#include <QColor>
#include <QFont>
#include <QSize>
#include <thread>

#include "ui/Controls.h"
#include "ui/FormLayout.h"

namespace ui::qt {

struct Look {
    QFont font;
    double layoutScale = 1.0;  // 1.0 when the font fits the table's rectangles
    // The smallest factor at which every caption still fits: below 1.0 for a small font.
    double minimumScale = 1.0;
};

// Installs the style once per application (the palette stays the platform's),
// then fits the layout to the application's font. Needs a QApplication.
Look installLook(const ui::FormLayout& mainLayout);

// The layout factor under which every caption of the layout fits this font.
Look fitLook(const ui::FormLayout& layout, const QFont& font);

// The layout factor for a window of widthTwips x heightTwips given `room` logical
// pixels on its screen: the look's own where that fits, else the largest that fits,
// but never below the look's minimum (the window then scrolls).
double fitToRoom(const Look& look, int widthTwips, int heightTwips, const QSize& room, double screenScale, int step);

// How much larger the most crowded control needs its rectangle to be with this
// font (at the screen's scale): 1.0 or less when every caption fits.
double captionOverflow(const ui::FormLayout& layout, const QFont& font);

// Fontconfig reads its configuration and font caches (about 3 ms of CPU here)
// when the first font is needed, in the middle of building the window.
// Started before the QApplication, on a second thread, that work overlaps
// Qt's own start instead. Nothing happens where Qt does not use fontconfig.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp() { wait(); }
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    // Call before the first font is used, so that the work is not done twice.
    void wait() {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::thread m_thread;
};

// The platform's colours, read afresh from the application palette.
QColor systemColor(ui::SysColor color);

}  // namespace ui::qt
