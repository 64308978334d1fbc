// SPDX-License-Identifier: Apache-2.0
#pragma once
// The wrappers' error handling: a failing step is abandoned, its description
// remembered (a later failure replaces it), and the next step still runs; at
// the end one message box reports the last failure. A step that needs an
// earlier one is given that step's result and is skipped when it failed.

#include <exception>
#include <memory>
#include <string>
#include <utility>

namespace engine {
class EngineRoot;
}
namespace ui {
class Windowing;
}

class ErrorTrap {
public:
    // Runs one step; true when it ran to its end.
    template <typename Step>
    bool step(Step&& step) {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const std::exception& e) {
            fail(e.what(), isAbort(e));
        } catch (...) {
            fail("Unexpected failure.", false);
        }
        return false;
    }

    // Runs a step that needs an earlier one only when that one ran to its
    // end: its failure stands for both.
    template <typename Step>
    bool step(bool needed, Step&& step) {
        return needed && this->step(std::forward<Step>(step));
    }

    bool failed() const { return m_failed; }
    const std::string& description() const { return m_description; }
    void clear() {
        m_failed = false;
        m_aborted = false;
        m_description.clear();
    }

    // Shows the remembered failure with the error icon and the given title,
    // then clears it. True when there was one to show.
    bool report(ui::Windowing& windowing, const std::string& title);

private:
    static bool isAbort(const std::exception& e);
    void fail(std::string description, bool aborted) {
        m_failed = true;
        m_aborted = aborted;
        m_description = std::move(description);
    }

    bool m_failed = false;
    bool m_aborted = false;
    std::string m_description;
};

// Throws the failure reported when there is no engine to work with.
void RequireEngine(const std::shared_ptr<engine::EngineRoot>& root);

// An error message box: the error icon, an OK button and the given title.
void ShowErrorBox(ui::Windowing& windowing, const std::string& text, const std::string& title);

// A notice: the warning icon and an OK button.
void ShowWarningBox(ui::Windowing& windowing, const std::string& text);
