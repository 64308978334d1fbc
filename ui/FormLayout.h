// SPDX-License-Identifier: Apache-2.0
#pragma once
// A window described as data: one table of controls, from which the Qt layer
// and the test fake both build their controls.

#include <string>
#include <vector>

namespace ui {

enum class ControlKind { Label, TextBox, Option, ComboBox, Button, Frame, TabStrip, ProgressBar, UpDown };

// Left, top, width, height in twips (15 twips are one pixel at 96 dpi),
// relative to the container's client area.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class TextBoxStyle {
    SingleLine,   // one line
    MultiLine,    // multi-line with a vertical scroll bar (source and result boxes)
};

struct ControlLayout {
    std::string name;
    int index = -1;           // member of a control array when >= 0
    ControlKind kind = ControlKind::Label;
    std::string container;    // "" = the form itself; else a frame's name
    std::string caption;      // caption, or initial text of a text box
    std::vector<std::string> items;  // list entries, or tab captions
    Rect rect;
    int tabOrder = -1;        // -1: never takes the focus
    bool enabled = true;
    bool visible = true;
    bool selected = false;    // option buttons
    bool readOnlyGrey = false;  // text box the user cannot edit, grey background
    TextBoxStyle style = TextBoxStyle::SingleLine;
    std::string buddy;        // up-down: the text box it drives; label: the control it names
    int min = 0, max = 0, value = 0;  // up-down range and value; progress bar range
    std::string toolTip;
    // What a screen reader calls the control (never drawn); empty: its caption.
    std::string accessibleName;
    // What a screen reader adds when asked what the control does.
    std::string accessibleDescription;
};

// The fields every row of a control table has; the rest keep their defaults.
inline ControlLayout makeControl(const char* name, int index, ControlKind kind, const char* container,
                                 const char* caption, Rect rect, int tabOrder) {
    ControlLayout c;
    c.name = name;
    c.index = index;
    c.kind = kind;
    c.container = container;
    c.caption = caption;
    c.rect = rect;
    c.tabOrder = tabOrder;
    return c;
}

struct FormLayout {
    std::string name;
    std::string caption;
    int clientWidth = 0;   // twips
    int clientHeight = 0;  // twips
    std::string defaultButton;  // answers Enter (dialogs)
    std::string cancelButton;   // answers Escape (dialogs)
    std::vector<ControlLayout> controls;

    const ControlLayout* find(const std::string& name, int index = -1) const {
        for (const ControlLayout& c : controls)
            if (c.name == name && c.index == index) return &c;
        return nullptr;
    }
};

}  // namespace ui
