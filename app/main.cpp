// SPDX-License-Identifier: Apache-2.0
// Quorval: starts the Qt windowing layer, loads the main window and runs the
// event loop until the window is unloaded.

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <exception>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "app/quorval.xpm"
#include "engine/Engine.h"
#include "ui/qt/Look.h"
#include "ui/qt/QtWindowing.h"

int main(int argc, char* argv[]) {
    engine::HardenProcess();
    // Fontconfig reads its configuration while Qt starts.
    ui::qt::FontWarmUp fonts;
    QApplication app(argc, argv);
    fonts.wait();
    QApplication::setApplicationName(QStringLiteral("Quorval"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setOrganizationName(QStringLiteral("Quorval"));
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVAL_APP_ID));
    QApplication::setWindowIcon(QIcon(QPixmap(quorval_xpm)));

    ui::qt::QtWindowing windowing(frmMainLayout());
    frmMain window(windowing, [] { return engine::CreateEngineRoot(); });
    std::string failure;
    try {
        window.Form_Load();
    } catch (const std::exception& error) {
        failure = error.what();
        if (failure.empty()) failure = "unknown error";
    } catch (...) {
        failure = "unknown error";
    }
    if (!failure.empty()) {
        ui::MessageBoxRequest report;
        report.text = "Quorval could not start: " + failure;
        report.icon = ui::MsgIcon::Error;
        windowing.messageBox(report);
        return 1;
    }

    windowing.showMain();
    if (windowing.unloaded()) return 0;
    return QApplication::exec();
}
