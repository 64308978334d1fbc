// SPDX-License-Identifier: Apache-2.0
// The symmetric tab over the real Qt widgets and the real engine: binary
// cipher text lives in a Qt text box and still decrypts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/EngineTestSupport.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

class SymmetricOnQt : public ::testing::Test {
protected:
    SymmetricOnQt() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [] { return engine::CreateEngineRoot(enginetest::fastOptions()); });
        window->Form_Load();
        windowing.showMain();
        // Any message box is a failure here: note it and close it, so the test cannot hang.
        QObject::connect(&boxCloser, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes.push_back(box->text().toStdString());
                box->close();
            }
        });
        boxCloser.start(5);
        pickTab(2);
    }

    void pickTab(int index) { qobject_cast<QTabWidget*>(form.widget("TabStrip1"))->setCurrentIndex(index - 1); }
    void press(const char* name) { qobject_cast<QPushButton*>(form.widget(name))->click(); }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::unique_ptr<frmMain> window;
    QTimer boxCloser;
    std::vector<std::string> boxes;
};

TEST_F(SymmetricOnQt, BinaryCipherTextWithNulBytesDecryptsFromTheBoxUnedited) {
    QWidget* source = form.widget("txtContSym");
    const QString typed = QString::fromUtf8("h\xc3\xa9llo \xe2\x9c\x93 typed");
    std::string cipher;
    for (int attempt = 0; attempt < 64 && cipher.find('\0') == std::string::npos; ++attempt) {
        form.textBox("txtContSym").setText("");
        source->setFocus();
        qttest::typeText(source, typed);
        press("cmdEncSym");
        cipher = form.textBox("txtResSym").text();
    }
    ASSERT_NE(cipher.find('\0'), std::string::npos);

    // Looking at the box and leaving the tab change nothing.
    form.widget("txtResSym")->setFocus(Qt::MouseFocusReason);
    pickTab(1);
    pickTab(2);
    EXPECT_EQ(form.textBox("txtResSym").text(), cipher);

    press("cmdDecSym");
    EXPECT_EQ(form.textBox("txtContSym").text(), typed.toStdString());
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form.widget("cmdAbort")->isEnabled());
}

TEST_F(SymmetricOnQt, ABinaryResultCopiedDeletedAndPastedBackStillDecrypts) {
    QWidget* source = form.widget("txtContSym");
    QWidget* result = form.widget("txtResSym");
    const QString typed = QString::fromUtf8("copy \xe2\x9c\x93 me");
    source->setFocus();
    qttest::typeText(source, typed);
    press("cmdEncSym");
    const std::string cipher = form.textBox("txtResSym").text();
    ASSERT_FALSE(cipher.empty());
    ASSERT_NE(QString::fromStdString(cipher).toStdString(), cipher) << "a Binary result that is not text";

    result->setFocus();
    qttest::pressKey(result, Qt::Key_A, Qt::ControlModifier);
    qttest::pressKey(result, Qt::Key_C, Qt::ControlModifier);
    qttest::pressKey(result, Qt::Key_Delete);
    EXPECT_EQ(form.textBox("txtResSym").text(), "");
    qttest::pressKey(result, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form.textBox("txtResSym").text(), cipher);

    form.textBox("txtContSym").setText("");
    press("cmdDecSym");
    EXPECT_EQ(form.textBox("txtContSym").text(), typed.toStdString());
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

}  // namespace
