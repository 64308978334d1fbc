// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scripted windowing layer for tests: controls keep plain state, user
// actions are methods the test calls, message boxes are recorded, and file
// dialogs, message-box answers and modal dialogs are answered from queues.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/ControlLookup.h"
#include "ui/Windowing.h"

namespace fake {

class FakeForm;

// Shared state of every fake control: its own flags and its container.
class FakeControlState {
public:
    virtual ~FakeControlState() = default;
    std::string id;  // "name" or "name(index)"
    bool enabled = true;
    bool visible = true;
    const FakeControlState* container = nullptr;
    // Usable by the user: enabled and shown, and so is every container.
    bool usable() const {
        for (const FakeControlState* c = this; c; c = c->container)
            if (!c->enabled || !c->visible) return false;
        return true;
    }
};

template <typename Base>
class FakeControl : public Base, public FakeControlState {
public:
    void setEnabled(bool e) override { enabled = e; }
    bool isEnabled() const override { return enabled; }
    void setVisible(bool v) override { visible = v; }
    bool isVisible() const override { return visible; }
};

class FakeLabel : public FakeControl<ui::Label> {};
class FakeFrame : public FakeControl<ui::Frame> {};

class FakeTextBox : public FakeControl<ui::TextBox> {
public:
    std::string text() const override { return m_text; }
    void setText(const std::string& bytes) override;
    void setBackColor(ui::SysColor color) override { m_back = color; }
    ui::SysColor backColor() const override { return m_back; }
    void selectAll() override {
        selStart = 0;
        selLength = static_cast<int>(m_text.size());
    }

    // User actions. type() replaces the whole text, as typing over a selection does.
    void type(const std::string& utf8);
    void focus() { gotFocus.raise(); }
    void releaseKey(int keyCode) { keyUp.raise(keyCode); }
    // One local file dropped from a file manager; a box the user cannot reach takes none.
    void dropFile(const std::string& path) {
        if (usable()) fileDropped.raise(path);
    }

    bool readOnly = false;
    bool focused = false;
    int selStart = 0;
    int selLength = 0;
    int changeCount = 0;

private:
    std::string m_text;
    ui::SysColor m_back = ui::SysColor::WindowBackground;
};

class FakeOption : public FakeControl<ui::OptionButton> {
public:
    bool value() const override { return m_value; }
    void setValue(bool selected) override;
    void setFocus() override;

    void userClick();  // selects it and raises click (also when already selected)

    std::vector<FakeOption*>* group = nullptr;
    FakeForm* form = nullptr;

private:
    void select();
    bool m_value = false;
};

class FakeComboBox : public FakeControl<ui::ComboBox> {
public:
    int listIndex() const override { return m_index; }
    void setListIndex(int index) override;
    int listCount() const override { return static_cast<int>(items.size()); }

    void userSelect(int index) { setListIndex(index); }

    std::vector<std::string> items;

private:
    int m_index = -1;
};

class FakeButton : public FakeControl<ui::Button> {
public:
    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& caption) override { m_caption = caption; }
    void setMousePointer(ui::MousePointer pointer) override { m_pointer = pointer; }
    ui::MousePointer mousePointer() const override { return m_pointer; }

    // A click reaches the logic only when the user could make it.
    bool userClick() {
        if (!usable()) return false;
        click.raise();
        return true;
    }
    void moveMouse() {
        if (usable()) mouseMove.raise();
    }

private:
    std::string m_caption;
    ui::MousePointer m_pointer = ui::MousePointer::Default;
};

class FakeTabStrip : public FakeControl<ui::TabStrip> {
public:
    int selectedIndex() const override { return m_selected; }
    void userSelect(int index) {
        m_selected = index;
        click.raise();
    }
    int tabCount = 0;

private:
    int m_selected = 1;
};

class FakeProgressBar : public FakeControl<ui::ProgressBar> {
public:
    int value() const override { return m_value; }
    void setValue(int value) override {
        m_value = value;
        values.push_back(value);
    }
    void setVisible(bool v) override {
        FakeControl<ui::ProgressBar>::setVisible(v);
        visibility.push_back(v);
    }
    std::vector<int> values;       // every value set, in order
    std::vector<bool> visibility;  // every visibility set, in order

private:
    int m_value = 0;
};

class FakeUpDown : public FakeControl<ui::UpDown> {
public:
    int value() const override { return m_value; }
    void setValue(int value) override;
    int min() const override { return m_min; }
    int max() const override { return m_max; }

    void userClickUp();
    void userClickDown();

    void configure(int min, int max, int value, FakeTextBox* buddy) {
        m_min = min;
        m_max = max;
        m_value = value;
        m_buddy = buddy;
    }

private:
    int m_value = 0;
    int m_min = 0;
    int m_max = 100;
    FakeTextBox* m_buddy = nullptr;
};

class FakeWindowing;

class FakeForm : public ui::Form {
public:
    FakeForm(FakeWindowing& windowing, const ui::FormLayout& layout);

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& caption) override { m_caption = caption; }

    FakeTextBox& textBox(const std::string& name) override { return get<FakeTextBox>(name, -1); }
    FakeOption& option(const std::string& name, int index) override { return get<FakeOption>(name, index); }
    FakeComboBox& comboBox(const std::string& name) override { return get<FakeComboBox>(name, -1); }
    FakeButton& button(const std::string& name) override { return get<FakeButton>(name, -1); }
    FakeFrame& frame(const std::string& name) override { return get<FakeFrame>(name, -1); }
    FakeLabel& label(const std::string& name, int index = -1) override { return get<FakeLabel>(name, index); }
    FakeTabStrip& tabStrip(const std::string& name) override { return get<FakeTabStrip>(name, -1); }
    FakeProgressBar& progressBar(const std::string& name) override { return get<FakeProgressBar>(name, -1); }
    FakeUpDown& upDown(const std::string& name) override { return get<FakeUpDown>(name, -1); }

    void showModal() override;
    void hide() override { m_shown = false; }

    // User actions on the form.
    void pressEnter();
    void pressEscape();
    void userClose();

    bool shown() const { return m_shown; }
    const ui::FormLayout& layout() const { return m_layout; }
    // The control that has the keyboard focus ("" for none), "name(index)" for arrays.
    std::string focusedControl;

private:
    template <typename T>
    T& get(const std::string& name, int index) {
        FakeControlState* control = ui::findControl(m_controls, m_layout.name, name, index).get();
        return ui::controlOfKind<T>(control, name, index);
    }

    FakeWindowing& m_windowing;
    ui::FormLayout m_layout;
    std::string m_caption;
    bool m_shown = false;
    ui::ControlMap<std::unique_ptr<FakeControlState>> m_controls;
    std::map<std::pair<std::string, std::string>, std::vector<FakeOption*>> m_groups;
};

struct RecordedMessageBox {
    std::string text;
    ui::MsgIcon icon;
    ui::MsgButtons buttons;
    std::string title;  // the application's title when the request left it empty
    ui::MsgAnswer defaultAnswer;
};

class FakeWindowing : public ui::Windowing {
public:
    explicit FakeWindowing(const ui::FormLayout& mainLayout);

    FakeForm& mainForm() override { return *m_main; }
    std::unique_ptr<ui::Form> createForm(const ui::FormLayout& layout) override;
    ui::MsgAnswer messageBox(const ui::MessageBoxRequest& request) override;
    std::optional<std::string> fileDialog(const ui::FileDialogRequest& request) override;
    void setScreenPointer(ui::MousePointer pointer) override;
    ui::MousePointer screenPointer() const override { return m_pointer; }
    void doEvents() override;
    void unloadMain() override { ++unloadCount; }
    std::string applicationTitle() const override { return "Quorval"; }

    // Recorded.
    std::vector<RecordedMessageBox> messageBoxes;
    std::vector<ui::FileDialogRequest> fileRequests;
    std::vector<ui::MousePointer> pointerHistory;
    int doEventsCount = 0;
    int unloadCount = 0;

    // Scripted answers. An empty queue answers a message box with its
    // default, a file dialog with a cancel, and a modal form by closing it from its title bar.
    std::deque<ui::MsgAnswer> messageAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::function<void(FakeForm&)>> modalScripts;
    // Runs inside doEvents: the user's actions while the logic yields.
    std::function<void(int call)> onDoEvents;
    // Runs when a message box is shown, before it is answered.
    std::function<void(const RecordedMessageBox&)> onMessageBox;

    FakeForm* lastCreatedForm = nullptr;

private:
    friend class FakeForm;
    std::unique_ptr<FakeForm> m_main;
    ui::MousePointer m_pointer = ui::MousePointer::Default;
};

}  // namespace fake
