// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a tab of the main window may ask of the window's shell. The tabs live
// below the shell and reach it only through this interface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "ui/Windowing.h"

class TabHost {
public:
    virtual ~TabHost() = default;

    virtual ui::Windowing& windowing() = 0;
    virtual ui::Form& form() = 0;
    // The engine root object (`mCls`); empty before load and after unload.
    virtual const std::shared_ptr<engine::EngineRoot>& engineRoot() const = 0;

    // Runs the action on a click unless an operation is running or the window
    // is gone: the engine is never entered twice. The shell holds the connection.
    virtual void connectAction(ui::Button& button, std::function<void()> action) = 0;
    virtual bool operationRunning() const = 0;

    // A running operation: the busy pointer while it runs, the default pointer
    // when the outermost one ends, and a deferred unload carried out then.
    class Operation {
    public:
        explicit Operation(TabHost& host) : m_host(host) { m_host.beginOperation(); }
        ~Operation() { m_host.endOperation(); }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        TabHost& m_host;
    };

protected:
    virtual void beginOperation() = 0;
    virtual void endOperation() = 0;
};

// One tab's own controls, wrapper and procedures.
class Tab {
public:
    virtual ~Tab() = default;
    // The tab has become the current one (also at load, when it is the first).
    virtual void Shown() {}
    // Drops the tab's wrapper, at unload.
    virtual void ReleaseWrapper() = 0;
};

// "Abort transaction" is usable only while the engine call runs, and is
// disabled again however the run ends.
class AbortEnabled {
public:
    explicit AbortEnabled(ui::Button& button) : m_button(button) { m_button.setEnabled(true); }
    ~AbortEnabled() { m_button.setEnabled(false); }
    AbortEnabled(const AbortEnabled&) = delete;
    AbortEnabled& operator=(const AbortEnabled&) = delete;

private:
    ui::Button& m_button;
};

// Output encoding code of a three-option group (Binary, Base64, Hex).
inline int16_t EncodingOf(ui::Form& form, const char* optionName) {
    if (form.option(optionName, 0).value()) return 0;
    if (form.option(optionName, 1).value()) return 1;
    return 2;
}

// How a message names the box that an action reads: "the right-hand box,
// which "<-Decrypting" reads".
inline std::string BoxReadBy(const char* side, const ui::Button& action) {
    return std::string("the ") + side + " box, which \"" + action.caption() + "\" reads";
}

// Whether a two-option group (Text, File) has File selected.
inline bool FileSelected(ui::Form& form, const char* optionName) {
    return !form.option(optionName, 0).value();
}

// Source kind code of a two-option group (Text, File): 0 Text, 1 File.
inline int16_t SourceOf(ui::Form& form, const char* optionName) {
    return FileSelected(form, optionName) ? 1 : 0;
}
