// SPDX-License-Identifier: Apache-2.0
#pragma once
// The windowing layer's controls, as the window logic uses them. Two
// implementations: the Qt one (ui/qt) and the scripted fake of the tests.
//
// Contract shared by both implementations (checked by the contract tests):
// - Text boxes hold bytes. Text written by the program is read back byte for
//   byte until the user edits the box; typed text reads as UTF-8.
// - setText raises change when the text differs from the current one.
// - OptionButton::setValue(true) on an unselected option selects it, clears
//   the other options of its group and raises click; a user click always
//   raises click.
// - ComboBox::setListIndex raises click when the index changes.
// - UpDown::setValue clamps to [min, max] and writes the value into its buddy
//   box as decimal text; an arrow click steps the value by one within the
//   range (no wrap), then raises downClick/upClick.
// - Button::click observers run in connection order.
// - TextBox::fileDropped is raised only for a drop of exactly one local
//   regular file on an enabled box, with its full path; the layer inserts no
//   text of its own for that or any other drop.

#include <string>

#include "ui/Event.h"

namespace ui {

enum class MousePointer : int { Default = 0, Hourglass = 11, ArrowQuestion = 14 };

enum class SysColor { WindowBackground, InactiveBorder };

// Key codes as the window logic sees them (Windows virtual-key numbers).
namespace Key {
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int Return = 13;
constexpr int Escape = 27;
}  // namespace Key

class Control {
public:
    virtual ~Control() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // The control's own visibility flag (not whether an ancestor is shown).
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
};

class Label : public Control {};
class Frame : public Control {};

class TextBox : public Control {
public:
    virtual std::string text() const = 0;
    virtual void setText(const std::string& bytes) = 0;
    virtual void setBackColor(SysColor color) = 0;
    virtual SysColor backColor() const = 0;
    virtual void selectAll() = 0;

    Event<> change;
    Event<> gotFocus;
    Event<int> keyUp;  // key code
    Event<std::string> fileDropped;  // full path of the one file dropped on the box
};

class OptionButton : public Control {
public:
    virtual bool value() const = 0;
    virtual void setValue(bool selected) = 0;
    virtual void setFocus() = 0;

    Event<> click;
};

class ComboBox : public Control {
public:
    virtual int listIndex() const = 0;  // -1 when nothing is selected
    virtual void setListIndex(int index) = 0;
    virtual int listCount() const = 0;

    Event<> click;
};

class Button : public Control {
public:
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual void setMousePointer(MousePointer pointer) = 0;
    virtual MousePointer mousePointer() const = 0;

    Event<> click;
    Event<> mouseMove;
};

class TabStrip : public Control {
public:
    virtual int selectedIndex() const = 0;  // 1-based

    Event<> click;
};

class ProgressBar : public Control {
public:
    virtual int value() const = 0;
    virtual void setValue(int value) = 0;  // 0..100
};

class UpDown : public Control {
public:
    virtual int value() const = 0;
    virtual void setValue(int value) = 0;
    virtual int min() const = 0;
    virtual int max() const = 0;

    Event<> downClick;
    Event<> upClick;
};

}  // namespace ui
