// SPDX-License-Identifier: Apache-2.0
#include "qt/Screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "app/quorval.xpm"
#include "engine/Engine.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtWindowing.h"

namespace qttest {

namespace {

struct LookSet {
    const char* name;
    const char* scaleFactor;
};
const LookSet kLooks[] = {{"scale-1", "1"}, {"scale-1.5", "1.5"}, {"scale-2", "2"}, {"dark", "1"}, {"font-12pt", "1"}};

}  // namespace

int saveScreenshots(const char* dir) {
    int status = 0;
    for (const LookSet& look : kLooks) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(look.scaleFactor));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString folder = QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(look.name));
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--screenshot-set"), QString::fromLatin1(look.name), folder});
        if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "the %s pictures failed\n", look.name);
            status = 1;
        }
    }
    return status;
}

int saveScreenshotSet(const char* lookName, const char* dir) {
    // A theme's palette or font, as the platform hands it over.
    const bool lateFont = std::strcmp(lookName, "font-12pt") == 0;
    if (std::strcmp(lookName, "dark") == 0) QApplication::setPalette(darkPalette());
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
    if (lateFont) {
        QFont large(QStringLiteral("DejaVu Sans"));
        large.setPointSizeF(12);
        QApplication::setFont(large);
    }
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
    std::printf("%s: font %s %.1f pt, layout scale %.2f, pixel scale %.2f, device pixel ratio %.2f, window %dx%d\n",
                lookName, qPrintable(look.font.family()), look.font.pointSizeF(), look.layoutScale,
                windowing.geometry().scale(), windowing.mainForm().window()->devicePixelRatioF(),
                windowing.mainForm().window()->width(), windowing.mainForm().window()->height());
    return 0;
}

}  // namespace qttest
