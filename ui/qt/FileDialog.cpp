// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/FileDialog.h"
#include "ui/qt/Text.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>

namespace ui::qt {

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts =
        qtext(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            // On the platform the filter strings come from, "*.*" also matches "README".
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        // Qt takes the patterns from the last parentheses and, with
        // HideNameFilterDetails, shows only the label in front of them.
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

bool desktopDialogsOn(const QString& platformName) {
    return platformName != QLatin1String("offscreen") && platformName != QLatin1String("minimal");
}

void configureFileDialog(QFileDialog& dialog, const ui::FileDialogRequest& request) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, !desktopDialogsOn(QGuiApplication::platformName()));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setWindowTitle(
        qtext(request.title));
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);  // Qt asks before overwriting
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype index = std::clamp<qsizetype>(request.filterIndex, 1, filters.size()) - 1;
        dialog.selectNameFilter(filters[index]);
    }
    // A folder removed since leaves the start to the platform.
    const QString folder = QFile::decodeName(QByteArray::fromStdString(request.folder));
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
    if (!request.fileName.empty()) dialog.selectFile(qtext(request.fileName));
}

}  // namespace ui::qt
