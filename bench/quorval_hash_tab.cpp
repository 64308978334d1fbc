// SPDX-License-Identifier: Apache-2.0
// Hashes a file through the whole "Hash" tab: the window logic over the Qt
// layer (offscreen), the progress handler's yields and bar updates included.
//
//   QT_QPA_PLATFORM=offscreen quorval_hash_tab md5|sha1|tiger FILE
//   QT_QPA_PLATFORM=offscreen quorval_hash_tab keystroke MIB N
//       types N keys at the end of a text of MIB MiB (lines of 76 characters)
//       in the tab's text box; prints the median and the slowest keystroke in
//       ms, the window's events processed after each

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"

namespace {

int keystrokes(ui::qt::QtWindowing& windowing, size_t mib, int count) {
    ui::Form& form = windowing.mainForm();
    form.option("optType", 0).setValue(true);
    std::string text;
    text.reserve(mib << 20);
    const std::string line = std::string(76, 'a') + "\r\n";
    while (text.size() + line.size() <= (mib << 20)) text += line;
    form.textBox("txtCont").setText(text);

    QPlainTextEdit* box = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (!box) box = top->findChild<QPlainTextEdit*>("txtCont");
    if (!box) return 1;
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    QApplication::processEvents();

    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x");
        QApplication::sendEvent(box, &press);
        QApplication::sendEvent(box, &release);
        QApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    // The keys must have reached the box and its text.
    if (form.textBox("txtCont").text().size() != text.size() - text.size() / line.size() + count) return 1;
    std::sort(ms.begin(), ms.end());
    std::printf("%.3f %.3f\n", ms[ms.size() / 2], ms.back());
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "keystroke") {
        ui::qt::QtWindowing windowing(frmMainLayout());
        frmMain window(windowing, [] { return engine::CreateEngineRoot(); });
        window.Form_Load();
        windowing.showMain();
        return keystrokes(windowing, std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]));
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorval_hash_tab md5|sha1|tiger FILE\n");
        return 2;
    }
    const std::string name = argv[1];
    const int algorithm = name == "md5" ? 0 : name == "sha1" ? 1 : name == "tiger" ? 2 : -1;
    if (algorithm < 0) return 2;

    ui::qt::QtWindowing windowing(frmMainLayout());
    frmMain window(windowing, [] { return engine::CreateEngineRoot(); });
    window.Form_Load();
    windowing.showMain();

    ui::Form& form = windowing.mainForm();
    form.comboBox("cboEncHash").setListIndex(algorithm);
    form.option("optType", 2).setValue(true);
    form.option("optHash", 1).setValue(true);
    form.textBox("txtCont").setText(argv[2]);
    form.button("cmdHashBin").click.raise();
    const std::string digest = form.textBox("txtRes").text();
    std::printf("%s\n", digest.c_str());
    return digest.empty() ? 1 : 0;
}
