// SPDX-License-Identifier: Apache-2.0
#include "support/FakeWindowing.h"

#include <algorithm>

namespace fake {

void FakeTextBox::setText(const std::string& bytes) {
    if (bytes == m_text) return;
    m_text = bytes;
    selStart = 0;
    selLength = 0;
    ++changeCount;
    change.raise();
}

void FakeTextBox::type(const std::string& utf8) {
    if (readOnly || !usable()) return;
    setText(utf8);
}

void FakeOption::select() {
    if (group)
        for (FakeOption* other : *group)
            if (other != this) other->m_value = false;
    m_value = true;
}

void FakeOption::setValue(bool selected) {
    if (!selected) {
        m_value = false;
        return;
    }
    if (m_value) return;
    select();
    click.raise();
}

void FakeOption::setFocus() {
    if (form) form->focusedControl = id;
}

void FakeOption::userClick() {
    if (!usable()) return;
    select();
    if (form) form->focusedControl = id;
    click.raise();
}

void FakeComboBox::setListIndex(int index) {
    if (index == m_index) return;
    m_index = index;
    click.raise();
}

void FakeUpDown::setValue(int value) {
    m_value = std::clamp(value, m_min, m_max);
    if (m_buddy) m_buddy->setText(std::to_string(m_value));
}

void FakeUpDown::userClickUp() {
    if (!usable()) return;
    if (m_value + 1 <= m_max) setValue(m_value + 1);
    upClick.raise();
}

void FakeUpDown::userClickDown() {
    if (!usable()) return;
    if (m_value - 1 >= m_min) setValue(m_value - 1);
    downClick.raise();
}

FakeForm::FakeForm(FakeWindowing& windowing, const ui::FormLayout& layout)
    : m_windowing(windowing), m_layout(layout), m_caption(layout.caption) {
    for (const ui::ControlLayout& c : layout.controls) {
        std::unique_ptr<FakeControlState> control;
        switch (c.kind) {
            case ui::ControlKind::Label:
                control = std::make_unique<FakeLabel>();
                break;
            case ui::ControlKind::Frame:
                control = std::make_unique<FakeFrame>();
                break;
            case ui::ControlKind::TextBox: {
                auto box = std::make_unique<FakeTextBox>();
                box->setText(c.caption);
                box->readOnly = c.readOnlyGrey;
                if (c.readOnlyGrey) box->setBackColor(ui::SysColor::InactiveBorder);
                control = std::move(box);
                break;
            }
            case ui::ControlKind::Option: {
                auto option = std::make_unique<FakeOption>();
                option->form = this;
                auto& group = m_groups[{c.container, c.name}];
                group.push_back(option.get());
                option->group = &group;
                if (c.selected) option->setValue(true);
                control = std::move(option);
                break;
            }
            case ui::ControlKind::ComboBox: {
                auto combo = std::make_unique<FakeComboBox>();
                combo->items = c.items;
                control = std::move(combo);
                break;
            }
            case ui::ControlKind::Button: {
                auto button = std::make_unique<FakeButton>();
                button->setCaption(c.caption);
                control = std::move(button);
                break;
            }
            case ui::ControlKind::TabStrip: {
                auto tabs = std::make_unique<FakeTabStrip>();
                tabs->tabCount = static_cast<int>(c.items.size());
                control = std::move(tabs);
                break;
            }
            case ui::ControlKind::ProgressBar:
                control = std::make_unique<FakeProgressBar>();
                break;
            case ui::ControlKind::UpDown:
                control = std::make_unique<FakeUpDown>();
                break;
        }
        control->id = ui::controlId(c.name, c.index);
        control->enabled = c.enabled;
        control->visible = c.visible;
        m_controls[{c.name, c.index}] = std::move(control);
    }
    // Second pass: containers and buddies exist now.
    for (const ui::ControlLayout& c : layout.controls) {
        FakeControlState& control = *ui::findControl(m_controls, m_layout.name, c.name, c.index);
        if (!c.container.empty())
            control.container = ui::findControl(m_controls, m_layout.name, c.container, -1).get();
        if (c.kind == ui::ControlKind::UpDown)
            static_cast<FakeUpDown&>(control).configure(c.min, c.max, c.value,
                                                        c.buddy.empty() ? nullptr : &textBox(c.buddy));
    }
}

void FakeForm::showModal() {
    m_shown = true;
    if (!m_windowing.modalScripts.empty()) {
        auto script = std::move(m_windowing.modalScripts.front());
        m_windowing.modalScripts.pop_front();
        script(*this);
    }
    // A dialog the script left open is closed from its title bar, as the user would.
    if (m_shown) {
        closeRequested.raise();
        m_shown = false;
    }
}

void FakeForm::pressEnter() {
    // A focused button answers Enter itself; otherwise the default button does.
    auto focused = m_controls.find({focusedControl, -1});
    if (focused != m_controls.end()) {
        if (auto* b = dynamic_cast<FakeButton*>(focused->second.get())) {
            b->userClick();
            return;
        }
    }
    if (!m_layout.defaultButton.empty()) button(m_layout.defaultButton).userClick();
}

void FakeForm::pressEscape() {
    if (!m_layout.cancelButton.empty()) button(m_layout.cancelButton).userClick();
}

void FakeForm::userClose() {
    closeRequested.raise();
    if (this != &m_windowing.mainForm()) hide();
}

FakeWindowing::FakeWindowing(const ui::FormLayout& mainLayout) : m_main(std::make_unique<FakeForm>(*this, mainLayout)) {}

std::unique_ptr<ui::Form> FakeWindowing::createForm(const ui::FormLayout& layout) {
    auto form = std::make_unique<FakeForm>(*this, layout);
    lastCreatedForm = form.get();
    return form;
}

ui::MsgAnswer FakeWindowing::messageBox(const ui::MessageBoxRequest& request) {
    messageBoxes.push_back(
        {request.text, request.icon, request.buttons, request.title && !request.title->empty() ? *request.title : applicationTitle(), request.defaultAnswer});
    if (onMessageBox) onMessageBox(messageBoxes.back());
    if (messageAnswers.empty()) return request.defaultAnswer;
    ui::MsgAnswer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeWindowing::fileDialog(const ui::FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void FakeWindowing::setScreenPointer(ui::MousePointer pointer) {
    m_pointer = pointer;
    pointerHistory.push_back(pointer);
}

void FakeWindowing::doEvents() {
    ++doEventsCount;
    if (onDoEvents) onDoEvents(doEventsCount);
}

}  // namespace fake
