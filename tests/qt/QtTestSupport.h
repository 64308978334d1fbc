// SPDX-License-Identifier: Apache-2.0
#pragma once
// Helpers for driving real Qt widgets from tests without the Qt Test library.

#include <QApplication>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (const QString& text : list) *out << '"' << text.toStdString() << "\" ";
    *out << '}';
}

namespace qttest {

// A key press and release as the user makes them.
void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
              const QString& text = QString());
// Types text into the widget, one character at a time.
void typeText(QWidget* target, const QString& text);
// A dark theme's palette: light text on dark windows and boxes.
QPalette darkPalette();
// Processes events until the condition holds or a generous bound passes.
bool waitUntil(const std::function<bool()>& condition, int boundMs = 10000);

// Runs action on the modal widget of type T once it shows; a modal widget the
// action leaves open is then closed, so that the blocking call returns.
template <typename T>
void whenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
        if (QApplication::activeModalWidget() == modal && modal->isVisible()) modal->close();
    });
    timer->start();
}

}  // namespace qttest
