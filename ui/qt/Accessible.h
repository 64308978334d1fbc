// SPDX-License-Identifier: Apache-2.0
#pragma once
// What screen readers get beyond Qt's own accessibility: the main window as a
// frame, drop-down lists and tab strips named for what they are rather than
// for their current entry, and the up-down control as a spin button that
// reports its value.

class QWidget;

namespace ui::qt {

// Installs the interfaces below, once per process. Needs a QApplication.
void installAccessibility();

// The window is the program's main frame (a plain window otherwise).
void markMainFrame(QWidget* window);

}  // namespace ui::qt
