// SPDX-License-Identifier: Apache-2.0
// The window logic over the real Qt layer: the wiring between the two.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "qt/QtTestSupport.h"
#include "support/MockEngine.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

class LogicOnQt : public ::testing::Test {
protected:
    LogicOnQt() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [this] { return root; });
        window->Form_Load();
        windowing.showMain();
    }

    QWidget* widget(const std::string& name, int index = -1) { return form.widget(name, index); }
    bool shown(const char* name) { return widget(name)->isVisible(); }
    void pickTab(int index) {
        qobject_cast<QTabWidget*>(widget("TabStrip1"))->tabBar()->setCurrentIndex(index - 1);
    }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::shared_ptr<NiceMock<fake::MockEngineRoot>> root = std::make_shared<NiceMock<fake::MockEngineRoot>>();
    std::unique_ptr<frmMain> window;
};

TEST_F(LogicOnQt, LoadShowsTheHashTabWithTheDefaultListEntries) {
    EXPECT_TRUE(shown("frTxtHash"));
    EXPECT_TRUE(shown("frEncHash"));
    for (const char* other : {"frTxtSym", "frEncSym", "frTxtAsym", "frEncAsym", "frTxtED", "frEDType"})
        EXPECT_FALSE(shown(other)) << other;
    EXPECT_EQ(qobject_cast<QComboBox*>(widget("cboEncHash"))->currentText(), "MD5");
    EXPECT_EQ(qobject_cast<QComboBox*>(widget("cboSymKey"))->currentText(), "256");
    EXPECT_EQ(qobject_cast<QComboBox*>(widget("cboSymAlg"))->currentText(), "TwoFish");
}

TEST_F(LogicOnQt, PickingATabSwitchesThePanelsAndMovesTheFocus) {
    pickTab(2);
    EXPECT_TRUE(shown("frTxtSym"));
    EXPECT_TRUE(shown("frEncSym"));
    EXPECT_FALSE(shown("frTxtHash"));
    EXPECT_EQ(form.window()->focusWidget(), widget("optSym", 0));
    pickTab(3);
    EXPECT_TRUE(shown("frEncAsym"));
    EXPECT_FALSE(widget("txtContAsym")->isEnabled());
    EXPECT_FALSE(widget("udAsym")->isEnabled());
}

TEST_F(LogicOnQt, ClickingATabNeverLeavesTheFocusOnOk) {
    // Enter or Space on a focused "OK" would end the program.
    QTabBar* bar = qobject_cast<QTabWidget*>(widget("TabStrip1"))->tabBar();
    QApplication::setActiveWindow(form.window());
    ASSERT_TRUE(qttest::waitUntil([&] { return form.window()->isActiveWindow(); }));
    widget("txtCont")->setFocus();
    for (int tab : {3, 4, 1, 4, 2, 3}) {
        const QPoint at = bar->tabRect(tab - 1).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        // A real click focuses a widget that takes click focus before the press is delivered.
        if (bar->focusPolicy() & Qt::ClickFocus) bar->setFocus(Qt::MouseFocusReason);
        QCoreApplication::sendEvent(bar, &press);
        QCoreApplication::sendEvent(bar, &release);
        ASSERT_EQ(window->currentTab(), tab);
        ASSERT_TRUE(form.window()->focusWidget());
        EXPECT_NE(form.window()->focusWidget(), widget("cmdOk")) << "after tab " << tab;
    }
}

TEST_F(LogicOnQt, SwitchingTabsFromTheKeyboardNeverLeavesTheFocusOnOk) {
    QTabWidget* tabs = qobject_cast<QTabWidget*>(widget("TabStrip1"));
    QApplication::setActiveWindow(form.window());
    ASSERT_TRUE(qttest::waitUntil([&] { return form.window()->isActiveWindow(); }));
    widget("txtCont")->setFocus();
    for (int tab : {2, 3, 4, 1, 3}) {
        // Ctrl+Tab and the arrow keys change the current tab without a click.
        tabs->setCurrentIndex(tab - 1);
        ASSERT_EQ(window->currentTab(), tab);
        EXPECT_NE(form.window()->focusWidget(), widget("cmdOk")) << "after tab " << tab;
    }
}

TEST_F(LogicOnQt, ArrowKeysInTheCompressionBoxStepTheLevelAndEmptyTheResult) {
    pickTab(2);
    form.textBox("txtResSym").setText("old result");
    QWidget* box = widget("txtSymComp");
    qttest::pressKey(box, Qt::Key_Up);
    qttest::pressKey(box, Qt::Key_Up);
    EXPECT_EQ(form.textBox("txtSymComp").text(), "1");
    EXPECT_EQ(form.upDown("udSymLev").value(), 1);
    EXPECT_EQ(form.textBox("txtResSym").text(), "");
    dynamic_cast<ui::qt::SpinArrows*>(widget("udSymLev"))->downButton()->click();
    EXPECT_EQ(form.textBox("txtSymComp").text(), "0");
}

TEST_F(LogicOnQt, ClickingIntoACompressionBoxSelectsItsWholeText) {
    QApplication::setActiveWindow(form.window());
    ASSERT_TRUE(qttest::waitUntil([&] { return form.window()->isActiveWindow(); }));
    for (auto [tab, name] : {std::pair{2, "txtSymComp"}, std::pair{3, "txtAsymComp"}}) {
        pickTab(tab);
        auto* box = qobject_cast<QLineEdit*>(widget(name));
        box->setEnabled(true);  // the asymmetric box is greyed out until a key exists
        widget("TabStrip1")->setFocus();
        const QPoint at(box->width() / 2, box->height() / 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, box->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, box->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        // A real click gives the focus just before the press is delivered.
        box->setFocus(Qt::MouseFocusReason);
        QCoreApplication::sendEvent(box, &press);
        QCoreApplication::sendEvent(box, &release);
        EXPECT_EQ(box->selectedText(), "-1") << name;
        // A second click into the focused box just places the cursor, as usual.
        QCoreApplication::sendEvent(box, &press);
        QCoreApplication::sendEvent(box, &release);
        EXPECT_EQ(box->selectedText(), "") << name;
    }
}

TEST_F(LogicOnQt, ABinaryDigestSurvivesTheResultBoxByteForByte) {
    auto hash = std::make_shared<NiceMock<fake::MockEngineHash>>();
    const std::string digest("\x00\x9f\xff\xc3\x28 binary", 12);
    ON_CALL(*root, NewHash(_)).WillByDefault(Return(hash));
    ON_CALL(*hash, HashText(_)).WillByDefault(Return(digest));
    form.textBox("txtCont").setText("abc");
    qobject_cast<QPushButton*>(widget("cmdHashBin"))->click();
    EXPECT_EQ(form.textBox("txtRes").text(), digest);
    EXPECT_EQ(dynamic_cast<ui::qt::QtTextBox&>(form.textBox("txtRes")).shownText().size(),
              static_cast<qsizetype>(digest.size()));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(LogicOnQt, HelpSaysNotImplementedUnderTheApplicationsTitle) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    qttest::whenModal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    qobject_cast<QPushButton*>(widget("cmdHelp"))->click();
    EXPECT_EQ(title, "Quorval");
    EXPECT_EQ(text, "Not implemented");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
}

TEST_F(LogicOnQt, OkEndsTheEventLoop) {
    QTimer::singleShot(0, form.window(), [this] { qobject_cast<QPushButton*>(widget("cmdOk"))->click(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form.window()->isVisible());
}

TEST_F(LogicOnQt, TheCloseBoxEndsTheEventLoop) {
    QTimer::singleShot(0, form.window(), [this] { form.window()->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form.window()->isVisible());
    EXPECT_TRUE(windowing.unloaded());
}

}  // namespace
