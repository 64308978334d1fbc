// Hashes a file through the whole "Hash" tab: the window logic over the Qt
// layer (offscreen), the progress handler's yields and bar updates included.
//
//   QT_QPA_PLATFORM=offscreen quorval_hash_tab md5|sha1|tiger FILE

#include <QApplication>
#include <cstdio>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
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
