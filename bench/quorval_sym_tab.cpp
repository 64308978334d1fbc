// SPDX-License-Identifier: Apache-2.0
// Encrypts or decrypts a file through the whole "Symetric Encrypt/Decrypt"
// tab: the window logic over the Qt layer (offscreen), the progress handler's
// yields and bar updates included. 256-bit key, CBC, PKCS#7 ("PCKS5"),
// compression 0, Binary form, the engine's own key-derivation cost.
//
//   QT_QPA_PLATFORM=offscreen quorval_sym_tab encrypt|decrypt aes|twofish PASSWORD FILE
//
// Prints the path written: FILE with "Enc" or "Dec" before its last four characters.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::string direction = argc == 5 ? argv[1] : "";
    const std::string name = argc == 5 ? argv[2] : "";
    const int algorithm = name == "aes" ? 0 : name == "twofish" ? 1 : -1;
    if ((direction != "encrypt" && direction != "decrypt") || algorithm < 0) {
        std::fprintf(stderr, "usage: quorval_sym_tab encrypt|decrypt aes|twofish PASSWORD FILE\n");
        return 2;
    }

    ui::qt::QtWindowing windowing(frmMainLayout());
    frmMain window(windowing, [] { return engine::CreateEngineRoot(); });
    window.Form_Load();
    windowing.showMain();

    // A message box (a failure, or the question about an existing output) would
    // wait for a user: print it and answer with its default instead.
    bool boxShown = false;
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "%s\n", qPrintable(box->text()));
            boxShown = true;
            box->close();
        }
    });
    boxCloser.start(20);

    ui::Form& form = windowing.mainForm();
    form.comboBox("cboSymAlg").setListIndex(algorithm);
    form.comboBox("cboSymKey").setListIndex(2);
    form.comboBox("cboSymPad").setListIndex(1);
    form.option("optCip", 1).setValue(true);
    form.option("optTypeSym", 0).setValue(true);
    form.upDown("udSymLev").setValue(0);
    form.textBox("txtSymPass").setText(argv[3]);
    form.option("optSym", 1).setValue(true);
    const bool encrypt = direction == "encrypt";
    form.textBox(encrypt ? "txtContSym" : "txtResSym").setText(argv[4]);
    form.button(encrypt ? "cmdEncSym" : "cmdDecSym").click.raise();
    const std::string written = form.textBox(encrypt ? "txtResSym" : "txtContSym").text();
    std::printf("%s\n", written.c_str());
    return written.empty() || boxShown ? 1 : 0;
}
