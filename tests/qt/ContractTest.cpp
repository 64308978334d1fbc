// SPDX-License-Identifier: Apache-2.0
// The windowing-layer contract, run over the Qt layer and over the scripted fake.

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "qt/QtTestSupport.h"
#include "qt/WindowingContract.h"
#include "support/FakeWindowing.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"

namespace contract {

// The user, on real widgets.
class QtDriver {
public:
    explicit QtDriver(const ui::FormLayout& mainLayout) : m_windowing(mainLayout) {}

    ui::Windowing& windowing() { return m_windowing; }

    void type(ui::Form& form, const std::string& box, const std::string& utf8) {
        QWidget* target = widget(form, box);
        if (auto* line = qobject_cast<QLineEdit*>(target)) line->selectAll();
        if (auto* area = qobject_cast<QPlainTextEdit*>(target)) area->selectAll();
        qttest::typeText(target, QString::fromUtf8(utf8.c_str()));
    }
    void clickOption(ui::Form& form, const std::string& name, int index) {
        qobject_cast<QAbstractButton*>(widget(form, name, index))->click();
    }
    void pickEntry(ui::Form& form, const std::string& name, int index) {
        auto* combo = qobject_cast<QComboBox*>(widget(form, name));
        if (combo->isEnabled()) combo->setCurrentIndex(index);
    }
    void clickUp(ui::Form& form, const std::string& name) { arrows(form, name)->upButton()->click(); }
    void clickDown(ui::Form& form, const std::string& name) { arrows(form, name)->downButton()->click(); }
    void pressEscape(ui::Form& form) { qttest::pressKey(keyTarget(form), Qt::Key_Escape); }
    void pressEnter(ui::Form& form) {
        qttest::pressKey(keyTarget(form), Qt::Key_Return, Qt::NoModifier, "\r");
    }
    void closeBox(ui::Form& form) { qtForm(form).window()->close(); }
    void whileModal(ui::Form& form, std::function<void(ui::Form&)> action) {
        QWidget* window = qtForm(form).window();
        QTimer::singleShot(0, window, [window, &form, action] {
            action(form);
            if (window->isVisible()) window->close();
        });
        form.showModal();
    }

private:
    static ui::qt::QtForm& qtForm(ui::Form& form) { return dynamic_cast<ui::qt::QtForm&>(form); }
    static QWidget* widget(ui::Form& form, const std::string& name, int index = -1) {
        return qtForm(form).widget(name, index);
    }
    static ui::qt::SpinArrows* arrows(ui::Form& form, const std::string& name) {
        return dynamic_cast<ui::qt::SpinArrows*>(widget(form, name));
    }
    static QWidget* keyTarget(ui::Form& form) {
        QWidget* window = qtForm(form).window();
        return window->focusWidget() ? window->focusWidget() : window;
    }

    ui::qt::QtWindowing m_windowing;
};

// The user, on the scripted fake.
class FakeDriver {
public:
    explicit FakeDriver(const ui::FormLayout& mainLayout) : m_windowing(mainLayout) {}

    ui::Windowing& windowing() { return m_windowing; }

    void type(ui::Form& form, const std::string& box, const std::string& utf8) {
        fake(form).textBox(box).type(utf8);
    }
    void clickOption(ui::Form& form, const std::string& name, int index) {
        fake(form).option(name, index).userClick();
    }
    void pickEntry(ui::Form& form, const std::string& name, int index) {
        fake(form).comboBox(name).userSelect(index);
    }
    void clickUp(ui::Form& form, const std::string& name) { fake(form).upDown(name).userClickUp(); }
    void clickDown(ui::Form& form, const std::string& name) { fake(form).upDown(name).userClickDown(); }
    void pressEscape(ui::Form& form) { fake(form).pressEscape(); }
    void pressEnter(ui::Form& form) { fake(form).pressEnter(); }
    void closeBox(ui::Form& form) { fake(form).userClose(); }
    void whileModal(ui::Form& form, std::function<void(ui::Form&)> action) {
        m_windowing.modalScripts.push_back([action](fake::FakeForm& shown) { action(shown); });
        form.showModal();
    }

private:
    static fake::FakeForm& fake(ui::Form& form) { return dynamic_cast<fake::FakeForm&>(form); }

    fake::FakeWindowing m_windowing;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowingContract, QtDriver);
INSTANTIATE_TYPED_TEST_SUITE_P(Fake, WindowingContract, FakeDriver);

}  // namespace contract
