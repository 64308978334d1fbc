#include "qt/Screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
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
    auto save = [&target](QWidget* widget, const QString& name) {
        const QString file = target.filePath(name);
        if (!widget->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
        std::printf("%s\n", qPrintable(file));
        return true;
    };
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
        if (!save(windowing.mainForm().window(), QStringLiteral("tab%1.png").arg(tab + 1))) return 1;
    }
    // The asymmetric tab after a key generation and an encryption, then its key-kind dialog.
    tabs->setCurrentIndex(2);
    ui::Form& form = windowing.mainForm();
    qobject_cast<QPushButton*>(windowing.mainForm().widget("cmdAsymGenKey"))->click();
    form.option("optTypeAsym", 1).setValue(true);
    form.textBox("txtContAsym").setText("Hello, Quorval!");
    qobject_cast<QPushButton*>(windowing.mainForm().widget("cmdEncAsym"))->click();
    QApplication::processEvents();
    if (!save(windowing.mainForm().window(), QStringLiteral("tab3-encrypted.png"))) return 1;
    bool dialogSaved = false;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        dialogSaved = save(dialog, QStringLiteral("keydialog.png"));
        dialog->close();
    });
    timer->start();
    qobject_cast<QPushButton*>(windowing.mainForm().widget("cmdAsymSave"))->click();
    delete timer;
    if (!dialogSaved) return 1;

    const ui::qt::Look& look = windowing.look();
    std::printf("font %s %.1f pt, layout scale %.2f, pixel scale %.2f\n", qPrintable(look.font.family()),
                look.font.pointSizeF(), look.layoutScale, windowing.geometry().scale());
    return 0;
}

}  // namespace qttest
