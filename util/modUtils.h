// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

namespace ui {
class Windowing;
}

// The program's shared procedures and the process-wide abort request.
namespace modUtils {

// An abort has been requested and not yet passed to the engine.
extern bool bAbort;

void SetAbort();

// The main window is closing once the running operation has returned.
extern bool bUnloading;

// Shows the open dialog, or the save dialog for the title "Save to file ",
// in the folder of the file chosen last. Returns the chosen full path, or
// empty text when cancelled or failed.
std::string ShowFileDialog(ui::Windowing& windowing, const std::string& title);

// The folder of the file chosen last during this run, by a dialog or a drop;
// empty before the first. Never stored: the program keeps no state.
extern std::string sLastFolder;
void NoteChosenFile(const std::string& path);

// A file operation must not start on an empty file name. Throws a failure
// that names the box it read (e.g. "the right-hand box, which "<-Decrypting"
// reads"); with no box to name, the engine's own failure reports it.
void RequireFileName(const std::string& path, const std::string& box);

// Inserts the suffix before the last four characters of the path, never
// across a folder separator.
std::string AddFileSuffix(const std::string& path, const std::string& suffix);

// A file operation from the source into the file named after it with the
// suffix: write(source, target). Returns the target's path.
template <typename Write>
std::string WriteBeside(const std::string& source, const std::string& box, const std::string& suffix,
                        Write&& write) {
    RequireFileName(source, box);
    const std::string target = AddFileSuffix(source, suffix);
    write(source, target);
    return target;
}

// Asks before a file operation replaces an existing target. True when the
// target does not exist or the user answered Yes.
bool ConfirmReplace(ui::Windowing& windowing, const std::string& target);

// Asks before a file operation on the source replaces the output named after
// it with the suffix. True when the run may go on; with no file name there
// is no output to ask about, and the operation reports the empty name.
bool ConfirmOutput(ui::Windowing& windowing, const std::string& source, const std::string& suffix);

}  // namespace modUtils
