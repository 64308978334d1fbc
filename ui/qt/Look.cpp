// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/Look.h"
#include "ui/qt/Text.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QRadioButton>
#include <QRegion>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <dlfcn.h>
#include <algorithm>
#include <cmath>
#include <system_error>

#include "ui/qt/Geometry.h"

namespace ui::qt {
namespace {

const char* const kStyleName = "QuorvalFusion";
const int kCaptionIndent = 6;
const int kCaptionPadding = 2;
// The strip's tabs start this far in from its edges.
const int kTabStripInset = 2;

// Fusion with narrower and lower tabs (the four captions must share 427
// pixels), and frames whose caption sits in the top line: the table places
// a frame's first controls where Fusion would draw its caption.
class CompactStyle : public QProxyStyle {
public:
    CompactStyle() : QProxyStyle(QStyleFactory::create("Fusion")) { setObjectName(kStyleName); }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control == CC_GroupBox) {
            if (const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option)) {
                const QFontMetrics& metrics = box->fontMetrics;
                switch (part) {
                    case SC_GroupBoxFrame:
                        return box->rect.adjusted(0, metrics.height() / 2, 0, 0);
                    case SC_GroupBoxLabel:
                        if (box->text.isEmpty()) return QRect();
                        return QRect(box->rect.left() + kCaptionIndent, box->rect.top(),
                                     metrics.horizontalAdvance(box->text) + 2 * kCaptionPadding,
                                     metrics.height());
                    case SC_GroupBoxContents:
                        return box->rect.adjusted(2, metrics.height(), -2, -2);
                    default:
                        break;
                }
            }
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget).adjusted(0, 0, -1, -1);
        const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
        const QColor window = box->palette.color(QPalette::Window);
        painter->save();
        if (!label.isEmpty()) painter->setClipRegion(QRegion(box->rect).subtracted(QRegion(label)));
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(window.darker(140));
        painter->setBrush(window.darker(103));
        painter->drawRect(frame);
        painter->setPen(window.lighter(108));
        painter->drawLine(frame.left() + 1, frame.top() + 1, frame.right() - 1, frame.top() + 1);
        painter->restore();
        if (!label.isEmpty())
            drawItemText(painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, box->palette,
                         box->state & State_Enabled, box->text, QPalette::WindowText);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        switch (metric) {
            case PM_TabBarTabHSpace:
                return 10;
            case PM_TabBarTabVSpace:
                return 8;
            default:
                return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

int frameWidth() { return QApplication::style()->pixelMetric(QStyle::PM_DefaultFrameWidth); }

int buttonPadding() { return 2 * frameWidth() + 4; }

// The room above the first control that lies over the strip's page: the tabs must fit in it.
int roomForTabs(const ui::FormLayout& layout, const ui::ControlLayout& strip) {
    int room = strip.rect.height;
    for (const ui::ControlLayout& c : layout.controls) {
        if (&c == &strip || c.container != strip.container) continue;
        const ui::Rect& r = c.rect;
        const bool onPage = r.left >= strip.rect.left && r.top > strip.rect.top &&
                            r.left + r.width <= strip.rect.left + strip.rect.width &&
                            r.top + r.height <= strip.rect.top + strip.rect.height;
        if (onPage) room = std::min(room, r.top - strip.rect.top);
    }
    return room;
}

}  // namespace

double captionOverflow(const ui::FormLayout& layout, const QFont& font) {
    const Geometry geometry(Geometry::screenScale());
    const QFontMetrics metrics(font);
    double worst = 0;
    auto consider = [&worst](int needed, int available) {
        if (available > 0) worst = std::max(worst, static_cast<double>(needed) / available);
    };
    // One widget of each kind measures every caption of its kind: making a
    // widget costs more than its measuring (this runs before the first paint).
    QLabel label;
    QRadioButton option;
    QComboBox list;
    list.setSizeAdjustPolicy(QComboBox::AdjustToContents);  // else it keeps the first list's size
    for (QWidget* measuring : {static_cast<QWidget*>(&label), static_cast<QWidget*>(&option),
                               static_cast<QWidget*>(&list)})
        measuring->setFont(font);
    // A box shows one line of text between its frame lines.
    const int boxHeight = metrics.height() + 2 * frameWidth() + 2;
    for (const ui::ControlLayout& c : layout.controls) {
        const QRect rect = geometry.rect(c.rect);
        const QString caption = qtext(c.caption);
        switch (c.kind) {
            case ui::ControlKind::Label:
                if (!caption.isEmpty()) {
                    label.setText(caption);
                    consider(label.sizeHint().width(), rect.width());
                    consider(metrics.height(), rect.height());
                }
                break;
            case ui::ControlKind::Option:
                option.setText(caption);
                consider(option.sizeHint().width(), rect.width());
                consider(metrics.height(), rect.height());
                break;
            case ui::ControlKind::Button:
                consider(metrics.horizontalAdvance(caption) + buttonPadding(), rect.width());
                consider(metrics.height() + 2 * frameWidth(), rect.height());
                break;
            case ui::ControlKind::Frame:
                if (!caption.isEmpty())
                    consider(2 * kCaptionIndent + 2 * kCaptionPadding + metrics.horizontalAdvance(caption),
                             rect.width());
                break;
            case ui::ControlKind::ComboBox: {
                list.clear();
                for (const std::string& item : c.items) list.addItem(qtext(item));
                consider(list.sizeHint().width(), rect.width());
                consider(boxHeight, rect.height());
                break;
            }
            case ui::ControlKind::TextBox:
                if (c.style == ui::TextBoxStyle::SingleLine) consider(boxHeight, rect.height());
                break;
            case ui::ControlKind::TabStrip: {
                // Every tab on the strip, and the strip above the page's frames.
                QTabBar tabs;
                tabs.setFont(font);
                tabs.setUsesScrollButtons(false);
                tabs.setElideMode(Qt::ElideNone);
                for (const std::string& item : c.items) tabs.addTab(qtext(item));
                const QSize needed = tabs.sizeHint();
                consider(needed.width(), rect.width() - kTabStripInset);
                consider(needed.height(), geometry.pixels(roomForTabs(layout, c)));
                break;
            }
            default:
                break;
        }
    }
    return worst;
}

Look fitLook(const ui::FormLayout& layout, const QFont& font) {
    Look look;
    look.font = font;
    const double overflow = captionOverflow(layout, font);
    // Grown in steps of 5 %, so that a font of nearly the same size draws the same window.
    look.layoutScale = std::max(1.0, std::ceil(overflow * 20.0 - 1e-9) / 20.0);
    // Shrunk for a small screen in steps of 1 %; below half its size the window would be
    // more margin than text, and scrolling serves better.
    look.minimumScale = std::min(look.layoutScale, std::max(0.5, std::ceil(overflow * 100.0 - 1e-9) / 100.0));
    return look;
}

double fitToRoom(const Look& look, int widthTwips, int heightTwips, const QSize& room, double screenScale,
                 int step) {
    auto fits = [&](double factor) {
        const QSize size = Geometry(screenScale * factor, step).size(widthTwips, heightTwips);
        return size.width() <= room.width() && size.height() <= room.height();
    };
    if (!room.isValid() || fits(look.layoutScale)) return look.layoutScale;
    // In whole percents, from the largest the room allows down to the look's minimum.
    const int least = static_cast<int>(std::lround(look.minimumScale * 100));
    const double ratio = std::min(room.width() * 15.0 / (widthTwips * screenScale),
                                  room.height() * 15.0 / (heightTwips * screenScale));
    int percent = std::min(static_cast<int>(std::floor(ratio * 100)), static_cast<int>(std::lround(look.layoutScale * 100)));
    while (percent > least && !fits(percent / 100.0)) --percent;
    return std::max(percent, least) / 100.0;
}

Look installLook(const ui::FormLayout& mainLayout) {
    // Only the style: its standard palette would hide the desktop's, a dark theme for one.
    if (QApplication::style()->objectName() != QLatin1String(kStyleName)) QApplication::setStyle(new CompactStyle);
    return fitLook(mainLayout, QApplication::font());
}

FontWarmUp::FontWarmUp() {
    // Looked up, not linked: fontconfig is Qt's dependency, not ours.
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init) return;
    try {
        m_thread = std::thread(init);
    } catch (const std::system_error&) {
        // No second thread: Qt reads the fonts when it needs them, as ever.
    }
}

QColor systemColor(ui::SysColor color) {
    const QPalette palette = QApplication::palette();
    switch (color) {
        case ui::SysColor::InactiveBorder:
            return palette.color(QPalette::Inactive, QPalette::Window);
        case ui::SysColor::WindowBackground:
        default:
            return palette.color(QPalette::Active, QPalette::Base);
    }
}

}  // namespace ui::qt
