// SPDX-License-Identifier: Apache-2.0
// qt_tests: the Qt windowing layer on the offscreen platform. The
// QApplication is created only when tests run, so that listing them needs no
// display. "qt_tests --screenshots DIR" saves pictures of each tab instead, at
// scales 1, 1.5 and 2, under a dark palette and under a large font.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstring>
#include <memory>

#include "qt/Screenshots.h"

namespace {

int g_argc = 1;
char g_name[] = "qt_tests";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform warns about window-manager calls it cannot make.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void makeApplication() {
    if (g_app) return;
    g_previousHandler = qInstallMessageHandler(quietHandler);
    // The window fits itself to its screen: the offscreen one is made large enough for the
    // table's own rectangles at every scale and font the tests use (800x600 otherwise).
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUORVAL_OFFSCREEN_SCREEN);
    g_app = std::make_unique<QApplication>(g_argc, g_argv);
    QApplication::setApplicationName(QStringLiteral("Quorval"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
}

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        makeApplication();
        // The desktop's font decides how far the window grows. The tests draw with a compact
        // one that needs no growth, so that the table's pixel rectangles can be checked; the
        // theme tests set others.
        QFont compact(QStringLiteral("Liberation Sans"));
        compact.setPointSizeF(8);
        QApplication::setFont(compact);
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshots") == 0) {
            makeApplication();
            const int status = qttest::saveScreenshots(argv[i + 1]);
            g_app.reset();
            return status;
        }
        if (std::strcmp(argv[i], "--screenshot-set") == 0 && i + 2 < argc) {
            makeApplication();
            const int status = qttest::saveScreenshotSet(argv[i + 1], argv[i + 2]);
            g_app.reset();
            return status;
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);
    const int status = RUN_ALL_TESTS();
    g_app.reset();
    return status;
}
