// SPDX-License-Identifier: Apache-2.0
// The real main window built from its control table.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/frmMainForm.h"
#include "qt/LayoutChecks.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    template <typename W = QWidget>
    W* widget(const std::string& name, int index = -1) {
        W* w = qobject_cast<W*>(form.widget(name, index));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Pixel values are for 96 dpi and whole device pixels, without a layout factor.
    bool unitScale() const { return windowing.geometry() == ui::qt::Geometry(1.0); }
    std::vector<std::string> comboItems(const std::string& name) {
        std::vector<std::string> items;
        auto* combo = widget<QComboBox>(name);
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
        return items;
    }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    QWidget* window = form.window();
};

TEST_F(MainWindow, IsCaptionedExempleWithTheTablesFixedClientSize) {
    EXPECT_EQ(window->windowTitle(), "Exemple");
    EXPECT_EQ(form.caption(), "Exemple");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    if (!unitScale()) GTEST_SKIP() << "pixel values for 96 dpi";
    EXPECT_EQ(window->size(), QSize(440, 549));
}

TEST_F(MainWindow, BuildsEveryControlOfTheTableWithItsKindAndContainer) {
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        SCOPED_TRACE(c.name + "(" + std::to_string(c.index) + ")");
        QWidget* w = form.widget(c.name, c.index);
        ASSERT_NE(w, nullptr);
        const QWidget* expectedParent = c.container.empty() ? window : form.widget(c.container);
        EXPECT_EQ(w->parentWidget(), expectedParent);
        switch (c.kind) {
            case ui::ControlKind::Label:
                EXPECT_TRUE(qobject_cast<QLabel*>(w));
                break;
            case ui::ControlKind::TextBox:
                EXPECT_TRUE(qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w));
                break;
            case ui::ControlKind::Option:
                EXPECT_TRUE(qobject_cast<QRadioButton*>(w));
                break;
            case ui::ControlKind::ComboBox:
                EXPECT_TRUE(qobject_cast<QComboBox*>(w));
                break;
            case ui::ControlKind::Button:
                EXPECT_TRUE(qobject_cast<QPushButton*>(w));
                break;
            case ui::ControlKind::Frame:
                EXPECT_TRUE(qobject_cast<QGroupBox*>(w));
                break;
            case ui::ControlKind::TabStrip:
                EXPECT_TRUE(qobject_cast<QTabWidget*>(w));
                break;
            case ui::ControlKind::ProgressBar:
                EXPECT_TRUE(qobject_cast<QProgressBar*>(w));
                break;
            case ui::ControlKind::UpDown:
                EXPECT_TRUE(dynamic_cast<ui::qt::SpinArrows*>(w));
                break;
        }
    }
}

TEST_F(MainWindow, CaptionsAreTheTables) {
    auto* tabs = widget<QTabWidget>("TabStrip1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "Hash");
    EXPECT_EQ(tabs->tabText(1), "Symetric Encrypt/Decrypt");
    EXPECT_EQ(tabs->tabText(2), "Asymmetric Encrypt/Decrypt");
    EXPECT_EQ(tabs->tabText(3), "Encode/Decode");
    EXPECT_EQ(widget<QPushButton>("cmdAbort")->text(), "Abort transaction");
    EXPECT_EQ(widget<QPushButton>("cmdAsymLoadRelat")->text(), "Load key private related");
    EXPECT_EQ(widget<QPushButton>("cmdOpen")->text(), "...");
    EXPECT_EQ(widget<QGroupBox>("frTxtSym")->title(), "Source");
    EXPECT_EQ(widget<QGroupBox>("frEncSym")->title(), "");
    EXPECT_EQ(widget<QGroupBox>("frLoad")->title(), "Load Key from file");
    EXPECT_EQ(widget<QLabel>("lbl1", 7)->text(), "Encryption Schema");
    EXPECT_EQ(widget<QRadioButton>("optTypeED", 1)->text(), "Base64");
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        if (c.kind != ui::ControlKind::Button) continue;
        EXPECT_EQ(form.button(c.name).caption(), c.caption);
    }
}

TEST_F(MainWindow, ListsHoldTheirEntriesNothingChosenAndCannotBeTypedInto) {
    EXPECT_EQ(comboItems("cboEncHash"), (std::vector<std::string>{"MD5", "SHA", "Tiger"}));
    EXPECT_EQ(comboItems("cboSymKey"), (std::vector<std::string>{"128", "192", "256"}));
    EXPECT_EQ(comboItems("cboSymPad"), (std::vector<std::string>{"FIPS81", "PCKS5", "ZeroPadding"}));
    EXPECT_EQ(comboItems("cboSymAlg"), (std::vector<std::string>{"AES", "TwoFish"}));
    EXPECT_EQ(comboItems("cboAsymKey"), (std::vector<std::string>{"512", "1024", "2048"}));
    EXPECT_EQ(comboItems("cboAsymSchema"), (std::vector<std::string>{"OAEP", "PCKS1"}));
    for (const char* name :
         {"cboEncHash", "cboSymKey", "cboSymPad", "cboSymAlg", "cboAsymKey", "cboAsymSchema"}) {
        EXPECT_FALSE(widget<QComboBox>(name)->isEditable()) << name;
        EXPECT_EQ(form.comboBox(name).listIndex(), -1) << name;
    }
}

TEST_F(MainWindow, StartsInTheTablesStates) {
    window->show();
    EXPECT_FALSE(widget("cmdAbort")->isEnabled());
    EXPECT_FALSE(widget("pgBar")->isVisible());
    EXPECT_FALSE(widget("optTypeED", 0)->isEnabled());
    EXPECT_EQ(widget<QTabWidget>("TabStrip1")->currentIndex(), 0);
    EXPECT_EQ(form.tabStrip("TabStrip1").selectedIndex(), 1);

    const std::set<std::pair<std::string, int>> selected = {
        {"optHash", 0}, {"optType", 0},     {"optSym", 0}, {"optTypeSym", 0}, {"optCip", 0},
        {"optAsym", 0}, {"optTypeAsym", 0}, {"optED", 0},  {"optTypeED", 1}};
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        if (c.kind != ui::ControlKind::Option) continue;
        EXPECT_EQ(widget<QRadioButton>(c.name, c.index)->isChecked(), selected.count({c.name, c.index}) == 1)
            << c.name << c.index;
    }

    const QColor grey = ui::qt::systemColor(ui::SysColor::InactiveBorder);
    for (const char* name : {"txtSymComp", "txtAsymComp"}) {
        auto* box = widget<QLineEdit>(name);
        EXPECT_TRUE(box->isReadOnly()) << name;
        EXPECT_EQ(box->text(), "-1") << name;
        EXPECT_EQ(box->palette().color(QPalette::Base), grey) << name;
    }
    auto* hashResult = widget<QPlainTextEdit>("txtRes");
    EXPECT_TRUE(hashResult->isReadOnly());
    EXPECT_EQ(hashResult->palette().color(QPalette::Base), grey);
    EXPECT_NE(grey, ui::qt::systemColor(ui::SysColor::WindowBackground));
    for (const char* name : {"txtResSym", "txtResAsym", "txtResED", "txtCont", "txtContSym"})
        EXPECT_FALSE(widget<QPlainTextEdit>(name)->isReadOnly()) << name;
    EXPECT_EQ(widget<QLineEdit>("txtSymPass")->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(widget<QLineEdit>("txtSymPass")->isReadOnly());
}

TEST_F(MainWindow, SourceAndResultBoxesAreMultiLineWithAVerticalScrollBar) {
    const std::set<std::string> multiLine = {"txtCont",     "txtRes",     "txtContSym", "txtResSym",
                                             "txtContAsym", "txtResAsym", "txtContED",  "txtResED"};
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        if (c.kind != ui::ControlKind::TextBox) continue;
        if (multiLine.count(c.name)) {
            auto* area = widget<QPlainTextEdit>(c.name);
            ASSERT_NE(area, nullptr);
            EXPECT_EQ(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << c.name;
            EXPECT_TRUE(area->tabChangesFocus()) << c.name;
        } else {
            EXPECT_NE(widget<QLineEdit>(c.name), nullptr);
        }
    }
}

TEST_F(MainWindow, RectanglesAreTheTablesInPixels) {
    if (!unitScale()) GTEST_SKIP() << "pixel values for 96 dpi";
    // 15 twips a pixel; each edge rounded.
    EXPECT_EQ(widget("TabStrip1")->geometry(), QRect(8, 8, 427, 507));
    EXPECT_EQ(widget("pgBar")->geometry(), QRect(16, 496, 407, 12));
    EXPECT_EQ(widget("cmdAbort")->geometry(), QRect(8, 520, 113, 23));
    EXPECT_EQ(widget("cmdOk")->geometry(), QRect(226, 520, 65, 23));
    EXPECT_EQ(widget("frTxtHash")->geometry(), QRect(16, 32, 407, 187));
    EXPECT_EQ(widget("frTxtSym")->geometry(), QRect(16, 32, 407, 185));
    EXPECT_EQ(widget("frEncAsym")->geometry(), QRect(16, 220, 407, 272));
    EXPECT_EQ(widget("txtCont")->geometry(), QRect(13, 60, 147, 113));
    EXPECT_EQ(widget("cmdHashBin")->geometry(), QRect(169, 88, 71, 23));
    EXPECT_EQ(widget("optType", 2)->geometry(), QRect(16, 53, 89, 17));
    EXPECT_EQ(widget("udAsym")->geometry(), QRect(212, 13, 16, 21));
    EXPECT_EQ(widget("txtAsymComp")->geometry(), QRect(129, 13, 83, 21));
}

TEST_F(MainWindow, AnUpDownSitsAtTheRightEndOfItsBuddyBox) {
    if (!unitScale()) GTEST_SKIP() << "pixel values for 96 dpi";
    // The table's box runs under the arrows; the box gives up that width.
    EXPECT_EQ(widget("udSymLev")->geometry(), QRect(219, 152, 16, 21));
    EXPECT_EQ(widget("txtSymComp")->geometry(), QRect(127, 152, 92, 21));
}

TEST_F(MainWindow, EachTabsFramesAreWindowChildrenLyingOverTheTabPage) {
    window->show();
    auto* tabs = widget<QTabWidget>("TabStrip1");
    const int pageTop = tabs->geometry().top() + tabs->tabBar()->geometry().bottom();
    for (const char* name : {"frTxtHash", "frTxtSym", "frTxtAsym", "frTxtED", "frEncHash", "frEncSym",
                             "frEncAsym", "frEDType"}) {
        QWidget* frame = widget(name);
        EXPECT_EQ(frame->parentWidget(), window) << name;
        EXPECT_TRUE(tabs->geometry().contains(frame->geometry())) << name;
        EXPECT_GT(frame->geometry().top(), pageTop) << name;
    }
    // Later controls lie above the strip: a click on a frame reaches the frame.
    for (const char* name : {"frTxtHash", "frEncHash"}) {
        for (const char* other : {"frTxtSym", "frTxtAsym", "frTxtED", "frEncSym", "frEncAsym", "frEDType"})
            form.frame(other).setVisible(false);
        QWidget* frame = widget(name);
        QWidget* hit = window->childAt(frame->geometry().topLeft() + QPoint(3, frame->height() - 3));
        EXPECT_TRUE(hit == frame || frame->isAncestorOf(hit)) << name;
    }
}

TEST_F(MainWindow, TabOrderFollowsTheTablesOrderNumbers) {
    std::map<QWidget*, std::string> focusable;
    std::vector<std::pair<int, std::string>> expected;
    for (const ui::ControlLayout& c : frmMainLayout().controls) {
        const bool takesFocus = c.kind == ui::ControlKind::TextBox || c.kind == ui::ControlKind::Option ||
                                c.kind == ui::ControlKind::ComboBox || c.kind == ui::ControlKind::Button ||
                                c.kind == ui::ControlKind::TabStrip;
        const std::string id = c.name + (c.index >= 0 ? "(" + std::to_string(c.index) + ")" : "");
        if (takesFocus) {
            focusable[form.widget(c.name, c.index)] = id;
            expected.emplace_back(c.tabOrder, id);
        } else {
            EXPECT_EQ(form.widget(c.name, c.index)->focusPolicy(), Qt::NoFocus) << id;
        }
    }
    std::sort(expected.begin(), expected.end());
    auto* tabs = widget<QTabWidget>("TabStrip1");
    focusable[tabs->tabBar()] = "TabStrip1";  // the strip takes the focus through its tab bar

    // Walk the chain from the first control.
    std::vector<std::string> walked;
    QWidget* start = form.widget("optHash", 0);
    QWidget* w = start;
    do {
        auto it = focusable.find(w);
        if (it != focusable.end() && (walked.empty() || walked.back() != it->second))
            walked.push_back(it->second);
        w = w->nextInFocusChain();
    } while (w != start);
    std::vector<std::string> expectedIds;
    for (const auto& entry : expected) expectedIds.push_back(entry.second);
    EXPECT_EQ(walked, expectedIds);
}

TEST_F(MainWindow, UpDownsRunFromMinusOneToNineThroughTheirArrows) {
    for (const auto& [upDownName, boxName] :
         {std::pair{"udSymLev", "txtSymComp"}, std::pair{"udAsym", "txtAsymComp"}}) {
        ui::UpDown& ud = form.upDown(upDownName);
        EXPECT_EQ(ud.min(), -1);
        EXPECT_EQ(ud.max(), 9);
        EXPECT_EQ(ud.value(), -1);
        auto* arrows = dynamic_cast<ui::qt::SpinArrows*>(form.widget(upDownName));
        ASSERT_NE(arrows, nullptr);
        for (int i = 0; i < 12; ++i) arrows->upButton()->click();
        EXPECT_EQ(ud.value(), 9);
        EXPECT_EQ(form.textBox(boxName).text(), "9");
        for (int i = 0; i < 13; ++i) arrows->downButton()->click();
        EXPECT_EQ(ud.value(), -1);
        EXPECT_EQ(form.textBox(boxName).text(), "-1");
        EXPECT_EQ(arrows->upButton()->focusPolicy(), Qt::NoFocus);
    }
}

TEST_F(MainWindow, EveryCaptionFitsItsRectangle) { qttest::expectEverythingFits(form); }

TEST_F(MainWindow, ALargerFontGrowsTheWholeLayoutByOneFactor) {
    QFont large(QStringLiteral("DejaVu Sans"));
    large.setPointSizeF(11);
    const ui::qt::Look look = ui::qt::fitLook(frmMainLayout(), large);
    ASSERT_GT(look.layoutScale, 1.0);
    EXPECT_EQ(look.font, large);

    ui::qt::QtForm grown(frmMainLayout(), ui::qt::FormRole::Main, nullptr, ui::qt::Geometry(look.layoutScale));
    grown.window()->setFont(look.font);
    qttest::expectEverythingFits(grown);
    // The table's proportions hold.
    const QRect tabs = grown.widget("TabStrip1")->geometry();
    EXPECT_NEAR(tabs.width(), 427 * look.layoutScale, 1.0);
    EXPECT_NEAR(static_cast<double>(tabs.height()) / tabs.width(), 507.0 / 427.0, 0.01);
}

TEST_F(MainWindow, DrawsWithThePlatformsFontInTheCompactFusionStyle) {
    const ui::qt::Look& look = windowing.look();
    EXPECT_EQ(look.font, QApplication::font());
    EXPECT_EQ(window->font(), QApplication::font());
    EXPECT_LE(ui::qt::captionOverflow(frmMainLayout(), look.font), look.layoutScale);
    auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->baseStyle()->name().toLower(), "fusion");
}

}  // namespace
