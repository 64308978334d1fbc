// SPDX-License-Identifier: Apache-2.0
#pragma once
// The controls of the windowing layer over Qt widgets: each adapter forwards
// calls to its widget and turns the widget's user events into ui events.

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "ui/Controls.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QContextMenuEvent;
class QDropEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace ui::qt {

// Calls a function for each event of the objects it watches.
class EventHook : public QObject {
public:
    using Handler = std::function<bool(QObject*, QEvent*)>;
    EventHook(QObject* parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return m_handler(watched, event); }

private:
    Handler m_handler;
};

// A control over its widget, which belongs to its Qt parent. The control's end
// of every Qt connection and event hook is `m_links`: once the control is gone,
// nothing its widget does reaches it or the logic.
template <typename Base>
class QtControl : public Base {
public:
    explicit QtControl(QWidget* widget) : m_widget(widget) {}

    void setEnabled(bool enabled) override {
        m_enabled = enabled;
        m_widget->setEnabled(enabled);
    }
    bool isEnabled() const override { return m_enabled; }
    void setVisible(bool visible) override {
        m_visible = visible;
        m_widget->setVisible(visible);
    }
    bool isVisible() const override { return m_visible; }

    QWidget* widget() const { return m_widget; }

protected:
    QWidget* m_widget;
    // The context of the control's connections and the parent of its event hooks.
    QObject m_links;

private:
    // The control's own flags; Qt's answer would include the ancestors'.
    bool m_enabled = true;
    bool m_visible = true;
};

class QtLabel : public QtControl<ui::Label> {
public:
    explicit QtLabel(QLabel* label);
};

class QtFrame : public QtControl<ui::Frame> {
public:
    explicit QtFrame(QGroupBox* frame);
};

// The clipboard type that carries a box's exact bytes beside their text.
extern const char* const kBytesMimeType;

// A single-line (QLineEdit) or multi-line (QPlainTextEdit) box holding bytes.
// Copy, cut and paste keep bytes whole within the program; a drop of one
// file raises fileDropped, and no drop inserts text.
class QtTextBox : public QtControl<ui::TextBox> {
public:
    explicit QtTextBox(QLineEdit* line);
    explicit QtTextBox(QPlainTextEdit* area);

    std::string text() const override;
    void setText(const std::string& bytes) override;
    void setBackColor(ui::SysColor color) override;
    ui::SysColor backColor() const override { return m_back; }
    void selectAll() override;

    QString shownText() const;

private:
    enum class Clip { Copy, Cut, Paste };

    void hookEvents();
    bool filter(QEvent* event);
    void userEdited();
    void showBytes(const std::string& bytes);

    // Clipboard actions on the box's bytes; false leaves the action to Qt.
    bool copyBytes(bool cut);
    bool pasteBytes();
    void clip(Clip action);  // ours, else Qt's
    bool contextMenu(const QContextMenuEvent& event);
    std::optional<Clip> clipAction(QAction* action);

    // The selection as shown positions [from, to); equal at the cursor.
    std::pair<qsizetype, qsizetype> selection() const;
    qsizetype shownLength() const;
    QString selectedShownText() const;
    bool readOnly() const;
    // Replaces bytes [begin, end) by `with`, as a user's edit.
    void replaceBytes(size_t begin, size_t end, const std::string& with);

    bool dragEvent(QDropEvent& event);
    std::optional<std::string> droppableFile(const QDropEvent& event) const;

    QLineEdit* m_line = nullptr;
    QPlainTextEdit* m_area = nullptr;
    // The box's bytes: what the program wrote, or the user's text once read;
    // dropped at every edit.
    mutable std::optional<std::string> m_bytes;
    bool m_writing = false;
    bool m_focusByMouse = false;  // focus came with a mouse press not yet released
    ui::SysColor m_back = ui::SysColor::WindowBackground;
};

class QtOption : public QtControl<ui::OptionButton> {
public:
    QtOption(QRadioButton* option, QButtonGroup* group);

    bool value() const override;
    void setValue(bool selected) override;
    void setFocus() override;

private:
    QRadioButton* m_option;
    QButtonGroup* m_group;
};

class QtComboBox : public QtControl<ui::ComboBox> {
public:
    explicit QtComboBox(QComboBox* combo);

    int listIndex() const override;
    void setListIndex(int index) override;
    int listCount() const override;

private:
    QComboBox* m_combo;
    bool m_setting = false;
};

class QtButton : public QtControl<ui::Button> {
public:
    explicit QtButton(QPushButton* button);

    std::string caption() const override;
    void setCaption(const std::string& caption) override;
    void setMousePointer(ui::MousePointer pointer) override;
    ui::MousePointer mousePointer() const override { return m_pointer; }

private:
    QPushButton* m_button;
    ui::MousePointer m_pointer = ui::MousePointer::Default;
};

class QtTabStrip : public QtControl<ui::TabStrip> {
public:
    explicit QtTabStrip(QTabWidget* tabs);
    int selectedIndex() const override;

private:
    QTabWidget* m_tabs;
};

// A visible bar shows a new value at most every kRepaintInterval, the latest
// one when it does: Qt repaints a bar at once on every new value, which costs
// about half a millisecond in the middle of a long run (its code has left the
// caches by then), and reports come far more often than that is worth.
class QtProgressBar : public QtControl<ui::ProgressBar> {
public:
    static constexpr int kRepaintIntervalMs = 40;

    explicit QtProgressBar(QProgressBar* bar);
    int value() const override;
    void setValue(int value) override;

private:
    void showValue();

    QProgressBar* m_bar;
    int m_value;
    QElapsedTimer m_shown;  // since the bar last changed on screen
    bool m_catchUpPending = false;
};

// The up-down control's face: an up and a down arrow button stacked.
class SpinArrows : public QWidget {
public:
    explicit SpinArrows(QWidget* parent);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

    // The value the arrows step and its range, for screen readers.
    int value() const { return m_value; }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void showValue(int value, int minimum, int maximum);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
    int m_value = 0;
    int m_min = 0;
    int m_max = 0;
};

class QtUpDown : public QtControl<ui::UpDown> {
public:
    QtUpDown(SpinArrows* arrows, QtTextBox* buddy, int min, int max, int value);

    int value() const override { return m_value; }
    void setValue(int value) override;
    int min() const override { return m_min; }
    int max() const override { return m_max; }

private:
    void step(int delta, ui::Event<>& event);

    SpinArrows* m_arrows;
    QtTextBox* m_buddy;
    int m_min;
    int m_max;
    int m_value;
};

}  // namespace ui::qt
