// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/QtControls.h"

#include <QAccessible>
#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <limits>

#include "ui/qt/Look.h"
#include "ui/qt/Text.h"

namespace ui::qt {

QtLabel::QtLabel(QLabel* label) : QtControl(label) {}

QtFrame::QtFrame(QGroupBox* frame) : QtControl(frame) {}

// ---- Text boxes

const char* const kBytesMimeType = "application/x-quorval-bytes";

QtTextBox::QtTextBox(QLineEdit* line) : QtControl(line), m_line(line) {
    m_line->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(m_line, &QLineEdit::textEdited, &m_links, [this] { userEdited(); });
    hookEvents();
}

QtTextBox::QtTextBox(QPlainTextEdit* area) : QtControl(area), m_area(area) {
    // Only a change of characters is an edit; the counts cost nothing, however long the text.
    QObject::connect(m_area->document(), &QTextDocument::contentsChange, &m_links,
                     [this](int, int removed, int added) {
                         if (!m_writing && (removed > 0 || added > 0)) userEdited();
                     });
    hookEvents();
}

void QtTextBox::hookEvents() {
    auto* hook = new EventHook(&m_links, [this](QObject*, QEvent* event) { return filter(event); });
    m_widget->installEventFilter(hook);
    // A multi-line box gets the mouse, drops and its menu through its viewport.
    if (m_area) m_area->viewport()->installEventFilter(hook);
}

bool QtTextBox::filter(QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusIn: {
            // Coming back from another window or a popup is not the box getting the focus.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
            // The press that gave the focus places the cursor and clears any
            // selection: report the focus once that click is over.
            if (reason == Qt::MouseFocusReason && m_line)
                m_focusByMouse = true;
            else
                gotFocus.raise();
            return false;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::FocusOut:
            if (m_focusByMouse) {
                m_focusByMouse = false;
                if (event->type() == QEvent::MouseButtonRelease) gotFocus.raise();
            }
            return false;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Copy)) return copyBytes(false);
            if (key->matches(QKeySequence::Cut)) return copyBytes(true);
            if (key->matches(QKeySequence::Paste)) return pasteBytes();
            return false;
        }
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            // The key went up once, however long it auto-repeated.
            if (!key->isAutoRepeat()) keyUp.raise(windowsKeyCode(*key));
            return false;
        }
        case QEvent::ContextMenu:
            return contextMenu(*static_cast<QContextMenuEvent*>(event));
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return dragEvent(*static_cast<QDropEvent*>(event));
        default:
            return false;
    }
}

QString QtTextBox::shownText() const { return m_line ? m_line->text() : m_area->toPlainText(); }

std::string QtTextBox::text() const {
    // Converted once per edit, so an operation never converts a large text twice.
    if (!m_bytes) m_bytes = utf8(shownText());
    return *m_bytes;
}

void QtTextBox::setText(const std::string& bytes) {
    if (bytes == text()) return;
    showBytes(bytes);
    if (m_line) m_line->setCursorPosition(0);
    change.raise();
}

void QtTextBox::showBytes(const std::string& bytes) {
    m_bytes = bytes;
    QString shown = displayText(bytes);
    m_writing = true;
    if (m_line) {
        m_line->setText(shown);
    } else {
        shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        m_area->setPlainText(shown);
    }
    m_writing = false;
}

void QtTextBox::userEdited() {
    m_bytes.reset();
    change.raise();
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

// ---- Text boxes: the clipboard

std::pair<qsizetype, qsizetype> QtTextBox::selection() const {
    if (m_line) {
        if (!m_line->hasSelectedText()) return {m_line->cursorPosition(), m_line->cursorPosition()};
        return {m_line->selectionStart(), m_line->selectionEnd()};
    }
    const QTextCursor cursor = m_area->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd()};
}

qsizetype QtTextBox::shownLength() const {
    return m_line ? m_line->text().size() : m_area->document()->characterCount() - 1;
}

QString QtTextBox::selectedShownText() const {
    return m_line ? m_line->selectedText() : m_area->textCursor().selection().toPlainText();
}

bool QtTextBox::readOnly() const { return m_line ? m_line->isReadOnly() : m_area->isReadOnly(); }

bool QtTextBox::copyBytes(bool cut) {
    // Qt never copies what a password box hides, nor cuts from a box the user cannot edit.
    if (m_line && m_line->echoMode() != QLineEdit::Normal) return false;
    if (cut && readOnly()) return false;
    const auto [from, to] = selection();
    if (from == to) return false;
    const std::string bytes = text();
    const auto range = shownRangeInBytes(bytes, m_area != nullptr, shownLength(), from, to);
    if (!range) return false;  // the text is all there is
    const std::string selected = bytes.substr(range->first, range->second - range->first);
    const QString shown = selectedShownText();
    // Text that any clipboard carries whole needs nothing of ours.
    if (selected.find('\0') == std::string::npos && selected == utf8(shown)) return false;
    auto* data = new QMimeData;
    data->setText(shown);
    data->setData(QString::fromLatin1(kBytesMimeType), QByteArray::fromStdString(selected));
    QGuiApplication::clipboard()->setMimeData(data);
    if (cut) replaceBytes(range->first, range->second, std::string());
    return true;
}

bool QtTextBox::pasteBytes() {
    if (readOnly()) return false;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(QString::fromLatin1(kBytesMimeType))) return false;
    const auto [from, to] = selection();
    const auto range = shownRangeInBytes(text(), m_area != nullptr, shownLength(), from, to);
    if (!range) return false;
    replaceBytes(range->first, range->second, data->data(QString::fromLatin1(kBytesMimeType)).toStdString());
    return true;
}

void QtTextBox::replaceBytes(size_t begin, size_t end, const std::string& with) {
    std::string bytes = text();
    bytes.replace(begin, end - begin, with);
    const bool changed = bytes != text();
    showBytes(bytes);
    // The cursor goes after what was put in, as after any paste.
    const qsizetype cursor = shownPosition(bytes, m_area != nullptr, begin + with.size());
    if (m_line) {
        m_line->setCursorPosition(static_cast<int>(cursor));
    } else {
        QTextCursor moved = m_area->textCursor();
        moved.setPosition(static_cast<int>(cursor));
        m_area->setTextCursor(moved);
    }
    if (changed) change.raise();
}

void QtTextBox::clip(Clip action) {
    switch (action) {
        case Clip::Copy:
            if (copyBytes(false)) return;
            m_line ? m_line->copy() : m_area->copy();
            return;
        case Clip::Cut:
            if (copyBytes(true)) return;
            m_line ? m_line->cut() : m_area->cut();
            return;
        case Clip::Paste:
            if (pasteBytes()) return;
            m_line ? m_line->paste() : m_area->paste();
            return;
    }
}

std::optional<QtTextBox::Clip> QtTextBox::clipAction(QAction* action) {
    static const struct {
        const char* name;  // the multi-line box's menu names its actions
        const char* slot;  // the line box's menu connects them to its slots
        Clip clip;
    } kActions[] = {{"edit-copy", SLOT(copy()), Clip::Copy},
                    {"edit-cut", SLOT(cut()), Clip::Cut},
                    {"edit-paste", SLOT(paste()), Clip::Paste}};
    for (const auto& known : kActions) {
        if (action->objectName() == QLatin1String(known.name)) return known.clip;
        if (m_line && QObject::disconnect(action, SIGNAL(triggered()), m_line, known.slot)) return known.clip;
    }
    return std::nullopt;
}

bool QtTextBox::contextMenu(const QContextMenuEvent& event) {
    QMenu* menu = m_line ? m_line->createStandardContextMenu() : m_area->createStandardContextMenu();
    if (!menu) return false;
    // Qt's own copy, cut and paste entries give way to ours, looking the same.
    for (QAction* action : menu->actions()) {
        const std::optional<Clip> clipping = clipAction(action);
        if (!clipping) continue;
        auto* ours = new QAction(action->icon(), action->text(), menu);
        ours->setEnabled(action->isEnabled());
        QObject::connect(ours, &QAction::triggered, &m_links, [this, which = *clipping] { clip(which); });
        menu->insertAction(action, ours);
        menu->removeAction(action);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event.globalPos());
    return true;
}

// ---- Text boxes: drops

std::optional<std::string> QtTextBox::droppableFile(const QDropEvent& event) const {
    if (fileDropped.empty() || !m_widget->isEnabled()) return std::nullopt;
    // Only the path is read: the file is neither moved nor copied.
    if (!(event.possibleActions() & (Qt::CopyAction | Qt::LinkAction))) return std::nullopt;
    const QMimeData* data = event.mimeData();
    if (!data || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    const QString path = urls.front().toLocalFile();
    if (!QFileInfo(path).isFile()) return std::nullopt;  // a folder, a device, or gone
    return QFile::encodeName(path).toStdString();
}

bool QtTextBox::dragEvent(QDropEvent& event) {
    // Whatever it carries, a drop never inserts text: the box takes one file or nothing.
    const std::optional<std::string> path = droppableFile(event);
    if (!path) {
        event.ignore();
        return true;
    }
    event.setDropAction(event.possibleActions() & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    event.accept();
    if (event.type() == QEvent::Drop) fileDropped.raise(*path);
    return true;
}

// ---- Option buttons

QtOption::QtOption(QRadioButton* option, QButtonGroup* group)
    : QtControl(option), m_option(option), m_group(group) {
    QObject::connect(m_option, &QAbstractButton::clicked, &m_links, [this] { click.raise(); });
}

bool QtOption::value() const { return m_option->isChecked(); }

void QtOption::setValue(bool selected) {
    if (selected == m_option->isChecked()) return;
    if (selected) {
        m_option->setChecked(true);  // the exclusive group clears the others
        click.raise();
        return;
    }
    // An exclusive group never unchecks its checked button by itself.
    m_group->setExclusive(false);
    m_option->setChecked(false);
    m_group->setExclusive(true);
}

void QtOption::setFocus() { m_option->setFocus(Qt::OtherFocusReason); }

// ---- Drop-down lists

QtComboBox::QtComboBox(QComboBox* combo) : QtControl(combo), m_combo(combo) {
    QObject::connect(m_combo, &QComboBox::currentIndexChanged, &m_links, [this] {
        if (!m_setting) click.raise();
    });
}

int QtComboBox::listIndex() const { return m_combo->currentIndex(); }

void QtComboBox::setListIndex(int index) {
    if (index < 0 || index >= m_combo->count()) index = -1;
    if (index == m_combo->currentIndex()) return;
    m_setting = true;
    m_combo->setCurrentIndex(index);
    m_setting = false;
    click.raise();
}

int QtComboBox::listCount() const { return m_combo->count(); }

// ---- Buttons

QtButton::QtButton(QPushButton* button) : QtControl(button), m_button(button) {
    QObject::connect(m_button, &QAbstractButton::clicked, &m_links, [this] { click.raise(); });
    m_button->setMouseTracking(true);
    m_button->installEventFilter(new EventHook(&m_links, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::MouseMove) mouseMove.raise();
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

QtTabStrip::QtTabStrip(QTabWidget* tabs) : QtControl(tabs), m_tabs(tabs) {
    // Only the user changes the tab: there is no call to select one. The strip
    // takes the focus first, as a click on it would, so that hiding the old
    // tab's frames never hands the focus on to "OK" (Enter would then close).
    QObject::connect(m_tabs, &QTabWidget::currentChanged, &m_links, [this] {
        m_tabs->tabBar()->setFocus(Qt::TabFocusReason);
        click.raise();
    });
}

int QtTabStrip::selectedIndex() const { return m_tabs->currentIndex() + 1; }

// ---- Progress bar

QtProgressBar::QtProgressBar(QProgressBar* bar) : QtControl(bar), m_bar(bar), m_value(bar->value()) {}

int QtProgressBar::value() const { return m_value; }

void QtProgressBar::setValue(int value) {
    // Qt ignores values outside the range; the bar shows the nearest end instead.
    m_value = std::clamp(value, m_bar->minimum(), m_bar->maximum());
    const qint64 since = m_shown.isValid() ? m_shown.elapsed() : kRepaintIntervalMs;
    if (!m_bar->isVisible() || since >= kRepaintIntervalMs) return showValue();
    if (m_catchUpPending) return;
    // The latest value shows once the interval is over, at the next yield.
    m_catchUpPending = true;
    QTimer::singleShot(static_cast<int>(kRepaintIntervalMs - since), &m_links, [this] {
        m_catchUpPending = false;
        showValue();
    });
}

void QtProgressBar::showValue() {
    if (m_bar->value() == m_value) return;
    m_bar->setValue(m_value);
    m_shown.start();
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

QtUpDown::QtUpDown(SpinArrows* arrows, QtTextBox* buddy, int min, int max, int value)
    : QtControl(arrows),
      m_arrows(arrows),
      m_buddy(buddy),
      m_min(min),
      m_max(max),
      m_value(std::clamp(value, min, max)) {
    m_arrows->showValue(m_value, m_min, m_max);
    QObject::connect(arrows->upButton(), &QToolButton::clicked, &m_links, [this] { step(+1, upClick); });
    QObject::connect(arrows->downButton(), &QToolButton::clicked, &m_links, [this] { step(-1, downClick); });
}

void QtUpDown::setValue(int value) {
    m_value = std::clamp(value, m_min, m_max);
    m_arrows->showValue(m_value, m_min, m_max);
    if (m_buddy) m_buddy->setText(std::to_string(m_value));
}

void QtUpDown::step(int delta, ui::Event<>& event) {
    const int next = m_value + delta;
    if (next >= m_min && next <= m_max) setValue(next);
    event.raise();
}

}  // namespace ui::qt
