// SPDX-License-Identifier: Apache-2.0
// The desktop's theme: its palette, its fonts from 9 to 12 points, a change
// of either while the window is open, and scaled screens.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <cmath>
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

QFont themeFont(const char* family, double points) {
    QFont font{QString::fromLatin1(family)};
    font.setPointSizeF(points);
    return font;
}

// Each test leaves the application's font and palette as it found them.
class Theme : public ::testing::Test {
protected:
    ~Theme() override {
        QApplication::setFont(m_font);
        QApplication::setPalette(m_palette);
    }

private:
    const QFont m_font = QApplication::font();
    const QPalette m_palette = QApplication::palette();
};

TEST_F(Theme, EveryCaptionIsWholeAndEveryTabOnTheStripUnderFontsFromNineToTwelvePoints) {
    for (const char* family : {"DejaVu Sans", "Liberation Sans"}) {
        for (double points : {9.0, 10.0, 11.0, 12.0}) {
            SCOPED_TRACE(std::string(family) + " " + std::to_string(points));
            QApplication::setFont(themeFont(family, points));
            ui::qt::QtWindowing windowing{frmMainLayout()};
            EXPECT_EQ(windowing.mainForm().window()->font().pointSizeF(), points);
            qttest::expectEverythingFits(windowing.mainForm());
            std::unique_ptr<ui::Form> dialog = windowing.createForm(frmKeyLayout());
            qttest::expectEverythingFits(dynamic_cast<ui::qt::QtForm&>(*dialog));
        }
    }
}

TEST_F(Theme, AFontChangeWhileTheWindowIsOpenRegrowsTheLayoutAsOnePiece) {
    // Theme tools hand the font over once the program runs.
    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::unique_ptr<ui::Form> dialog = windowing.createForm(frmKeyLayout());
    windowing.showMain();
    const QSize before = form.window()->size();
    const QRect tabsBefore = form.widget("TabStrip1")->geometry();

    QApplication::setFont(themeFont("DejaVu Sans", 12));
    EXPECT_GT(windowing.look().layoutScale, 1.0);
    EXPECT_GT(form.window()->width(), before.width());
    const QRect tabs = form.widget("TabStrip1")->geometry();
    EXPECT_NEAR(static_cast<double>(tabs.width()) / tabsBefore.width(), windowing.look().layoutScale, 0.02);
    qttest::expectEverythingFits(form);
    qttest::expectEverythingFits(dynamic_cast<ui::qt::QtForm&>(*dialog));

    QApplication::setFont(themeFont("Liberation Sans", 8));
    EXPECT_EQ(form.window()->size(), before);
}

TEST_F(Theme, ADarkPaletteGivesADarkWindowWithTheBoxesInItsColours) {
    const QPalette dark = qttest::darkPalette();
    QApplication::setPalette(dark);
    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), dark.color(QPalette::Window));
    EXPECT_LT(form.window()->palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(form.window()->palette().color(QPalette::WindowText).lightness(), 180);
    // The grey of read-only boxes and the window-background colour are the theme's.
    EXPECT_EQ(ui::qt::systemColor(ui::SysColor::InactiveBorder), dark.color(QPalette::Inactive, QPalette::Window));
    EXPECT_EQ(ui::qt::systemColor(ui::SysColor::WindowBackground), dark.color(QPalette::Active, QPalette::Base));
    EXPECT_EQ(form.widget("txtRes")->palette().color(QPalette::Base), dark.color(QPalette::Inactive, QPalette::Window));
    EXPECT_EQ(form.widget("txtCont")->palette().color(QPalette::Base), dark.color(QPalette::Base));
}

TEST_F(Theme, APaletteChangeWhileTheWindowIsOpenRecoloursTheBoxes) {
    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    form.textBox("txtResAsym").setBackColor(ui::SysColor::InactiveBorder);
    windowing.showMain();

    const QPalette dark = qttest::darkPalette();
    QApplication::setPalette(dark);
    const QColor grey = dark.color(QPalette::Inactive, QPalette::Window);
    for (const char* name : {"txtRes", "txtSymComp", "txtAsymComp", "txtResAsym"})
        EXPECT_EQ(form.widget(name)->palette().color(QPalette::Base), grey) << name;
    EXPECT_EQ(form.widget("txtCont")->palette().color(QPalette::Base), dark.color(QPalette::Base));
    EXPECT_EQ(form.textBox("txtResAsym").backColor(), ui::SysColor::InactiveBorder);
}

TEST(Geometry, EdgesLieOnWholeDevicePixels) {
    EXPECT_EQ(ui::qt::Geometry::stepFor(1.0), 1);
    EXPECT_EQ(ui::qt::Geometry::stepFor(2.0), 1);
    EXPECT_EQ(ui::qt::Geometry::stepFor(1.5), 2);
    EXPECT_EQ(ui::qt::Geometry::stepFor(1.25), 4);
    EXPECT_EQ(ui::qt::Geometry::stepFor(1.1), 1);  // no small step helps: left alone
    const ui::qt::Geometry geometry(1.2, 2);
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        const QRect r = geometry.rect(c.rect);
        EXPECT_EQ(r.left() % 2, 0) << c.name;
        EXPECT_EQ((r.right() + 1) % 2, 0) << c.name;
        EXPECT_EQ(r.top() % 2, 0) << c.name;
        EXPECT_EQ((r.bottom() + 1) % 2, 0) << c.name;
        EXPECT_LE(std::abs(r.left() - c.rect.left * 1.2 / 15), 1.0) << c.name;
    }
}

// Run at every scale by the suite's scaled runs (QT_SCALE_FACTOR 1.5 and 2).
class DrawnWhole : public ::testing::Test {
protected:
    DrawnWhole() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [this] { return root; });
        window->Form_Load();
        windowing.showMain();
    }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::shared_ptr<NiceMock<fake::MockEngineRoot>> root = std::make_shared<NiceMock<fake::MockEngineRoot>>();
    std::unique_ptr<frmMain> window;
};

TEST_F(DrawnWhole, EveryFrameAndBoxShowsItsFourEdges) {
    QWidget* top = form.window();
    auto* tabs = qobject_cast<QTabWidget*>(form.widget("TabStrip1"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        const QImage picture = top->grab().toImage();
        const double ratio = picture.devicePixelRatio();
        const auto gray = [&picture](int x, int y) { return qGray(picture.pixel(x, y)); };
        // A border line, somewhere in the widget's outermost logical pixel, is darker than
        // what lies three pixels inside it.
        const auto edge = [&](bool vertical, int logical, int across, int inward) {
            const int from = static_cast<int>(std::floor(logical * ratio));
            const int to = static_cast<int>(std::ceil((logical + 1) * ratio)) - 1;
            const int inside = qRound((logical + 0.5 + 3 * inward) * ratio);
            for (int d = from; d <= to; ++d) {
                const bool isDarker = vertical ? gray(d, across) + 12 < gray(inside, across)
                                               : gray(across, d) + 12 < gray(across, inside);
                if (isDarker) return true;
            }
            return false;
        };
        for (QWidget* w : top->findChildren<QWidget*>()) {
            const bool box = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
            if (!w->isVisible() || !w->isEnabled() || !(box || qobject_cast<QGroupBox*>(w))) continue;
            const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
            // Frames draw their top line through the caption; check below it.
            const int top_ = r.top() + (box ? 0 : w->fontMetrics().height() / 2);
            const int midX = qRound((r.center().x() + 7) * ratio), midY = qRound((top_ + r.bottom()) / 2.0 * ratio);
            const std::string what = "tab " + std::to_string(tab + 1) + " " + w->objectName().toStdString();
            EXPECT_TRUE(edge(true, r.left(), midY, +1)) << what << " left";
            EXPECT_TRUE(edge(true, r.right(), midY, -1)) << what << " right";
            EXPECT_TRUE(edge(false, r.bottom(), midX, -1)) << what << " bottom";
            if (box) {
                EXPECT_TRUE(edge(false, top_, midX, +1)) << what << " top";
            }
        }
    }
}

}  // namespace
