#include "ui/qt/Look.h"
#include "ui/qt/Text.h"

#include <QApplication>
#include <QFontInfo>
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
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/qt/Geometry.h"

namespace ui::qt {
namespace {

const char* const kStyleName = "QuorvalFusion";
const int kCaptionIndent = 6;
const int kCaptionPadding = 2;

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

struct FontChoice {
    const char* family;
    double points;
};

// Compact sans fonts of the Debian packages the build installs, most readable first.
const FontChoice kFonts[] = {{"Liberation Sans", 8}, {"DejaVu Sans", 7.5}, {"DejaVu Sans", 7}};

bool installed(const QFont& font) {
    return QFontInfo(font).family().compare(font.family(), Qt::CaseInsensitive) == 0;
}

int buttonPadding() { return 2 * QApplication::style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4; }

}  // namespace

double captionOverflow(const ui::FormLayout& layout, const QFont& font) {
    const Geometry geometry(Geometry::screenScale());
    const QFontMetrics metrics(font);
    double worst = 0;
    auto consider = [&worst](int needed, int available) {
        if (available > 0) worst = std::max(worst, static_cast<double>(needed) / available);
    };
    for (const ui::ControlLayout& c : layout.controls) {
        const int width = geometry.rect(c.rect).width();
        const QString caption = qtext(c.caption);
        switch (c.kind) {
            case ui::ControlKind::Label:
                if (!caption.isEmpty()) {
                    QLabel label(caption);
                    label.setFont(font);
                    consider(label.sizeHint().width(), width);
                }
                break;
            case ui::ControlKind::Option: {
                QRadioButton option(caption);
                option.setFont(font);
                consider(option.sizeHint().width(), width);
                break;
            }
            case ui::ControlKind::Button:
                consider(metrics.horizontalAdvance(caption) + buttonPadding(), width);
                break;
            case ui::ControlKind::Frame:
                if (!caption.isEmpty())
                    consider(2 * kCaptionIndent + 2 * kCaptionPadding + metrics.horizontalAdvance(caption),
                             width);
                break;
            case ui::ControlKind::TabStrip: {
                QTabBar tabs;
                tabs.setFont(font);
                for (const std::string& item : c.items) tabs.addTab(qtext(item));
                consider(tabs.sizeHint().width(), width - 2);
                break;
            }
            default:
                break;
        }
    }
    return worst;
}

Look chooseLook(const ui::FormLayout& layout, const std::vector<QFont>& candidates) {
    Look look;
    look.font = QApplication::font();
    bool found = false;
    for (const QFont& font : candidates) {
        if (!installed(font)) continue;
        if (captionOverflow(layout, font) <= 1.0) {
            look.font = font;
            return look;
        }
        if (!found) {
            look.font = font;  // the fallback: the most readable installed one
            found = true;
        }
    }
    // No readable font fits: grow the whole layout by one factor instead.
    look.layoutScale = std::max(1.0, std::ceil(captionOverflow(layout, look.font) * 20.0) / 20.0);
    return look;
}

Look installLook(const ui::FormLayout& mainLayout) {
    if (QApplication::style()->objectName() != QLatin1String(kStyleName)) {
        auto* style = new CompactStyle;
        QApplication::setStyle(style);
        QApplication::setPalette(style->standardPalette());
    }
    std::vector<QFont> candidates;
    for (const FontChoice& choice : kFonts) {
        QFont font(QString::fromLatin1(choice.family));
        font.setPointSizeF(choice.points);
        candidates.push_back(font);
    }
    const Look look = chooseLook(mainLayout, candidates);
    QApplication::setFont(look.font);
    return look;
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
