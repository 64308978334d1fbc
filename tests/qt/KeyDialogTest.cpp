// SPDX-License-Identifier: Apache-2.0
// The key-kind dialog on the real Qt layer: its captions, its default and
// cancel buttons, its close box, and the answers it keeps between uses.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <functional>
#include <memory>

#include "app/frmMainForm.h"
#include "asymmetric/frmKey.h"
#include "asymmetric/frmKeyForm.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtWindowing.h"

namespace {

class KeyDialog : public ::testing::Test {
protected:
    KeyDialog() { windowing.showMain(); }

    // Shows the dialog and runs action on it while it is open.
    void use(int16_t preset, const char* title, bool locked, std::function<void(QDialog*)> action) {
        qttest::whenModal<QDialog>(std::move(action));
        dialog.Load_Form(preset, title, locked);
    }
    ui::qt::QtForm& qtForm() { return dynamic_cast<ui::qt::QtForm&>(*dialog.form()); }
    template <typename W>
    W* widget(const std::string& name, int index = -1) {
        return qobject_cast<W*>(qtForm().widget(name, index));
    }
    static QWidget* keyTarget(QDialog* d) { return d->focusWidget() ? d->focusWidget() : d; }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    frmKey dialog{windowing};
};

TEST_F(KeyDialog, ShowsTheTwoKindsInAFrameWithOkAndCancelUnderTheGivenCaption) {
    QString caption;
    bool modal = false;
    use(1, "Load Key ", false, [&](QDialog* d) {
        caption = d->windowTitle();
        modal = d->isModal() && d->parentWidget() == windowing.mainForm().window();
        d->close();
    });
    EXPECT_EQ(caption, QStringLiteral("Load Key "));
    EXPECT_TRUE(modal);
    EXPECT_EQ(widget<QRadioButton>("optAsymCrKey", 0)->text(), QStringLiteral("Public key"));
    EXPECT_EQ(widget<QRadioButton>("optAsymCrKey", 1)->text(), QStringLiteral("Private key"));
    EXPECT_EQ(widget<QPushButton>("cmdOk")->text(), QStringLiteral("OK"));
    EXPECT_EQ(widget<QPushButton>("cmdCancel")->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(widget<QPushButton>("cmdOk")->isDefault());
    auto* frame = widget<QGroupBox>("Frame1");
    EXPECT_TRUE(frame->title().isEmpty());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(widget<QRadioButton>("optAsymCrKey", i)->parentWidget(), frame);

    // Every caption fits.
    const QStyle* style = qtForm().window()->style();
    for (int i = 0; i < 2; ++i) {
        auto* option = widget<QRadioButton>("optAsymCrKey", i);
        EXPECT_LE(option->sizeHint().width(), option->width()) << i;
    }
    for (const char* name : {"cmdOk", "cmdCancel"}) {
        auto* button = widget<QPushButton>(name);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), contents.width()) << name;
        EXPECT_LE(button->fontMetrics().height(), button->height()) << name;
    }
}

TEST_F(KeyDialog, PresetsTheKindAndLocksItWhenAsked) {
    bool privateChecked = false, publicChecked = true, enabled = true;
    use(1, "Load Key ", true, [&](QDialog* d) {
        privateChecked = widget<QRadioButton>("optAsymCrKey", 1)->isChecked();
        publicChecked = widget<QRadioButton>("optAsymCrKey", 0)->isChecked();
        enabled = widget<QRadioButton>("optAsymCrKey", 0)->isEnabled() ||
                  widget<QRadioButton>("optAsymCrKey", 1)->isEnabled();
        qttest::pressKey(keyTarget(d), Qt::Key_Return, Qt::NoModifier, "\r");
    });
    EXPECT_TRUE(privateChecked);
    EXPECT_FALSE(publicChecked);
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(dialog.LoadForm()) << "Enter is OK even with nothing to focus";
    EXPECT_EQ(dialog.CryptoKey(), 1);

    use(0, "Save Key ", false, [&](QDialog*) {
        publicChecked = widget<QRadioButton>("optAsymCrKey", 0)->isChecked();
        enabled = widget<QRadioButton>("optAsymCrKey", 1)->isEnabled();
        widget<QPushButton>("cmdCancel")->click();
    });
    EXPECT_TRUE(publicChecked);
    EXPECT_TRUE(enabled);
}

TEST_F(KeyDialog, EnterTakesTheChosenKindAndEscapeCancels) {
    use(0, "Save Key ", false, [&](QDialog* d) {
        widget<QRadioButton>("optAsymCrKey", 1)->click();
        qttest::pressKey(keyTarget(d), Qt::Key_Return, Qt::NoModifier, "\r");
    });
    EXPECT_TRUE(dialog.LoadForm());
    EXPECT_EQ(dialog.CryptoKey(), 1);

    bool open = false;
    use(1, "Save Key ", false, [&](QDialog* d) {
        qttest::pressKey(keyTarget(d), Qt::Key_Escape);
        open = d->isVisible();
    });
    EXPECT_FALSE(open);
    EXPECT_FALSE(dialog.LoadForm());
    EXPECT_EQ(dialog.CryptoKey(), 1) << "Cancel keeps the preset";
}

TEST_F(KeyDialog, TheCloseBoxIsACancelEvenAfterAnEarlierOk) {
    use(0, "Load Key ", false, [&](QDialog*) { widget<QPushButton>("cmdOk")->click(); });
    ASSERT_TRUE(dialog.LoadForm());
    use(1, "Load Key ", false, [&](QDialog* d) { d->close(); });
    EXPECT_FALSE(dialog.LoadForm());
    EXPECT_EQ(dialog.CryptoKey(), 1);
}

TEST_F(KeyDialog, EachUseStartsWithEnterOnOkWhateverWasClickedBefore) {
    use(0, "Load Key ", false, [&](QDialog*) {
        widget<QPushButton>("cmdCancel")->setFocus();
        widget<QPushButton>("cmdCancel")->click();
    });
    ASSERT_FALSE(dialog.LoadForm());
    for (bool locked : {false, true}) {
        QWidget* focused = nullptr;
        use(1, "Load Key ", locked, [&](QDialog* d) {
            focused = d->focusWidget();
            qttest::pressKey(keyTarget(d), Qt::Key_Return, Qt::NoModifier, "\r");
        });
        if (!locked) {
            EXPECT_EQ(focused, widget<QRadioButton>("optAsymCrKey", 1)) << "the selected kind has the focus";
        }
        EXPECT_TRUE(dialog.LoadForm()) << "locked " << locked;
        EXPECT_EQ(dialog.CryptoKey(), 1);
        use(0, "Load Key ", locked, [&](QDialog*) { widget<QPushButton>("cmdCancel")->click(); });
    }
}

}  // namespace
