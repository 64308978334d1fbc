// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/Accessible.h"

#include <QAccessible>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <QTabBar>
#include <QToolButton>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "ui/qt/QtControls.h"

namespace ui::qt {
namespace {

const char* const kMainFrame = "quorvalMainFrame";

// A drop-down list. Qt on Linux names a list by its current entry ("MD5"),
// leaving the label to a relation that not every tool follows; here the name
// is the list's own (or its label's) and the entry is its value.
class ListAccessible : public QAccessibleWidget {
public:
    explicit ListAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == combo()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return combo()->currentText();
        if (t == QAccessible::Name) {
            const QString name = QAccessibleWidget::text(t);  // its own name, else its label's text
            return name.isEmpty() ? combo()->currentText() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = combo()->view()->isVisible();
        return state;
    }

    QStringList actionNames() const override { return QStringList(showMenuAction()) << QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == showMenuAction()) return {QKeySequence(Qt::AltModifier | Qt::Key_Down).toString()};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

// One tab of a tab strip.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : m_bar(bar), m_index(index) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return QString();
        switch (t) {
            case QAccessible::Name: {
                const QString name = m_bar->accessibleTabName(m_index);
                return name.isEmpty() ? QString(m_bar->tabText(m_index)).remove(QLatin1Char('&')) : name;
            }
            case QAccessible::Description:
                return m_bar->tabToolTip(m_index);
            default:
                return QString();
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return QRect();
        const QRect tab = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.focusable = true;
        state.selectable = true;
        state.selected = m_index == m_bar->currentIndex();
        state.focused = state.selected && m_bar->hasFocus();
        state.disabled = !m_bar->isTabEnabled(m_index);
        state.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid()) m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// A tab strip named for what it is; Qt names it after its current tab.
class TabListAccessible : public QAccessibleWidget {
public:
    explicit TabListAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabListAccessible() override {
        for (QAccessible::Id id : std::as_const(m_tabs)) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= bar()->count()) return nullptr;
        const auto known = m_tabs.constFind(index);
        if (known != m_tabs.cend()) return QAccessible::accessibleInterface(*known);
        auto* tab = new TabAccessible(bar(), index);
        m_tabs.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const int index = bar()->tabAt(bar()->mapFromGlobal(QPoint(x, y)));
        return index >= 0 ? child(index) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        const QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty() && bar()->currentIndex() >= 0)
            return QString(bar()->tabText(bar()->currentIndex())).remove(QLatin1Char('&'));
        return text;
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }

    mutable QHash<int, QAccessible::Id> m_tabs;
};

// The up-down control: a spin button whose value is the level its arrows step.
class SpinAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SpinAccessible(SpinArrows* arrows) : QAccessibleWidget(arrows, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(arrows()->value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return arrows()->value(); }
    // Goes there one arrow click at a time, as the user would.
    void setCurrentValue(const QVariant& value) override {
        const int target = std::clamp(value.toInt(), arrows()->minimum(), arrows()->maximum());
        for (int guard = arrows()->maximum() - arrows()->minimum(); guard >= 0 && arrows()->value() != target;
             --guard) {
            QToolButton* arrow = arrows()->value() < target ? arrows()->upButton() : arrows()->downButton();
            if (!arrow->isEnabled()) return;
            arrow->click();
        }
    }
    QVariant maximumValue() const override { return arrows()->maximum(); }
    QVariant minimumValue() const override { return arrows()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    SpinArrows* arrows() const { return static_cast<SpinArrows*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("QComboBox")) {
        auto* combo = static_cast<QComboBox*>(widget);
        return combo->isEditable() ? nullptr : new ListAccessible(combo);
    }
    if (className == QLatin1String("QTabBar")) return new TabListAccessible(static_cast<QTabBar*>(widget));
    if (className == QLatin1String("QWidget")) {
        if (auto* arrows = dynamic_cast<SpinArrows*>(widget)) return new SpinAccessible(arrows);
        if (widget->isWindow() && widget->property(kMainFrame).toBool())
            return new QAccessibleWidget(widget, QAccessible::Window);
    }
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(factory);
}

void markMainFrame(QWidget* window) { window->setProperty(kMainFrame, true); }

}  // namespace ui::qt
