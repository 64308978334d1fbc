// SPDX-License-Identifier: Apache-2.0
// The whole program by the keyboard alone: real key events on the real
// window, the real logic and the real engine. Each walk is a user's way
// through one tab's main task.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/Engine.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

class Keyboard : public ::testing::Test {
protected:
    Keyboard() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [] { return engine::CreateEngineRoot(); });
        window->Form_Load();
        windowing.showMain();
        QApplication::setActiveWindow(form.window());
    }

    QWidget* widget(const std::string& name, int index = -1) { return form.widget(name, index); }
    // The focus within the window that takes the keys: an open dialog, else the main window.
    QWidget* focused() {
        QWidget* top = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : form.window();
        return top->focusWidget();
    }
    // The control that has the focus, by its table name; the tab strip by its own.
    std::string focusName() {
        QWidget* w = focused();
        if (!w) return "(none)";
        if (qobject_cast<QTabBar*>(w)) return "TabStrip1";
        return w->objectName().toStdString();
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_NE(focused(), nullptr);
        QTest::keyClick(focused(), static_cast<Qt::Key>(key), modifiers);
    }
    // Presses a key, then expects the focus on a control.
    void press(int k, const std::string& expected, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        key(k, modifiers);
        EXPECT_EQ(focusName(), expected);
    }
    void type(const char* text) { QTest::keyClicks(focused(), QString::fromUtf8(text)); }
    std::string text(const char* box) { return form.textBox(box).text(); }
    int currentTab() { return form.tabStrip("TabStrip1").selectedIndex(); }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::unique_ptr<frmMain> window;
};

// Every option button that Tab or Shift+Tab reaches, round the whole window once.
std::vector<std::string> optionsReached(QWidget* start, Qt::KeyboardModifiers modifiers,
                                        std::vector<std::string>* unselected) {
    std::vector<std::string> reached;
    start->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        auto* option = qobject_cast<QRadioButton*>(QApplication::focusWidget());
        if (!option) continue;
        reached.push_back(option->objectName().toStdString());
        if (!option->isChecked()) unselected->push_back(option->objectName().toStdString());
    }
    return reached;
}

TEST_F(Keyboard, TabEntersEveryOptionGroupAtItsSelectedMember) {
    auto* tabs = qobject_cast<QTabWidget*>(widget("TabStrip1"));
    for (int tab = 0; tab < 4; ++tab) {
        tabs->setCurrentIndex(tab);
        for (Qt::KeyboardModifiers direction : {Qt::NoModifier, Qt::ShiftModifier}) {
            std::vector<std::string> unselected;
            const std::vector<std::string> reached = optionsReached(tabs->tabBar(), direction, &unselected);
            EXPECT_TRUE(unselected.empty()) << "tab " << tab + 1 << ": " << ::testing::PrintToString(unselected);
            if (tab != 2) {  // tab 3's wait for a key
                EXPECT_FALSE(reached.empty()) << "tab " << tab + 1;
            }
        }
    }
    // After the arrow keys move the selection, Tab comes back to the new one.
    tabs->setCurrentIndex(3);
    widget("optTypeED", 1)->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Down, "optTypeED(2)");
    EXPECT_TRUE(form.option("optTypeED", 2).value());
    std::vector<std::string> unselected;
    const std::vector<std::string> reached = optionsReached(tabs->tabBar(), Qt::NoModifier, &unselected);
    EXPECT_TRUE(unselected.empty()) << ::testing::PrintToString(unselected);
    EXPECT_NE(std::find(reached.begin(), reached.end(), "optTypeED(2)"), reached.end());
}

TEST_F(Keyboard, CtrlTabAndCtrlPageKeysSwitchTabsAsAClickDoes) {
    int clicks = 0;
    const ui::Connection counting = form.tabStrip("TabStrip1").click.connect([&clicks] { ++clicks; });
    widget("txtCont")->setFocus(Qt::OtherFocusReason);
    // The logic's own reaction to a tab click moves the focus on tabs 1 and 2.
    press(Qt::Key_Tab, "optSym(0)", Qt::ControlModifier);
    EXPECT_EQ(currentTab(), 2);
    EXPECT_TRUE(widget("frTxtSym")->isVisible());
    press(Qt::Key_PageDown, "TabStrip1", Qt::ControlModifier);
    EXPECT_EQ(currentTab(), 3);
    EXPECT_FALSE(widget("txtContAsym")->isEnabled()) << "the asymmetric panel was refreshed";
    key(Qt::Key_Tab, Qt::ControlModifier);  // from the strip itself: one step, not two
    EXPECT_EQ(currentTab(), 4);
    press(Qt::Key_Tab, "optHash(0)", Qt::ControlModifier);  // round to the first
    EXPECT_EQ(currentTab(), 1);
    key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(currentTab(), 4);
    EXPECT_TRUE(widget("frEDType")->isVisible());
    key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(currentTab(), 3);
    EXPECT_EQ(clicks, 6);
    // Plain Tab still moves the focus only.
    key(Qt::Key_Tab);
    EXPECT_EQ(currentTab(), 3);
}

TEST_F(Keyboard, SpaceAndEnterPressButtonsAndArrowsChooseInListsAndGroups) {
    int helps = 0;
    const ui::Connection countingHelps = form.button("cmdHelp").click.connect([&helps] { ++helps; });
    for (int k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        qttest::whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
        widget("cmdHelp")->setFocus(Qt::OtherFocusReason);
        key(k);
        QApplication::setActiveWindow(form.window());  // as the window manager does when a box closes
    }
    EXPECT_EQ(helps, 3);

    widget("cboEncHash")->setFocus(Qt::OtherFocusReason);
    int picks = 0;
    const ui::Connection countingPicks = form.comboBox("cboEncHash").click.connect([&picks] { ++picks; });
    key(Qt::Key_Down);
    EXPECT_EQ(form.comboBox("cboEncHash").listIndex(), 1);
    key(Qt::Key_Up);
    EXPECT_EQ(form.comboBox("cboEncHash").listIndex(), 0);
    EXPECT_EQ(picks, 2);

    form.textBox("txtRes").setText("stale");
    int typeClicks = 0;
    const ui::Connection countingTypes =
        form.option("optType", 1).click.connect([&typeClicks] { ++typeClicks; });
    widget("optType", 0)->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Down, "optType(1)");
    EXPECT_TRUE(form.option("optType", 1).value());
    EXPECT_FALSE(form.option("optType", 0).value());
    EXPECT_EQ(typeClicks, 1);
    EXPECT_EQ(text("txtRes"), "") << "the logic's reaction to the click ran";
    press(Qt::Key_Right, "optType(2)");
    press(Qt::Key_Up, "optType(1)");
    press(Qt::Key_Left, "optType(0)");
    EXPECT_TRUE(form.option("optType", 0).value());
}

// The keyboard walks of the four tabs, from the window as it opens.
TEST_F(Keyboard, HashWalk) {
    EXPECT_EQ(focusName(), "optHash(0)");
    press(Qt::Key_Tab, "cmdOpen");
    press(Qt::Key_Tab, "txtCont");
    type("abc");
    press(Qt::Key_Tab, "cmdHashBin");
    press(Qt::Key_Tab, "txtRes");
    press(Qt::Key_Tab, "cboEncHash");
    key(Qt::Key_Down);  // SHA
    press(Qt::Key_Tab, "optType(0)");
    press(Qt::Key_Down, "optType(1)");
    press(Qt::Key_Down, "optType(2)");  // Hex
    press(Qt::Key_Tab, "cboEncHash", Qt::ShiftModifier);
    press(Qt::Key_Tab, "txtRes", Qt::ShiftModifier);
    press(Qt::Key_Tab, "cmdHashBin", Qt::ShiftModifier);
    key(Qt::Key_Return);
    EXPECT_EQ(QString::fromStdString(text("txtRes")).toLower(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_F(Keyboard, SymmetricWalk) {
    press(Qt::Key_Tab, "optSym(0)", Qt::ControlModifier);
    press(Qt::Key_Tab, "cmdOpenSym");
    press(Qt::Key_Tab, "txtContSym");
    type("Attack at dawn");
    for (const char* next : {"cmdEncSym", "cmdDecSym", "txtResSym", "cboSymKey", "txtSymIV", "cboSymPad",
                             "cboSymAlg", "txtSymComp"})
        press(Qt::Key_Tab, next);
    key(Qt::Key_Up);  // compression level 0
    EXPECT_EQ(text("txtSymComp"), "0");
    press(Qt::Key_Tab, "optTypeSym(0)");
    press(Qt::Key_Down, "optTypeSym(1)");  // Base64
    press(Qt::Key_Tab, "optCip(0)");
    press(Qt::Key_Down, "optCip(1)");  // CBC
    press(Qt::Key_Tab, "txtSymPass");
    type("secret");
    for (const char* back : {"optCip(1)", "optTypeSym(1)", "txtSymComp", "cboSymAlg", "cboSymPad", "txtSymIV",
                             "cboSymKey", "txtResSym", "cmdDecSym", "cmdEncSym"})
        press(Qt::Key_Tab, back, Qt::ShiftModifier);
    key(Qt::Key_Return);
    const std::string cipher = text("txtResSym");
    EXPECT_FALSE(cipher.empty());
    EXPECT_EQ(cipher.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n"),
              std::string::npos);
    press(Qt::Key_Tab, "txtContSym", Qt::ShiftModifier);
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_Delete);
    EXPECT_EQ(text("txtContSym"), "");
    press(Qt::Key_Tab, "cmdEncSym");
    press(Qt::Key_Tab, "cmdDecSym");
    key(Qt::Key_Space);
    EXPECT_EQ(text("txtContSym"), "Attack at dawn");
}

TEST_F(Keyboard, AsymmetricWalk) {
    QTemporaryDir dir;
    press(Qt::Key_PageDown, "optSym(0)", Qt::ControlModifier);
    press(Qt::Key_PageDown, "TabStrip1", Qt::ControlModifier);
    EXPECT_EQ(currentTab(), 3);
    // Before a key exists only key generation and loading take the focus.
    press(Qt::Key_Tab, "cmdHelp");
    press(Qt::Key_Tab, "cboAsymKey");
    press(Qt::Key_Tab, "cboAsymSchema");
    press(Qt::Key_Tab, "txtAsymSeed");
    press(Qt::Key_Tab, "cmdAsymGenKey");
    key(Qt::Key_Space);
    ASSERT_TRUE(widget("txtContAsym")->isEnabled());
    for (const char* back : {"txtAsymSeed", "cboAsymSchema", "cboAsymKey", "optTypeAsym(0)"})
        press(Qt::Key_Tab, back, Qt::ShiftModifier);
    press(Qt::Key_Down, "optTypeAsym(1)");  // Base64
    for (const char* back : {"txtAsymComp", "txtResAsym", "cmdAsign", "cmdDecAsym", "cmdEncAsym", "txtContAsym"})
        press(Qt::Key_Tab, back, Qt::ShiftModifier);
    type("Hello, Quorval!");
    press(Qt::Key_Tab, "cmdEncAsym");
    key(Qt::Key_Return);
    EXPECT_FALSE(text("txtResAsym").empty());
    press(Qt::Key_Tab, "txtContAsym", Qt::ShiftModifier);
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_Delete);
    press(Qt::Key_Tab, "cmdEncAsym");
    press(Qt::Key_Tab, "cmdDecAsym");
    key(Qt::Key_Space);
    EXPECT_EQ(text("txtContAsym"), "Hello, Quorval!");

    // Saving the private key: the key-kind dialog and the file dialog by the keyboard.
    const QString keyFile = dir.filePath(QStringLiteral("private.key"));
    bool dialogSeen = false, fileDialogSeen = false;
    QString failure;  // a failed save would wait in a message box
    QTimer guard;
    guard.setInterval(20);
    QObject::connect(&guard, &QTimer::timeout, [&failure] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            failure = box->text();
            box->close();
        }
    });
    guard.start();
    qttest::whenModal<QDialog>([&](QDialog* dialog) {
        dialogSeen = true;
        EXPECT_EQ(dialog->focusWidget()->objectName(), "optAsymCrKey(0)");  // the preset kind
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Down);                // "Private key"
        qttest::whenModal<QFileDialog>([&](QFileDialog* files) {
            fileDialogSeen = true;
            files->setDirectory(dir.path());
            EXPECT_EQ(files->focusWidget()->objectName(), "fileNameEdit");
            QTest::keyClicks(files->focusWidget(), QStringLiteral("private.key"));
            QTest::keyClick(files->focusWidget(), Qt::Key_Return);
            EXPECT_FALSE(files->isVisible());
        });
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);  // OK
    });
    for (const char* next : {"cmdAsign", "txtResAsym", "txtAsymComp", "optTypeAsym(1)", "cboAsymKey", "cboAsymSchema",
                             "txtAsymSeed", "cmdAsymGenKey", "cmdAsymSave"})
        press(Qt::Key_Tab, next);
    key(Qt::Key_Space);
    EXPECT_TRUE(dialogSeen);
    EXPECT_TRUE(fileDialogSeen);
    EXPECT_TRUE(QFileInfo(keyFile).size() > 0) << keyFile.toStdString();
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
}

TEST_F(Keyboard, EncodeWalk) {
    for (int i = 0; i < 3; ++i) key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(currentTab(), 4);
    press(Qt::Key_Tab, "cmdHelp");
    press(Qt::Key_Tab, "cmdDecED");
    press(Qt::Key_Tab, "cmdEncED");
    press(Qt::Key_Tab, "txtContED");
    type("Quorval");
    press(Qt::Key_Tab, "optED(0)");
    press(Qt::Key_Tab, "txtResED");
    press(Qt::Key_Tab, "cmdOpenED");
    press(Qt::Key_Tab, "optTypeED(1)");  // Base64, the selected one
    press(Qt::Key_Down, "optTypeED(2)");  // Hex
    for (const char* back : {"cmdOpenED", "txtResED", "optED(0)", "txtContED", "cmdEncED"})
        press(Qt::Key_Tab, back, Qt::ShiftModifier);
    key(Qt::Key_Return);
    EXPECT_EQ(QString::fromStdString(text("txtResED")).toLower(), "51756f7276616c");
}

}  // namespace
