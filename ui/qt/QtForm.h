// SPDX-License-Identifier: Apache-2.0
#pragma once
// A form of the windowing layer on Qt: one top-level window whose controls
// are all built from a FormLayout by one factory.

#include <QEvent>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/ControlLookup.h"
#include "ui/Windowing.h"
#include "ui/qt/Geometry.h"

class QButtonGroup;
class QKeyEvent;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace ui::qt {

enum class FormRole {
    Main,    // close box raises closeRequested and leaves the window open
    Dialog,  // modal over its owner, closes from its title bar
};

class QtForm : public ui::Form {
public:
    // refit, when given, is asked for the geometry again whenever the font changes, and for
    // the main window also whenever the room it has on its screen changes (and at the start).
    using Refit = std::function<Geometry(const QSize& room)>;
    QtForm(const ui::FormLayout& layout, FormRole role, QWidget* owner, const Geometry& geometry, Refit refit = {});
    ~QtForm() override;
    QtForm(const QtForm&) = delete;
    QtForm& operator=(const QtForm&) = delete;

    std::string caption() const override;
    void setCaption(const std::string& caption) override;

    ui::TextBox& textBox(const std::string& name) override;
    ui::OptionButton& option(const std::string& name, int index) override;
    ui::ComboBox& comboBox(const std::string& name) override;
    ui::Button& button(const std::string& name) override;
    ui::Frame& frame(const std::string& name) override;
    ui::Label& label(const std::string& name, int index = -1) override;
    ui::TabStrip& tabStrip(const std::string& name) override;
    ui::ProgressBar& progressBar(const std::string& name) override;
    ui::UpDown& upDown(const std::string& name) override;

    void showModal() override;
    void hide() override;

    // Shows the window without blocking (the main window).
    void show();

    QWidget* window() const { return m_window.get(); }
    // The Qt widget of a control; throws std::out_of_range for an unknown name.
    QWidget* widget(const std::string& name, int index = -1) const;
    const ui::FormLayout& layout() const { return m_layout; }
    FormRole role() const { return m_role; }
    const Geometry& geometry() const { return m_geometry; }

    // Places every control for this geometry; the window takes its size. A main window
    // larger than its room keeps the bottom row in view and scrolls the rest.
    void applyGeometry(const Geometry& geometry);
    // The room a main window has: its screen's available area less the window frame.
    QSize room() const;
    // The scroll area the part above the bottom row lies in while the window scrolls.
    QScrollArea* scroller() const { return m_scroller; }

private:
    struct Entry {
        std::unique_ptr<ui::Control> control;
        QWidget* widget = nullptr;
    };
    // One control array of option buttons, in tab order.
    struct OptionGroup {
        QButtonGroup* group = nullptr;
        std::vector<std::pair<int, QRadioButton*>> members;
    };

    void build(const Geometry& geometry);
    // Refits for the room on the screen should it have changed; `place` moves the window into it.
    void fitScreen(bool place);
    void setScrolling(bool on);
    // Places the bottom row at the window's bottom, within its width; returns the window's size.
    QSize placeScrolling(const Geometry& geometry);
    // Lies below every tab strip, outside any frame: "OK", "Cancel" and the like.
    bool inBottomRow(const ui::ControlLayout& layout) const;
    void createControl(const ui::ControlLayout& layout, QWidget* parent);
    void placeUpDown(const ui::ControlLayout& layout);
    void fitUpDown(const ui::ControlLayout& layout, const Geometry& geometry);
    void nameForScreenReaders(const ui::ControlLayout& layout, QWidget* widget);
    void chainTabOrder();
    void keepTabStopsOnSelection();
    void updateTabStop(const OptionGroup& group);
    bool switchTab(int key, Qt::KeyboardModifiers modifiers);
    void followPlatform(QEvent::Type type);
    // Enabled and shown, and so is every frame it lies in.
    bool usable(const ui::ControlLayout& layout) const;
    void focusFirst();
    bool handleKey(QWidget* receiver, const QKeyEvent& event);
    void clickIfUsable(const std::string& buttonName);
    template <typename T>
    T& get(const std::string& name, int index);

    ui::FormLayout m_layout;
    FormRole m_role;
    Geometry m_geometry;
    Refit m_refit;
    QSize m_room;
    // Members go in reverse order: first the links, then the controls (each
    // with its own links), and only then the window with every widget in it,
    // so that no widget being torn down can reach a control or the logic.
    std::unique_ptr<QWidget> m_window;
    QScrollArea* m_scroller = nullptr;  // only while the window scrolls
    QWidget* m_content = nullptr;
    std::vector<OptionGroup> m_groups;
    ui::ControlMap<Entry> m_controls;
    // The form's end of its Qt connections and the parent of its event hooks.
    std::unique_ptr<QObject> m_links = std::make_unique<QObject>();
};

}  // namespace ui::qt
