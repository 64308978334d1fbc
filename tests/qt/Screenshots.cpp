#include "qt/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>
#include <exception>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "app/quorval.xpm"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"

namespace qttest {

int saveScreenshots(const char* dir) {
    const QDir target(QString::fromLocal8Bit(dir));
    if (!QDir().mkpath(target.absolutePath())) {
        std::fprintf(stderr, "cannot create %s\n", dir);
        return 1;
    }
    const QPixmap icon(quorval_xpm);
    QApplication::setWindowIcon(QIcon(icon));
    icon.scaled(128, 128).save(target.filePath(QStringLiteral("icon.png")));

    ui::qt::QtWindowing windowing(frmMainLayout());
    frmMain window(windowing, [] { return engine::CreateEngineRoot(); });
    try {
        window.Form_Load();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Form_Load failed: %s\n", error.what());
        return 1;
    }
    windowing.showMain();
    auto* tabs = qobject_cast<QTabWidget*>(windowing.mainForm().widget("TabStrip1"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        if (tab == 1) {
            // The symmetric tab after an encryption: a Base64 cipher text in the right box.
            ui::Form& form = windowing.mainForm();
            form.textBox("txtContSym").setText("Attack at dawn");
            form.textBox("txtSymPass").setText("secret");
            form.option("optTypeSym", 1).setValue(true);
            form.option("optCip", 1).setValue(true);
            qobject_cast<QPushButton*>(windowing.mainForm().widget("cmdEncSym"))->click();
        }
        QApplication::processEvents();
        const QString file = target.filePath(QStringLiteral("tab%1.png").arg(tab + 1));
        if (!windowing.mainForm().window()->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    const ui::qt::Look& look = windowing.look();
    std::printf("font %s %.1f pt, layout scale %.2f, pixel scale %.2f\n", qPrintable(look.font.family()),
                look.font.pointSizeF(), look.layoutScale, windowing.geometry().scale());
    return 0;
}

}  // namespace qttest
