#include "ui/qt/QtControls.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <limits>

#include "ui/qt/Look.h"
#include "ui/qt/Text.h"

namespace ui::qt {

QtLabel::QtLabel(QLabel* label, const bool& alive) : QtControl(label, alive) {}

QtFrame::QtFrame(QGroupBox* frame, const bool& alive) : QtControl(frame, alive) {}

// ---- Text boxes

QtTextBox::QtTextBox(QLineEdit* line, const bool& alive) : QtControl(line, alive), m_line(line) {
    m_line->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(m_line, &QLineEdit::textEdited, m_line, [this] { userEdited(); });
    hookEvents();
}

QtTextBox::QtTextBox(QPlainTextEdit* area, const bool& alive) : QtControl(area, alive), m_area(area) {
    // Only a change of characters is an edit; the counts cost nothing, however long the text.
    QObject::connect(m_area->document(), &QTextDocument::contentsChange, m_area,
                     [this](int, int removed, int added) {
                         if (!m_writing && (removed > 0 || added > 0)) userEdited();
                     });
    hookEvents();
}

void QtTextBox::hookEvents() {
    m_widget->installEventFilter(new EventHook(m_widget, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::FocusIn) {
            // Coming back from another window or a popup is not the box getting the focus.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
            // The press that gave the focus places the cursor and clears any
            // selection: report the focus once that click is over.
            if (reason == Qt::MouseFocusReason && m_line)
                m_focusByMouse = true;
            else
                fire(gotFocus);
        } else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::FocusOut) {
            if (m_focusByMouse) {
                m_focusByMouse = false;
                if (event->type() == QEvent::MouseButtonRelease) fire(gotFocus);
            }
        } else if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // The key went up once, however long it auto-repeated.
            if (!key->isAutoRepeat()) fire(keyUp, windowsKeyCode(*key));
        }
        return false;
    }));
}

QString QtTextBox::shownText() const { return m_line ? m_line->text() : m_area->toPlainText(); }

std::string QtTextBox::text() const {
    // Converted once per edit, so an operation never converts a large text twice.
    if (!m_bytes) m_bytes = utf8(shownText());
    return *m_bytes;
}

void QtTextBox::setText(const std::string& bytes) {
    if (bytes == text()) return;
    m_bytes = bytes;
    QString shown = displayText(bytes);
    m_writing = true;
    if (m_line) {
        m_line->setText(shown);
        m_line->setCursorPosition(0);
    } else {
        shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        m_area->setPlainText(shown);
    }
    m_writing = false;
    fire(change);
}

void QtTextBox::userEdited() {
    m_bytes.reset();
    fire(change);
}

void QtTextBox::setBackColor(ui::SysColor color) {
    m_back = color;
    QPalette palette = m_widget->palette();
    palette.setColor(QPalette::Base, systemColor(color));  // every colour group: disabled boxes keep it
    m_widget->setPalette(palette);
}

void QtTextBox::selectAll() {
    if (m_line)
        m_line->selectAll();
    else
        m_area->selectAll();
}

// ---- Option buttons

QtOption::QtOption(QRadioButton* option, QButtonGroup* group, const bool& alive)
    : QtControl(option, alive), m_option(option), m_group(group) {
    QObject::connect(m_option, &QAbstractButton::clicked, m_option, [this] { fire(click); });
}

bool QtOption::value() const { return m_option->isChecked(); }

void QtOption::setValue(bool selected) {
    if (selected == m_option->isChecked()) return;
    if (selected) {
        m_option->setChecked(true);  // the exclusive group clears the others
        fire(click);
        return;
    }
    // An exclusive group never unchecks its checked button by itself.
    m_group->setExclusive(false);
    m_option->setChecked(false);
    m_group->setExclusive(true);
}

void QtOption::setFocus() { m_option->setFocus(Qt::OtherFocusReason); }

// ---- Drop-down lists

QtComboBox::QtComboBox(QComboBox* combo, const bool& alive) : QtControl(combo, alive), m_combo(combo) {
    QObject::connect(m_combo, &QComboBox::currentIndexChanged, m_combo, [this] {
        if (!m_setting) fire(click);
    });
}

int QtComboBox::listIndex() const { return m_combo->currentIndex(); }

void QtComboBox::setListIndex(int index) {
    if (index < 0 || index >= m_combo->count()) index = -1;
    if (index == m_combo->currentIndex()) return;
    m_setting = true;
    m_combo->setCurrentIndex(index);
    m_setting = false;
    fire(click);
}

int QtComboBox::listCount() const { return m_combo->count(); }

// ---- Buttons

QtButton::QtButton(QPushButton* button, const bool& alive) : QtControl(button, alive), m_button(button) {
    QObject::connect(m_button, &QAbstractButton::clicked, m_button, [this] { fire(click); });
    m_button->setMouseTracking(true);
    m_button->installEventFilter(new EventHook(m_button, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::MouseMove) fire(mouseMove);
        return false;
    }));
}

std::string QtButton::caption() const { return utf8(m_button->text()); }

void QtButton::setCaption(const std::string& caption) {
    m_button->setText(qtext(caption));
}

void QtButton::setMousePointer(ui::MousePointer pointer) {
    m_pointer = pointer;
    switch (pointer) {
        case ui::MousePointer::Hourglass:
            m_button->setCursor(Qt::WaitCursor);
            break;
        case ui::MousePointer::ArrowQuestion:
            m_button->setCursor(Qt::WhatsThisCursor);
            break;
        case ui::MousePointer::Default:
        default:
            m_button->unsetCursor();
            break;
    }
}

// ---- Tab strip

QtTabStrip::QtTabStrip(QTabWidget* tabs, const bool& alive) : QtControl(tabs, alive), m_tabs(tabs) {
    // Only the user changes the tab: there is no call to select one. The strip
    // takes the focus first, as a click on it would, so that hiding the old
    // tab's frames never hands the focus on to "OK" (Enter would then close).
    QObject::connect(m_tabs, &QTabWidget::currentChanged, m_tabs, [this] {
        m_tabs->tabBar()->setFocus(Qt::TabFocusReason);
        fire(click);
    });
}

int QtTabStrip::selectedIndex() const { return m_tabs->currentIndex() + 1; }

// ---- Progress bar

QtProgressBar::QtProgressBar(QProgressBar* bar, const bool& alive) : QtControl(bar, alive), m_bar(bar) {}

int QtProgressBar::value() const { return m_bar->value(); }

void QtProgressBar::setValue(int value) {
    // Qt ignores values outside the range; the bar shows the nearest end instead.
    m_bar->setValue(std::clamp(value, m_bar->minimum(), m_bar->maximum()));
}

// ---- Up-down

SpinArrows::SpinArrows(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);  // the buddy box keeps the focus, as with a spin box
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    setFocusPolicy(Qt::NoFocus);
}

void SpinArrows::showValue(int value, int minimum, int maximum) {
    const bool changed = value != m_value;
    m_value = value;
    m_min = minimum;
    m_max = maximum;
    if (changed && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
}

void SpinArrows::resizeEvent(QResizeEvent*) {
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

QtUpDown::QtUpDown(SpinArrows* arrows, QtTextBox* buddy, int min, int max, int value, const bool& alive)
    : QtControl(arrows, alive),
      m_arrows(arrows),
      m_buddy(buddy),
      m_min(min),
      m_max(max),
      m_value(std::clamp(value, min, max)) {
    m_arrows->showValue(m_value, m_min, m_max);
    QObject::connect(arrows->upButton(), &QToolButton::clicked, arrows, [this] { step(+1, upClick); });
    QObject::connect(arrows->downButton(), &QToolButton::clicked, arrows, [this] { step(-1, downClick); });
}

void QtUpDown::setValue(int value) {
    m_value = std::clamp(value, m_min, m_max);
    m_arrows->showValue(m_value, m_min, m_max);
    if (m_buddy) m_buddy->setText(std::to_string(m_value));
}

void QtUpDown::step(int delta, ui::Event<>& event) {
    const int next = m_value + delta;
    if (next >= m_min && next <= m_max) setValue(next);
    fire(event);
}

}  // namespace ui::qt
