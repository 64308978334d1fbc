// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/QtWindowing.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "ui/qt/FileDialog.h"
#include "ui/qt/Text.h"

namespace ui::qt {

namespace {

// Screen readers get the icon's meaning, not an unnamed picture.
void nameIcon(QMessageBox& box, const char* name) {
    for (QLabel* label : box.findChildren<QLabel*>())
        if (!label->pixmap().isNull()) label->setAccessibleName(QString::fromLatin1(name));
}

}  // namespace

QtWindowing::QtWindowing(const ui::FormLayout& mainLayout)
    : m_mainLayout(mainLayout),
      m_look(installLook(mainLayout)),
      m_geometry(Geometry::screenScale() * m_look.layoutScale, Geometry::deviceStep()),
      m_main(std::make_unique<QtForm>(mainLayout, FormRole::Main, nullptr, m_geometry,
                                      [this](const QSize& room) { return refit(room); })) {}

Geometry QtWindowing::refit(const QSize& room) {
    // Measuring the captions costs a few milliseconds: only a new font needs it.
    if (QApplication::font() != m_look.font)
        m_look = fitLook(m_mainLayout, QApplication::font());
    const double screenScale = Geometry::screenScale();
    const int step = Geometry::deviceStep();
    m_geometry = Geometry(screenScale * m_look.layoutScale, step);
    if (!room.isValid()) return m_geometry;
    const double factor =
        fitToRoom(m_look, m_mainLayout.clientWidth, m_mainLayout.clientHeight, room, screenScale, step);
    return Geometry(screenScale * factor, step);
}

QtWindowing::~QtWindowing() { setScreenPointer(ui::MousePointer::Default); }

std::unique_ptr<ui::Form> QtWindowing::createForm(const ui::FormLayout& layout) {
    // Dialogs are small: they keep the look's size on any screen.
    return std::make_unique<QtForm>(layout, FormRole::Dialog, m_main->window(), m_geometry,
                                    [this](const QSize&) { return refit(QSize()); });
}

QWidget* QtWindowing::dialogOwner() const {
    QWidget* window = m_main->window();
    return window && window->isVisible() ? window : nullptr;
}

ui::MsgAnswer QtWindowing::messageBox(const ui::MessageBoxRequest& request) {
    QMessageBox box(dialogOwner());
    const std::string title = request.title && !request.title->empty() ? *request.title : applicationTitle();
    box.setWindowTitle(qtext(title));
    box.setText(displayText(request.text));
    box.setTextFormat(Qt::PlainText);
    switch (request.icon) {
        case ui::MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            nameIcon(box, "Error");
            break;
        case ui::MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            nameIcon(box, "Warning");
            break;
        case ui::MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if (request.buttons == ui::MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultAnswer == ui::MsgAnswer::Yes ? QMessageBox::Yes
                                                                         : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    // The box is modal: the busy pointer must not hide the arrow over it.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    if (request.buttons == ui::MsgButtons::YesNo)
        return answer == QMessageBox::Yes ? ui::MsgAnswer::Yes : ui::MsgAnswer::No;
    return ui::MsgAnswer::Ok;
}

std::optional<std::string> QtWindowing::fileDialog(const ui::FileDialogRequest& request) {
    QFileDialog dialog(dialogOwner());
    configureFileDialog(dialog, request);
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = dialog.exec();
    if (busy) QApplication::restoreOverrideCursor();
    if (result != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return QFile::encodeName(files.first()).toStdString();
}

void QtWindowing::setScreenPointer(ui::MousePointer pointer) {
    m_pointer = pointer;
    // A state, not a stack: whatever was pushed before goes.
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    switch (pointer) {
        case ui::MousePointer::Hourglass:
            QApplication::setOverrideCursor(Qt::WaitCursor);
            break;
        case ui::MousePointer::ArrowQuestion:
            QApplication::setOverrideCursor(Qt::WhatsThisCursor);
            break;
        case ui::MousePointer::Default:
        default:
            break;
    }
}

void QtWindowing::doEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtWindowing::unloadMain() {
    m_unloaded = true;
    m_main->hide();
    // exit(), not quit(): quit() first asks every window to close.
    QCoreApplication::exit(0);
}

std::string QtWindowing::applicationTitle() const {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? std::string("Quorval") : utf8(name);
}

void QtWindowing::showMain() {
    if (!m_unloaded) m_main->show();
}

}  // namespace ui::qt
