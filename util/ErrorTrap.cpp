// SPDX-License-Identifier: Apache-2.0
#include "util/ErrorTrap.h"

#include "engine/Engine.h"
#include "ui/Windowing.h"
#include "util/modUtils.h"

void RequireEngine(const std::shared_ptr<engine::EngineRoot>& root) {
    if (!root) throw engine::EngineError(engine::ErrorKind::Internal, "The cryptography engine is not available.");
}

bool ErrorTrap::isAbort(const std::exception& e) {
    auto* engineError = dynamic_cast<const engine::EngineError*>(&e);
    return engineError && engineError->kind() == engine::ErrorKind::Aborted;
}

bool ErrorTrap::report(ui::Windowing& windowing, const std::string& title) {
    if (!m_failed) return false;
    // While the program is closing, an operation it aborted is not news.
    if (!(m_aborted && modUtils::bUnloading)) ShowErrorBox(windowing, m_description, title);
    clear();
    return true;
}

void ShowErrorBox(ui::Windowing& windowing, const std::string& text, const std::string& title) {
    ui::MessageBoxRequest request;
    request.text = text;
    request.icon = ui::MsgIcon::Error;
    request.buttons = ui::MsgButtons::Ok;
    request.title = title;
    windowing.messageBox(request);
}

void ShowWarningBox(ui::Windowing& windowing, const std::string& text) {
    ui::MessageBoxRequest request;
    request.text = text;
    request.icon = ui::MsgIcon::Warning;
    request.buttons = ui::MsgButtons::Ok;
    windowing.messageBox(request);
}
