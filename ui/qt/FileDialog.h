// SPDX-License-Identifier: Apache-2.0
#pragma once
// The common file dialog: the desktop's own (a portal or the platform
// theme's) where the platform offers one, else Qt's.

#include <QString>
#include <QStringList>
#include <string>

#include "ui/Windowing.h"

class QFileDialog;

namespace ui::qt {

// "Label|pattern|Label|pattern" as Qt name filters that keep each label as
// shown: "*.*" matches every file, also names without a dot.
QStringList qtNameFilters(const std::string& filter);

// Whether dialogs on this Qt platform may be the desktop's own. Not on the
// offscreen platform: there is no desktop, and tests drive Qt's own dialog.
bool desktopDialogsOn(const QString& platformName);

// Sets up a dialog for one request: open or save, title, filters, the
// 1-based filter index, the file name and the starting folder.
void configureFileDialog(QFileDialog& dialog, const ui::FileDialogRequest& request);

}  // namespace ui::qt
