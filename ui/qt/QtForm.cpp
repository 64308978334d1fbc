// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/QtForm.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

#include "ui/ControlLookup.h"
#include "ui/qt/Accessible.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/Text.h"

namespace ui::qt {
namespace {

bool takesFocus(ui::ControlKind kind) {
    switch (kind) {
        case ui::ControlKind::TextBox:
        case ui::ControlKind::Option:
        case ui::ControlKind::ComboBox:
        case ui::ControlKind::Button:
        case ui::ControlKind::TabStrip:
            return true;
        default:
            return false;
    }
}

// An option button that answers over the whole rectangle the table gives it, not
// only over its circle and caption: a click right of a short caption selects it too.
class WholeOptionButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

QtForm::QtForm(const ui::FormLayout& layout, FormRole role, QWidget* owner, const Geometry& geometry, Refit refit)
    : m_layout(layout), m_role(role), m_geometry(geometry), m_refit(std::move(refit)) {
    installAccessibility();
    if (role == FormRole::Main) {
        m_window = std::make_unique<QWidget>();
        markMainFrame(m_window.get());
        m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    } else {
        auto dialog = std::make_unique<QDialog>(owner);
        dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint);
        dialog->setModal(true);
        m_window = std::move(dialog);
        // The owner window, as the dialog's Qt parent, takes it along should it go first:
        // the form then lets go, its links cut while the widgets still stand.
        QObject::connect(m_window.get(), &QObject::destroyed, m_links.get(), [this] {
            m_links.reset();
            m_controls.clear();
            (void)m_window.release();
        });
    }
    // The close box: the main window stays open and the logic decides; a dialog
    // closes (and a running showModal returns) once the logic has heard of it.
    m_window->installEventFilter(new EventHook(m_links.get(), [this](QObject*, QEvent* event) {
        // The frame arrives with the window manager (and moves the window), a screen with a move.
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::Move || type == QEvent::ScreenChangeInternal)
            fitScreen(type == QEvent::Show);
        if (event->type() != QEvent::Close) return false;
        closeRequested.raise();
        if (m_role == FormRole::Dialog) return false;
        event->ignore();
        return true;
    }));
    m_window->setObjectName(qtext(layout.name));
    m_window->setWindowTitle(qtext(layout.caption));
    if (role == FormRole::Main && m_refit) {
        m_room = room();
        build(m_refit(m_room));
    } else {
        build(geometry);
    }
}

QtForm::~QtForm() = default;

void QtForm::build(const Geometry& geometry) {
    // Up-downs come last: they attach to a buddy box that must exist.
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (c.kind == ui::ControlKind::UpDown) continue;
        QWidget* parent = m_window.get();
        if (!c.container.empty()) {
            auto it = m_controls.find({c.container, -1});
            if (it == m_controls.end() || !qobject_cast<QGroupBox*>(it->second.widget))
                throw std::invalid_argument(ui::controlId(c.name, c.index) + " lies in " + c.container +
                                            ", which is not a frame listed before it");
            parent = it->second.widget;
        }
        createControl(c, parent);
    }
    for (const ui::ControlLayout& c : m_layout.controls)
        if (c.kind == ui::ControlKind::UpDown) placeUpDown(c);
    // A label names the control it stands beside, for screen readers.
    for (const ui::ControlLayout& c : m_layout.controls)
        if (c.kind == ui::ControlKind::Label && !c.buddy.empty())
            qobject_cast<QLabel*>(widget(c.name, c.index))->setBuddy(widget(c.buddy));
    applyGeometry(geometry);
    chainTabOrder();
    keepTabStopsOnSelection();
    // While the window scrolls, the control with the focus is brought into view.
    if (m_role == FormRole::Main)
        QObject::connect(qApp, &QApplication::focusChanged, m_links.get(), [this](QWidget*, QWidget* now) {
            if (!m_scroller || !now || !m_content->isAncestorOf(now)) return;
            // The whole control, not only a box's caret; the top left of one larger than the view.
            const QPoint centre = now->mapTo(m_content, now->rect().center());
            const int margin = m_geometry.pixels(120);
            m_scroller->ensureVisible(centre.x(), centre.y(), now->width() / 2 + margin, now->height() / 2 + margin);
        });

    // Escape and Enter reach the form's cancel and default buttons from any control.
    auto* keys = new EventHook(m_links.get(), [this](QObject* watched, QEvent* event) {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        return handleKey(static_cast<QWidget*>(watched), *static_cast<QKeyEvent*>(event));
    });
    m_window->installEventFilter(keys);
    for (QWidget* child : m_window->findChildren<QWidget*>()) child->installEventFilter(keys);

    // The desktop's palette and font may change while the window is open (theme tools
    // hand theirs over once the program runs).
    QCoreApplication::instance()->installEventFilter(
        new EventHook(m_links.get(), [this](QObject* watched, QEvent* event) {
            if (watched == QCoreApplication::instance()) followPlatform(event->type());
            return false;
        }));
}

void QtForm::followPlatform(QEvent::Type type) {
    if (type == QEvent::ApplicationPaletteChange) {
        // A box's own background is one of the platform's colours: take it afresh.
        for (auto& [key, entry] : m_controls)
            if (auto* box = dynamic_cast<QtTextBox*>(entry.control.get())) box->setBackColor(box->backColor());
    } else if (type == QEvent::ApplicationFontChange && m_refit) {
        const Geometry fitted = m_refit(m_room);
        if (fitted != m_geometry) applyGeometry(fitted);
    }
}

QSize QtForm::room() const {
    if (m_role != FormRole::Main) return QSize();
    const QScreen* screen = m_window->screen();
    if (!screen) return QSize();
    QSize room = screen->availableGeometry().size();
    if (m_window->isVisible()) room -= m_window->frameGeometry().size() - m_window->size();
    return room;
}

void QtForm::fitScreen(bool place) {
    if (m_role != FormRole::Main || !m_refit) return;
    const QSize now = room();
    if (now != m_room) {
        m_room = now;
        applyGeometry(m_refit(m_room));
    }
    // Placed where the desktop left room for it, should it stick out as it shows (no window
    // manager placed it, or one did without looking at its size); later the user decides.
    const QScreen* screen = m_window->screen();
    if (!place || !screen || !m_window->isVisible()) return;
    const QRect area = screen->availableGeometry();
    const QRect frame = m_window->frameGeometry();
    if (area.contains(frame) || frame.width() > area.width() || frame.height() > area.height()) return;
    QPoint corner = frame.topLeft();
    corner.setX(std::clamp(corner.x(), area.left(), area.right() + 1 - frame.width()));
    corner.setY(std::clamp(corner.y(), area.top(), area.bottom() + 1 - frame.height()));
    m_window->move(corner);
}

bool QtForm::inBottomRow(const ui::ControlLayout& c) const {
    if (!c.container.empty() || c.kind == ui::ControlKind::TabStrip) return false;
    bool belowStrip = false;
    for (const ui::ControlLayout& strip : m_layout.controls) {
        if (strip.kind != ui::ControlKind::TabStrip || !strip.container.empty()) continue;
        if (c.rect.top < strip.rect.top + strip.rect.height) return false;
        belowStrip = true;
    }
    return belowStrip;
}

void QtForm::setScrolling(bool on) {
    if (on == (m_scroller != nullptr)) return;
    QWidget* focused = m_window->focusWidget();
    if (on) {
        m_scroller = new QScrollArea(m_window.get());
        m_scroller->setObjectName(QStringLiteral("scroller"));
        m_scroller->setFrameShape(QFrame::NoFrame);
        m_scroller->setFocusPolicy(Qt::NoFocus);
        m_scroller->setWidgetResizable(false);
        m_content = new QWidget;
        m_content->setObjectName(QStringLiteral("scrolled"));
        m_scroller->setWidget(m_content);
        m_scroller->lower();
        m_scroller->show();
    }
    // Everything but the bottom row moves into the scroll area, or back, in table order,
    // so that frames still lie over the tab strip.
    QWidget* parent = on ? m_content : m_window.get();
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (!c.container.empty() || inBottomRow(c)) continue;
        QWidget* w = widget(c.name, c.index);
        const bool hidden = w->testAttribute(Qt::WA_WState_ExplicitShowHide) && w->isHidden();
        w->setParent(parent);
        if (!hidden) w->show();
    }
    if (!on) {
        delete m_scroller;
        m_scroller = nullptr;
        m_content = nullptr;
    }
    chainTabOrder();
    if (focused) focused->setFocus(Qt::OtherFocusReason);
}

QSize QtForm::placeScrolling(const Geometry& geometry) {
    const QSize whole = geometry.size(m_layout.clientWidth, m_layout.clientHeight);
    int rowTop = m_layout.clientHeight;
    for (const ui::ControlLayout& c : m_layout.controls)
        if (inBottomRow(c)) rowTop = std::min(rowTop, c.rect.top);
    // The scrolled part ends where the rest of the table does, its margin to the row kept.
    int contentBottom = 0;
    for (const ui::ControlLayout& c : m_layout.controls)
        if (c.container.empty() && !inBottomRow(c)) contentBottom = std::max(contentBottom, c.rect.top + c.rect.height);
    const QSize content(whole.width(), geometry.pixels(std::min(contentBottom, rowTop)));
    const int row = whole.height() - content.height();  // the bottom row and its margin

    // Scroll bars only where needed; one may bring the other.
    const int bar = m_scroller->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroller);
    const int step = geometry.step();
    auto fitting = [step](int wanted, int room) { return wanted <= room ? wanted : room / step * step; };
    bool across = false;
    bool down = content.height() > m_room.height() - row;
    QSize size;
    for (int pass = 0; pass < 2; ++pass) {
        size.setWidth(fitting(content.width() + (down ? bar : 0), m_room.width()));
        across = content.width() > size.width() - (down ? bar : 0);
        size.setHeight(fitting(content.height() + row + (across ? bar : 0), m_room.height()));
        down = content.height() > size.height() - row - (across ? bar : 0);
    }
    m_content->setFixedSize(content);
    m_scroller->setGeometry(0, 0, size.width(), size.height() - row);

    // The bottom row keeps its distance from the window's bottom; the buttons on the right
    // keep theirs from its right edge, short of covering those on the left.
    const int shift = std::max(0, whole.width() - size.width());
    int leftEnd = 0;
    int rightStart = whole.width();
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (!inBottomRow(c)) continue;
        const QRect r = geometry.rect(c.rect);
        if (2 * c.rect.left < m_layout.clientWidth)
            leftEnd = std::max(leftEnd, r.right() + 1);
        else
            rightStart = std::min(rightStart, r.left());
    }
    const int gap = geometry.pixels(120);
    const int rightShift = std::min(shift, std::max(0, rightStart - leftEnd - gap));
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (!inBottomRow(c)) continue;
        QRect r = geometry.rect(c.rect);
        r.translate(2 * c.rect.left < m_layout.clientWidth ? 0 : -rightShift, size.height() - whole.height());
        widget(c.name, c.index)->setGeometry(r);
    }
    return size;
}

void QtForm::applyGeometry(const Geometry& geometry) {
    m_geometry = geometry;
    const QSize whole = geometry.size(m_layout.clientWidth, m_layout.clientHeight);
    setScrolling(m_role == FormRole::Main && m_room.isValid() &&
                 (whole.width() > m_room.width() || whole.height() > m_room.height()));
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (c.kind == ui::ControlKind::UpDown) continue;
        QWidget* w = widget(c.name, c.index);
        QRect rect = geometry.rect(c.rect);
        // Between device pixels, a scroll area's viewport would cover the far lines of its
        // frame: the viewport's far edges go onto whole device pixels, the frame's beyond them.
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w); area && geometry.step() > 1) {
            const int shrink = (geometry.step() - area->frameWidth() % geometry.step()) % geometry.step();
            rect.adjust(0, 0, -shrink, -shrink);
        }
        w->setGeometry(rect);
    }
    for (const ui::ControlLayout& c : m_layout.controls)
        if (c.kind == ui::ControlKind::UpDown) fitUpDown(c, geometry);
    m_window->setFixedSize(m_scroller ? placeScrolling(geometry) : whole);
}

void QtForm::createControl(const ui::ControlLayout& c, QWidget* parent) {
    const QString caption = qtext(c.caption);
    Entry entry;
    switch (c.kind) {
        case ui::ControlKind::Label: {
            auto* label = new QLabel(caption, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            entry.widget = label;
            entry.control = std::make_unique<QtLabel>(label);
            break;
        }
        case ui::ControlKind::TextBox: {
            std::unique_ptr<QtTextBox> box;
            if (c.style == ui::TextBoxStyle::MultiLine) {
                auto* area = new QPlainTextEdit(parent);
                area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                area->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                area->setTabChangesFocus(true);
                area->setReadOnly(c.readOnlyGrey);
                // Read-only still lets the keyboard move and select: screen readers follow the caret.
                if (c.readOnlyGrey)
                    area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
                entry.widget = area;
                box = std::make_unique<QtTextBox>(area);
            } else {
                auto* line = new QLineEdit(parent);
                line->setReadOnly(c.readOnlyGrey);
                entry.widget = line;
                box = std::make_unique<QtTextBox>(line);
            }
            box->setText(c.caption);
            if (c.readOnlyGrey) box->setBackColor(ui::SysColor::InactiveBorder);
            entry.control = std::move(box);
            break;
        }
        case ui::ControlKind::Option: {
            // Auto-exclusive, as a radio button is for screen readers and arrow keys; the
            // array's group decides which buttons exclude each other.
            auto* option = new WholeOptionButton(caption, parent);
            const std::string groupName = "group:" + c.name;
            auto* group = parent->findChild<QButtonGroup*>(qtext(groupName), Qt::FindDirectChildrenOnly);
            if (!group) {
                group = new QButtonGroup(parent);
                group->setObjectName(qtext(groupName));
                group->setExclusive(true);
                m_groups.push_back({group, {}});
            }
            group->addButton(option);
            for (OptionGroup& known : m_groups)
                if (known.group == group) known.members.emplace_back(c.tabOrder, option);
            option->setChecked(c.selected);
            entry.widget = option;
            entry.control = std::make_unique<QtOption>(option, group);
            break;
        }
        case ui::ControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            for (const std::string& item : c.items) combo->addItem(qtext(item));
            combo->setCurrentIndex(-1);  // nothing chosen until the logic picks an entry
            entry.widget = combo;
            entry.control = std::make_unique<QtComboBox>(combo);
            break;
        }
        case ui::ControlKind::Button: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(true);  // Enter on a focused button clicks it
            if (m_role == FormRole::Dialog && c.name == m_layout.defaultButton) button->setDefault(true);
            entry.widget = button;
            entry.control = std::make_unique<QtButton>(button);
            break;
        }
        case ui::ControlKind::Frame: {
            auto* frame = new QGroupBox(caption, parent);
            entry.widget = frame;
            entry.control = std::make_unique<QtFrame>(frame);
            break;
        }
        case ui::ControlKind::TabStrip: {
            auto* tabs = new QTabWidget(parent);
            tabs->setUsesScrollButtons(false);
            tabs->setElideMode(Qt::ElideNone);
            // A click takes the focus, so hiding the old tab's frames never hands it to "OK".
            tabs->tabBar()->setFocusPolicy(Qt::StrongFocus);
            // The pages stay empty: each tab's frames are the window's own children lying over them.
            for (const std::string& item : c.items) tabs->addTab(new QWidget, qtext(item));
            entry.widget = tabs;
            entry.control = std::make_unique<QtTabStrip>(tabs);
            break;
        }
        case ui::ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(c.min, c.max > c.min ? c.max : 100);
            bar->setValue(bar->minimum());
            bar->setTextVisible(false);
            entry.widget = bar;
            entry.control = std::make_unique<QtProgressBar>(bar);
            break;
        }
        case ui::ControlKind::UpDown:
            return;  // placeUpDown
    }
    entry.widget->setObjectName(qtext(ui::controlId(c.name, c.index)));
    nameForScreenReaders(c, entry.widget);
    if (!c.toolTip.empty()) entry.widget->setToolTip(qtext(c.toolTip));
    if (!takesFocus(c.kind) || c.tabOrder < 0) entry.widget->setFocusPolicy(Qt::NoFocus);
    if (!c.enabled) entry.control->setEnabled(false);
    if (!c.visible) entry.control->setVisible(false);
    m_controls[{c.name, c.index}] = std::move(entry);
}

void QtForm::placeUpDown(const ui::ControlLayout& c) {
    QWidget* parent = m_window.get();
    if (!c.container.empty()) parent = widget(c.container);
    QtTextBox* buddy = nullptr;
    if (!c.buddy.empty()) buddy = &dynamic_cast<QtTextBox&>(textBox(c.buddy));

    auto* arrows = new SpinArrows(parent);
    arrows->setObjectName(qtext(c.name));
    if (!c.toolTip.empty()) arrows->setToolTip(qtext(c.toolTip));
    // Named after the box they step, as are the two arrows.
    const QString what = buddy ? buddy->widget()->accessibleName() : QString();
    nameForScreenReaders(c, arrows);
    if (arrows->accessibleName().isEmpty() && !what.isEmpty()) arrows->setAccessibleName(what + QStringLiteral(" arrows"));
    arrows->upButton()->setAccessibleName(what.isEmpty() ? QStringLiteral("Up") : what + QStringLiteral(" up"));
    arrows->downButton()->setAccessibleName(what.isEmpty() ? QStringLiteral("Down") : what + QStringLiteral(" down"));

    Entry entry;
    entry.widget = arrows;
    auto upDown = std::make_unique<QtUpDown>(arrows, buddy, c.min, c.max, c.value);
    upDown->setValue(c.value);
    entry.control = std::move(upDown);
    if (!c.enabled) entry.control->setEnabled(false);
    if (!c.visible) entry.control->setVisible(false);
    m_controls[{c.name, c.index}] = std::move(entry);
}

void QtForm::fitUpDown(const ui::ControlLayout& c, const Geometry& geometry) {
    QWidget* arrows = widget(c.name);
    const QRect rect = geometry.rect(c.rect);
    arrows->setGeometry(rect);
    if (c.buddy.empty()) return;
    QWidget* box = widget(c.buddy);
    if (box->parentWidget() != arrows->parentWidget()) return;
    // The arrows sit at the box's right end; the box gives up the width they cover.
    QRect boxRect = box->geometry();
    if (boxRect.left() < rect.left() && boxRect.right() >= rect.left()) {
        boxRect.setRight(rect.left() - 1);
        box->setGeometry(boxRect);
    }
}

void QtForm::nameForScreenReaders(const ui::ControlLayout& c, QWidget* widget) {
    // Screen readers see the tab strip's bar, not the widget around it.
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) widget = tabs->tabBar();
    QString name = qtext(c.accessibleName);
    // A frame in a frame would otherwise take its parent's caption.
    if (name.isEmpty() && c.kind == ui::ControlKind::Frame) name = qtext(c.caption);
    if (!name.isEmpty()) widget->setAccessibleName(name);
    if (!c.accessibleDescription.empty()) widget->setAccessibleDescription(qtext(c.accessibleDescription));
}

void QtForm::chainTabOrder() {
    std::vector<std::pair<int, QWidget*>> chain;
    for (const ui::ControlLayout& c : m_layout.controls)
        if (takesFocus(c.kind) && c.tabOrder >= 0) chain.emplace_back(c.tabOrder, widget(c.name, c.index));
    std::stable_sort(chain.begin(), chain.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1].second, chain[i].second);
}

void QtForm::keepTabStopsOnSelection() {
    for (OptionGroup& group : m_groups) {
        std::stable_sort(group.members.begin(), group.members.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QObject::connect(group.group, &QButtonGroup::buttonToggled, m_links.get(),
                         [this, &group] { updateTabStop(group); });
        // Focus moved onto another member (by the program, or by a click) keeps the stop only while there.
        auto* hook = new EventHook(m_links.get(), [this, &group](QObject*, QEvent* event) {
            const QEvent::Type type = event->type();
            if (type == QEvent::FocusOut || type == QEvent::EnabledChange) updateTabStop(group);
            return false;
        });
        for (const auto& member : group.members) member.second->installEventFilter(hook);
        updateTabStop(group);
    }
}

void QtForm::updateTabStop(const OptionGroup& group) {
    // Tab enters a group at its selected member, or at its first when none can take it.
    QRadioButton* stop = nullptr;
    for (const auto& member : group.members)
        if (member.second->isChecked() && member.second->isEnabled()) stop = member.second;
    for (const auto& member : group.members) {
        if (stop) break;
        if (member.second->isEnabled()) stop = member.second;
    }
    for (const auto& member : group.members) {
        QRadioButton* option = member.second;
        if (option->focusPolicy() == Qt::NoFocus) continue;
        option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

bool QtForm::usable(const ui::ControlLayout& c) const {
    const ui::Control& control = *ui::findControl(m_controls, m_layout.name, c.name, c.index).control;
    if (!control.isEnabled() || !control.isVisible()) return false;
    if (c.container.empty()) return true;
    const ui::ControlLayout* container = m_layout.find(c.container);
    return container && usable(*container);
}

void QtForm::focusFirst() {
    if (m_window->focusWidget()) return;
    const ui::ControlLayout* first = nullptr;
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (!takesFocus(c.kind) || c.tabOrder < 0 || !usable(c)) continue;
        if (!first || c.tabOrder < first->tabOrder) first = &c;
    }
    if (!first) return;
    // In an option group the focus goes to the selected member, as Tab would take it there.
    if (first->kind == ui::ControlKind::Option && first->index >= 0) {
        for (const ui::ControlLayout& c : m_layout.controls) {
            if (c.name != first->name || c.container != first->container || !usable(c)) continue;
            auto* option = qobject_cast<QRadioButton*>(widget(c.name, c.index));
            if (option && option->isChecked()) first = &c;
        }
    }
    widget(first->name, first->index)->setFocus(Qt::OtherFocusReason);
}

bool QtForm::handleKey(QWidget* receiver, const QKeyEvent& event) {
    if (receiver->window() != m_window.get()) return false;  // a drop-down's open list, for one
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (modifiers & Qt::ControlModifier) return switchTab(event.key(), modifiers);
    if (modifiers != Qt::NoModifier) return false;
    switch (event.key()) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            // In a column of options, Left and Right move as Up and Down do.
            if (!qobject_cast<QRadioButton*>(receiver)) return false;
            QKeyEvent vertical(QEvent::KeyPress, event.key() == Qt::Key_Left ? Qt::Key_Up : Qt::Key_Down,
                               event.modifiers());
            QCoreApplication::sendEvent(receiver, &vertical);
            return true;
        }
        case Qt::Key_Escape:
            if (m_layout.cancelButton.empty()) return m_role == FormRole::Dialog;  // no button, no reaction
            clickIfUsable(m_layout.cancelButton);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_layout.defaultButton.empty()) return false;
            if (qobject_cast<QPushButton*>(receiver)) return false;  // a focused button clicks itself
            clickIfUsable(m_layout.defaultButton);
            return true;
        default:
            return false;
    }
}

bool QtForm::switchTab(int key, Qt::KeyboardModifiers modifiers) {
    // Ctrl+Tab and Ctrl+PgDn go to the next tab, Ctrl+Shift+Tab and Ctrl+PgUp to the previous
    // one, round the strip, from anywhere in the window: the frames do not lie inside the strip.
    const bool shift = modifiers & Qt::ShiftModifier;
    int step = 0;
    if ((key == Qt::Key_Tab && !shift) || (key == Qt::Key_PageDown && !shift))
        step = 1;
    else if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && shift) || (key == Qt::Key_PageUp && !shift))
        step = -1;
    if (step == 0 || (modifiers & ~(Qt::ControlModifier | Qt::ShiftModifier))) return false;
    for (const ui::ControlLayout& c : m_layout.controls) {
        if (c.kind != ui::ControlKind::TabStrip || !usable(c)) continue;
        auto* tabs = qobject_cast<QTabWidget*>(widget(c.name, c.index));
        if (!tabs || tabs->count() < 2) return false;
        // As a click on the tab would: the strip's click event runs the switch.
        tabs->setCurrentIndex((tabs->currentIndex() + step + tabs->count()) % tabs->count());
        return true;
    }
    return false;
}

void QtForm::clickIfUsable(const std::string& buttonName) {
    const ui::ControlLayout* layout = m_layout.find(buttonName);
    auto* pushButton = qobject_cast<QPushButton*>(widget(buttonName));
    // A button that is disabled, hidden or in a disabled frame cannot be clicked.
    if (layout && pushButton && usable(*layout)) pushButton->click();
}

std::string QtForm::caption() const { return m_window->windowTitle().toUtf8().toStdString(); }

void QtForm::setCaption(const std::string& caption) { m_window->setWindowTitle(qtext(caption)); }

QWidget* QtForm::widget(const std::string& name, int index) const {
    return ui::findControl(m_controls, m_layout.name, name, index).widget;
}

template <typename T>
T& QtForm::get(const std::string& name, int index) {
    ui::Control* control = ui::findControl(m_controls, m_layout.name, name, index).control.get();
    return ui::controlOfKind<T>(control, name, index);
}

ui::TextBox& QtForm::textBox(const std::string& name) { return get<ui::TextBox>(name, -1); }
ui::OptionButton& QtForm::option(const std::string& name, int index) {
    return get<ui::OptionButton>(name, index);
}
ui::ComboBox& QtForm::comboBox(const std::string& name) { return get<ui::ComboBox>(name, -1); }
ui::Button& QtForm::button(const std::string& name) { return get<ui::Button>(name, -1); }
ui::Frame& QtForm::frame(const std::string& name) { return get<ui::Frame>(name, -1); }
ui::Label& QtForm::label(const std::string& name, int index) { return get<ui::Label>(name, index); }
ui::TabStrip& QtForm::tabStrip(const std::string& name) { return get<ui::TabStrip>(name, -1); }
ui::ProgressBar& QtForm::progressBar(const std::string& name) { return get<ui::ProgressBar>(name, -1); }
ui::UpDown& QtForm::upDown(const std::string& name) { return get<ui::UpDown>(name, -1); }

void QtForm::show() {
    focusFirst();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void QtForm::showModal() {
    auto* dialog = qobject_cast<QDialog*>(m_window.get());
    if (!dialog) {
        show();
        return;
    }
    // Each showing starts afresh: a button clicked last time must not take Enter from the default one.
    if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
    focusFirst();
    dialog->exec();
}

void QtForm::hide() { m_window->hide(); }

}  // namespace ui::qt
