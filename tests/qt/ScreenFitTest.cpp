// SPDX-License-Identifier: Apache-2.0
// The main window on whatever screen it gets: never larger than the room there,
// shrunk as one piece down to where its captions still fit, then scrolling above
// a bottom row that stays in view; and option buttons that answer a click
// anywhere in their rectangle. screen/run.sh runs these on real X screens of
// several sizes and scales, with real clicks; offscreen they meet a large screen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFont>
#include <QGroupBox>
#include <QPixmap>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "asymmetric/frmKeyForm.h"
#include "qt/LayoutChecks.h"
#include "qt/QtTestSupport.h"
#include "support/MockEngine.h"
#include "ui/qt/Geometry.h"
#include "ui/qt/Look.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

using ::testing::NiceMock;

TEST(FitToRoom, ShrinksAsOnePieceDownToTheCaptionsAndNoFurther) {
    const int width = 6600, height = 8235;  // 440 x 549 pixels at 96 dpi
    ui::qt::Look look;
    look.layoutScale = 1.0;
    look.minimumScale = 0.8;
    EXPECT_EQ(ui::qt::fitToRoom(look, width, height, QSize(440, 549), 1.0, 1), 1.0);
    EXPECT_EQ(ui::qt::fitToRoom(look, width, height, QSize(), 1.0, 1), 1.0);
    // The tighter side decides; edges on whole device pixels may take a percent more.
    EXPECT_EQ(ui::qt::fitToRoom(look, width, height, QSize(1000, 480), 1.0, 1), 0.87);
    for (int step : {1, 2, 4}) {
        const double factor = ui::qt::fitToRoom(look, width, height, QSize(500, 600), 1.25, step);
        EXPECT_NEAR(factor, 0.87, 0.015) << step;
        EXPECT_LE(ui::qt::Geometry(1.25 * factor, step).size(width, height).height(), 600) << step;
        EXPECT_GT(ui::qt::Geometry(1.25 * (factor + 0.01), step).size(width, height).height(), 600) << step;
    }
    EXPECT_EQ(ui::qt::fitToRoom(look, width, height, QSize(300, 300), 1.0, 1), 0.8);
    look.layoutScale = look.minimumScale = 1.6;  // a large font: no room to give
    EXPECT_EQ(ui::qt::fitToRoom(look, width, height, QSize(600, 600), 1.0, 1), 1.6);
}

QFont themeFont(double points) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    return font;
}

bool onX() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// A click as the user makes it: on an X display a real one through the server.
void click(QWidget* w, const QPoint& local) {
    if (!onX()) {
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, local);
        return;
    }
    const QPoint global = w->mapToGlobal(local);
    const double ratio = w->devicePixelRatioF();
    auto device = [ratio](int logical) { return QString::number(std::lround((logical + 0.5) * ratio - 0.5)); };
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                                           device(global.x()), device(global.y()),
                                                           QStringLiteral("click"), QStringLiteral("1")}),
              0);
}

class ScreenFit : public ::testing::Test {
protected:
    ScreenFit() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
    }
    ~ScreenFit() override { QApplication::setFont(m_font); }

    // The window for the application's font as it is now, loaded and on screen.
    void open() {
        window.reset();
        windowing = std::make_unique<ui::qt::QtWindowing>(frmMainLayout());
        window = std::make_unique<frmMain>(*windowing, [this] { return root; });
        window->Form_Load();
        windowing->showMain();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form().window()));
        // The focus follows only in the active window; no window manager hands it over.
        QApplication::setActiveWindow(top());
        ASSERT_TRUE(QTest::qWaitForWindowActive(top()));
    }
    ui::qt::QtForm& form() { return windowing->mainForm(); }
    QWidget* top() { return form().window(); }
    void pickTab(int index) {
        qobject_cast<QTabWidget*>(form().widget("TabStrip1"))->setCurrentIndex(index);
        QApplication::processEvents();
    }

    // Brings w into view as the user would: the focus for a control that takes it, the
    // scroll bars for the rest (from the far end, where scrolling is needed at all).
    void reach(QWidget* w) {
        QScrollArea* area = form().scroller();
        if (area && area->widget()->isAncestorOf(w)) {
            const QPoint centre = w->mapTo(area->widget(), w->rect().center());
            area->verticalScrollBar()->setValue(2 * centre.y() < area->widget()->height() ? area->verticalScrollBar()->maximum() : 0);
            area->horizontalScrollBar()->setValue(2 * centre.x() < area->widget()->width() ? area->horizontalScrollBar()->maximum() : 0);
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
                w->setFocus(Qt::TabFocusReason);
            } else {
                const int margin = form().geometry().pixels(120);
                area->ensureVisible(centre.x(), centre.y(), w->width() / 2 + margin, w->height() / 2 + margin);
            }
        } else if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
        }
        QApplication::processEvents();
    }

    // What of w the user sees: inside the window, the scrolled part's view and the screen.
    QRect seen(QWidget* w) {
        QRect view(top()->mapToGlobal(QPoint(0, 0)), top()->size());
        if (QScrollArea* area = form().scroller(); area && area->isAncestorOf(w))
            view &= QRect(area->viewport()->mapToGlobal(QPoint(0, 0)), area->viewport()->size());
        return view & top()->screen()->availableGeometry() & QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    }

    void saveScreen(const QString& name) {
        const QByteArray folder = qgetenv("QUORVAL_SCREEN_SHOTS");
        if (folder.isEmpty() || !onX()) return;
        QDir().mkpath(QString::fromLocal8Bit(folder));
        QTest::qWait(20);  // every repaint on the server
        const QString file = QDir(QString::fromLocal8Bit(folder)).filePath(name);
        EXPECT_TRUE(top()->screen()->grabWindow(0).save(file)) << file.toStdString();
    }

    std::shared_ptr<NiceMock<fake::MockEngineRoot>> root = std::make_shared<NiceMock<fake::MockEngineRoot>>();
    std::unique_ptr<ui::qt::QtWindowing> windowing;
    std::unique_ptr<frmMain> window;

private:
    const QFont m_font = QApplication::font();
};

TEST_F(ScreenFit, TheWindowStaysWithinTheScreenWithEveryControlWithinReachUnderNineAndTwelvePoints) {
    const char* const bottomRow[] = {"cmdAbort", "cmdOk", "cmdCancel", "cmdHelp"};
    for (double points : {9.0, 12.0}) {
        SCOPED_TRACE(std::to_string(points) + " pt");
        QApplication::setFont(themeFont(points));
        open();
        const QRect screen = top()->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(top()->frameGeometry()));
        EXPECT_EQ(top()->minimumSize(), top()->maximumSize());
        // Shrunk only where the table's size would not fit, and never below the captions' size.
        const QSize whole = form().geometry().size(frmMainLayout().clientWidth, frmMainLayout().clientHeight);
        const double factor = form().geometry().scale() / ui::qt::Geometry::screenScale();
        EXPECT_GE(factor, windowing->look().minimumScale - 1e-9);
        EXPECT_EQ(form().scroller() != nullptr, whole.width() > top()->width() || whole.height() > top()->height());
        const double ratio = top()->devicePixelRatioF();
        std::printf("screen %dx%d at %.2f, %.0f pt: window %dx%d device pixels, layout factor %.2f of %.2f, %s\n",
                    int(std::lround(screen.width() * ratio)), int(std::lround(screen.height() * ratio)), ratio, points,
                    int(std::lround(top()->width() * ratio)), int(std::lround(top()->height() * ratio)), factor,
                    windowing->look().layoutScale, form().scroller() ? "scrolls" : "whole");

        for (int tab = 0; tab < 4; ++tab) {
            SCOPED_TRACE("tab " + std::to_string(tab + 1));
            pickTab(tab);
            qttest::expectEverythingFits(form());
            for (const char* name : bottomRow) {
                QWidget* button = form().widget(name);
                EXPECT_EQ(seen(button).size(), button->size()) << name;
            }
            for (const ui::ControlLayout& c : frmMainLayout().controls) {
                QWidget* w = form().widget(c.name, c.index);
                if (!w->isVisible()) continue;
                reach(w);
                // Whole, or of a frame larger than the view as much as the view holds but its margins.
                QSize view = form().scroller() ? form().scroller()->viewport()->size() : top()->size();
                view -= QSize(2, 2) * form().geometry().pixels(120);
                const QRect part = seen(w);
                EXPECT_GE(part.width(), std::min(w->width(), view.width())) << c.name << "(" << c.index << ")";
                EXPECT_GE(part.height(), std::min(w->height(), view.height())) << c.name << "(" << c.index << ")";
            }
            const QString name = QStringLiteral("%1pt-tab%2").arg(points).arg(tab + 1);
            if (QScrollArea* area = form().scroller()) {
                area->verticalScrollBar()->setValue(0);
                area->horizontalScrollBar()->setValue(0);
                saveScreen(name + QStringLiteral("-top.png"));
                area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
                area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
                saveScreen(name + QStringLiteral("-end.png"));
            } else {
                saveScreen(name + QStringLiteral(".png"));
            }
        }
    }
    // A smaller font while it scrolls: the table's own window again wherever it fits.
    QFont compact(QStringLiteral("Liberation Sans"));
    compact.setPointSizeF(8);
    QApplication::setFont(compact);
    const QSize whole = form().geometry().size(frmMainLayout().clientWidth, frmMainLayout().clientHeight);
    const QSize room = top()->screen()->availableGeometry().size();
    if (whole.width() <= room.width() && whole.height() <= room.height()) {
        EXPECT_EQ(form().scroller(), nullptr);
        EXPECT_EQ(top()->size(), whole);
        for (const ui::ControlLayout& c : frmMainLayout().controls) {
            if (c.container.empty()) {
                EXPECT_EQ(form().widget(c.name, c.index)->parentWidget(), top()) << c.name;
            }
        }
        EXPECT_TRUE(form().widget("frTxtED")->isVisible());
        EXPECT_FALSE(form().widget("frTxtHash")->isVisible());
    }
}

// Near the right edge of each option button, where its caption has long ended.
void clickEveryOptionNearItsRightEdge(ui::qt::QtForm& form, const std::function<void(QWidget*)>& reach) {
    for (const ui::ControlLayout& c : form.layout().controls) {
        if (c.kind != ui::ControlKind::Option) continue;
        auto* option = qobject_cast<QRadioButton*>(form.widget(c.name, c.index));
        if (!option->isVisible()) continue;
        if (!c.enabled) continue;  // greyed by the table itself
        // Greyed by the logic until there are keys: the button's own answer is the matter here.
        for (QWidget* up = option->parentWidget(); up && up != form.window(); up = up->parentWidget())
            if (qobject_cast<QGroupBox*>(up) && !up->isEnabled()) form.frame(up->objectName().toStdString()).setEnabled(true);
        form.option(c.name, c.index).setEnabled(true);
        SCOPED_TRACE(c.name + "(" + std::to_string(c.index) + ")");
        for (QAbstractButton* other : option->group()->buttons())
            if (other != option) other->setChecked(true);
        ASSERT_FALSE(option->isChecked());
        reach(option);
        const QPoint point(option->width() - 3, option->height() / 2);
        QStyleOptionButton style;
        style.initFrom(option);
        style.text = option->text();
        ASSERT_FALSE(option->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &style, option).contains(point))
            << "the caption reaches the right edge";
        click(option, point);
        EXPECT_TRUE(qttest::waitUntil([option] { return option->isChecked(); }, 5000));
    }
}

TEST_F(ScreenFit, OptionButtonsAnswerAClickAnywhereInTheirRectangle) {
    open();
    for (int tab = 0; tab < 4; ++tab) {
        pickTab(tab);
        clickEveryOptionNearItsRightEdge(form(), [this](QWidget* w) { reach(w); });
    }
    std::unique_ptr<ui::Form> dialog = windowing->createForm(frmKeyLayout());
    auto& key = dynamic_cast<ui::qt::QtForm&>(*dialog);
    key.window()->show();
    key.window()->raise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(key.window()));
    clickEveryOptionNearItsRightEdge(key, [](QWidget*) { QApplication::processEvents(); });
    key.window()->hide();
}

}  // namespace
