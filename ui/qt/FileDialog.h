#pragma once
// The common file dialog on Qt's own (non-native) QFileDialog.

#include <QString>
#include <QStringList>
#include <string>

#include "ui/Windowing.h"

class QFileDialog;

namespace ui::qt {

// "Label|pattern|Label|pattern" as Qt name filters that keep each label as
// shown: "*.*" matches every file, also names without a dot.
QStringList qtNameFilters(const std::string& filter);

// Sets up a dialog for one request: open or save, title, filters, the
// 1-based filter index and the file name.
void configureFileDialog(QFileDialog& dialog, const ui::FileDialogRequest& request);

}  // namespace ui::qt
