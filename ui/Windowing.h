// SPDX-License-Identifier: Apache-2.0
#pragma once
// The windowing layer: forms built from a FormLayout, message boxes, the file
// dialog, the screen-wide pointer, event processing and program end.

#include <memory>
#include <optional>
#include <string>

#include "ui/Controls.h"
#include "ui/FormLayout.h"

namespace ui {

class Form {
public:
    virtual ~Form() = default;

    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;

    // Controls by name (and index for control arrays); a missing name is a
    // programming error and throws std::out_of_range.
    virtual TextBox& textBox(const std::string& name) = 0;
    virtual OptionButton& option(const std::string& name, int index) = 0;
    virtual ComboBox& comboBox(const std::string& name) = 0;
    virtual Button& button(const std::string& name) = 0;
    virtual Frame& frame(const std::string& name) = 0;
    virtual Label& label(const std::string& name, int index = -1) = 0;
    virtual TabStrip& tabStrip(const std::string& name) = 0;
    virtual ProgressBar& progressBar(const std::string& name) = 0;
    virtual UpDown& upDown(const std::string& name) = 0;

    // Shows the form modally over the main window; returns when it has been
    // hidden (by hide(), or by the user closing it from its title bar).
    virtual void showModal() = 0;
    // Hides the form; a modal form's showModal then returns.
    virtual void hide() = 0;

    // The close box. The main window stays open and the logic decides (it
    // unloads through Windowing::unloadMain); a dialog closes after raising it.
    Event<> closeRequested;
};

enum class MsgIcon { None, Error, Warning };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    std::string text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    std::optional<std::string> title;  // none or empty: the application's default title
    MsgAnswer defaultAnswer = MsgAnswer::Ok;
};

// The properties of the common file dialog for one use.
struct FileDialogRequest {
    bool save = false;       // save dialog, else open dialog
    std::string title;
    std::string filter;      // "Label|pattern|Label|pattern"
    int filterIndex = 1;     // 1-based
    std::string fileName;
    std::string folder;      // where the dialog starts; empty: where the platform chooses
    int flags = 0;
    bool cancelError = true;
};

class Windowing {
public:
    virtual ~Windowing() = default;

    virtual Form& mainForm() = 0;
    // A further window (a dialog) owned by the main window.
    virtual std::unique_ptr<Form> createForm(const FormLayout& layout) = 0;

    virtual MsgAnswer messageBox(const MessageBoxRequest& request) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;

    virtual void setScreenPointer(MousePointer pointer) = 0;
    virtual MousePointer screenPointer() const = 0;

    // Handles all pending user-interface events, then returns.
    virtual void doEvents() = 0;

    // Closes the main window and ends the program's message loop.
    virtual void unloadMain() = 0;

    virtual std::string applicationTitle() const = 0;
};

}  // namespace ui
