// SPDX-License-Identifier: Apache-2.0
#include "util/modUtils.h"

#include <filesystem>
#include <system_error>

#include "engine/Engine.h"
#include "ui/Windowing.h"

namespace modUtils {

bool bAbort = false;
bool bUnloading = false;
std::string sLastFolder;

void SetAbort() { bAbort = true; }

std::string ShowFileDialog(ui::Windowing& windowing, const std::string& title) {
    std::string result;
    try {
        ui::FileDialogRequest request;
        request.filter = "All Files (*.*)|*.*| Text Files (*.txt)|*.txt";
        request.title = title;
        request.filterIndex = 1;
        request.fileName = "";
        request.folder = sLastFolder;
        request.cancelError = true;
        request.flags = 4;  // hides the read-only check box
        request.save = (title == "Save to file ");
        std::optional<std::string> chosen = windowing.fileDialog(request);
        if (chosen && !chosen->empty()) result = *chosen;
    } catch (...) {
        // A failing dialog counts as no file chosen.
    }
    NoteChosenFile(result);
    return result;
}

void NoteChosenFile(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    // A bare name says nothing about a folder.
    if (slash == std::string::npos) return;
    sLastFolder = slash == 0 ? "/" : path.substr(0, slash);
}

void RequireFileName(const std::string& path, const std::string& box) {
    if (!path.empty() || box.empty()) return;
    throw engine::EngineError(engine::ErrorKind::Io, "No file name was given: " + box + ", is empty.");
}

std::string AddFileSuffix(const std::string& path, const std::string& suffix) {
    // The engine's rule, so that every front end names outputs alike.
    return engine::NameBeside(path, suffix);
}

bool ConfirmReplace(ui::Windowing& windowing, const std::string& target) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::u8path(target), ec)) return true;
    ui::MessageBoxRequest request;
    // Escaped as the engine shows names: a line break or a turn of direction
    // in the name cannot make the question name another file.
    request.text = "The file " + engine::QuotedName(target) + " already exists. Replace it?";
    request.icon = ui::MsgIcon::Warning;
    request.buttons = ui::MsgButtons::YesNo;
    request.defaultAnswer = ui::MsgAnswer::No;
    return windowing.messageBox(request) == ui::MsgAnswer::Yes;
}

bool ConfirmOutput(ui::Windowing& windowing, const std::string& source, const std::string& suffix) {
    return source.empty() || ConfirmReplace(windowing, AddFileSuffix(source, suffix));
}

}  // namespace modUtils
