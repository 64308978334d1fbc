// SPDX-License-Identifier: Apache-2.0
// The floor for the first paint of our window: a bare Qt Widgets window with
// the same caption and size, and nothing in it. Timed from outside by
// quorval_first_paint, as the program is.
//
//   quorval_bare_window [WIDTH HEIGHT]

#include <QApplication>
#include <QWidget>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Exemple"));
    if (argc == 3) window.resize(std::atoi(argv[1]), std::atoi(argv[2]));
    window.show();
    return QApplication::exec();
}
