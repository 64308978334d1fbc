// SPDX-License-Identifier: Apache-2.0
#pragma once
// The windowing layer on Qt Widgets. Needs a QApplication; installs the
// application's style and builds the main window from its table, grown as one
// piece if the platform's font needs more room than the table gives.

#include <memory>
#include <optional>
#include <string>

#include "ui/Windowing.h"
#include "ui/qt/Geometry.h"
#include "ui/qt/Look.h"
#include "ui/qt/QtForm.h"

class QWidget;

namespace ui::qt {

class QtWindowing : public ui::Windowing {
public:
    explicit QtWindowing(const ui::FormLayout& mainLayout);
    ~QtWindowing() override;

    QtForm& mainForm() override { return *m_main; }
    std::unique_ptr<ui::Form> createForm(const ui::FormLayout& layout) override;

    ui::MsgAnswer messageBox(const ui::MessageBoxRequest& request) override;
    std::optional<std::string> fileDialog(const ui::FileDialogRequest& request) override;

    void setScreenPointer(ui::MousePointer pointer) override;
    ui::MousePointer screenPointer() const override { return m_pointer; }

    void doEvents() override;
    void unloadMain() override;
    std::string applicationTitle() const override;

    // Shows the main window; main() then runs the event loop unless the
    // window was unloaded before it ever showed.
    void showMain();
    bool unloaded() const { return m_unloaded; }

    const Look& look() const { return m_look; }
    // The look's geometry, which dialogs take; the main window's own may be smaller
    // to fit its screen (mainForm().geometry()).
    const Geometry& geometry() const { return m_geometry; }

private:
    QWidget* dialogOwner() const;
    // The look for the application's font as it is now; the main window's geometry
    // for `room` on its screen (the look's own for an invalid room).
    Geometry refit(const QSize& room);

    ui::FormLayout m_mainLayout;
    Look m_look;
    Geometry m_geometry;
    std::unique_ptr<QtForm> m_main;
    ui::MousePointer m_pointer = ui::MousePointer::Default;
    bool m_unloaded = false;
};

}  // namespace ui::qt
