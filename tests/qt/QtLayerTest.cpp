// SPDX-License-Identifier: Apache-2.0
// What only the Qt layer can get wrong: how bytes look, key codes, cursors,
// the event loop, message boxes and the file dialog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qt/ContractForms.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/FileDialog.h"
#include "ui/qt/Geometry.h"
#include "ui/qt/Look.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"

namespace {

class QtLayer : public ::testing::Test {
protected:
    ~QtLayer() override { windowing.setScreenPointer(ui::MousePointer::Default); }

    template <typename W = QWidget>
    W* widget(const std::string& name, int index = -1) {
        return qobject_cast<W*>(form.widget(name, index));
    }

    ui::qt::QtWindowing windowing{contract::mainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
};

// ---- Text boxes

TEST_F(QtLayer, ValidUtf8IsShownAsUtf8AndOtherBytesOneCharacterPerByte) {
    for (const char* name : {"txtOne", "txtMulti"}) {
        auto& box = dynamic_cast<ui::qt::QtTextBox&>(form.textBox(name));
        box.setText("caf\xc3\xa9");
        EXPECT_EQ(box.shownText(), QString::fromUtf8("caf\xc3\xa9")) << name;
        box.setText("caf\xe9");
        EXPECT_EQ(box.shownText(), QString::fromUtf8("caf\xc3\xa9")) << name;
        EXPECT_EQ(box.text(), "caf\xe9") << name;
        box.setText("\xff\xfe\x80");
        EXPECT_EQ(box.shownText(), QString::fromUtf8("\xc3\xbf\xc3\xbe\xc2\x80")) << name;
    }
}

TEST_F(QtLayer, GreyBoxesUseTheInactiveBorderColourInEveryState) {
    auto* level = widget<QLineEdit>("txtLevel");
    const QColor grey = ui::qt::systemColor(ui::SysColor::InactiveBorder);
    EXPECT_EQ(level->palette().color(QPalette::Active, QPalette::Base), grey);
    EXPECT_EQ(form.textBox("txtLevel").backColor(), ui::SysColor::InactiveBorder);

    ui::TextBox& multi = form.textBox("txtMulti");
    auto* area = widget<QPlainTextEdit>("txtMulti");
    multi.setBackColor(ui::SysColor::InactiveBorder);
    multi.setEnabled(false);
    EXPECT_EQ(area->palette().color(QPalette::Disabled, QPalette::Base), grey);
    multi.setBackColor(ui::SysColor::WindowBackground);
    EXPECT_EQ(area->palette().color(QPalette::Disabled, QPalette::Base),
              ui::qt::systemColor(ui::SysColor::WindowBackground));
}

TEST_F(QtLayer, KeyReleasesArriveAsWindowsKeyCodesOncePerRelease) {
    ui::TextBox& level = form.textBox("txtLevel");  // read-only boxes report keys too
    std::vector<int> codes;
    const ui::Connection recording = level.keyUp.connect([&codes](int code) { codes.push_back(code); });
    QWidget* target = widget("txtLevel");
    qttest::pressKey(target, Qt::Key_Up);
    qttest::pressKey(target, Qt::Key_Down);
    qttest::pressKey(target, Qt::Key_A, Qt::NoModifier, "a");
    qttest::pressKey(target, Qt::Key_5, Qt::NoModifier, "5");
    qttest::pressKey(target, Qt::Key_5, Qt::KeypadModifier, "5");
    qttest::pressKey(target, Qt::Key_Return);
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(target, &repeated);
    EXPECT_EQ(codes, (std::vector<int>{38, 40, 65, 53, 101, 13}));
    EXPECT_EQ(level.text(), "-1");  // nothing typed into it
}

TEST_F(QtLayer, FocusInRaisesGotFocus) {
    int focused = 0;
    const ui::Connection counting = form.textBox("txtOne").gotFocus.connect([&focused] { ++focused; });
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(widget("txtOne"), &focusIn);
    EXPECT_EQ(focused, 1);
}

// ---- Buttons, tab strip, progress bar

TEST_F(QtLayer, ButtonReportsMouseMovesAndShowsItsOwnPointer) {
    ui::Button& go = form.button("cmdGo");
    int moves = 0;
    const ui::Connection counting = go.mouseMove.connect([&moves] { ++moves; });
    QWidget* button = widget("cmdGo");
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &move);
    EXPECT_EQ(moves, 1);

    go.setMousePointer(ui::MousePointer::ArrowQuestion);
    EXPECT_TRUE(button->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(button->cursor().shape(), Qt::WhatsThisCursor);
    go.setMousePointer(ui::MousePointer::Default);
    EXPECT_FALSE(button->testAttribute(Qt::WA_SetCursor));
}

TEST_F(QtLayer, TabStripRaisesClickWhenTheUserPicksAnotherTab) {
    ui::TabStrip& tabs = form.tabStrip("tabs");
    int clicks = 0;
    const ui::Connection counting = tabs.click.connect([&clicks] { ++clicks; });
    QTabBar* bar = widget<QTabWidget>("tabs")->tabBar();
    bar->setCurrentIndex(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(tabs.selectedIndex(), 2);
    qttest::pressKey(bar, Qt::Key_Left);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(tabs.selectedIndex(), 1);
}

TEST_F(QtLayer, ProgressBarShowsValuesOutsideItsRangeAtTheNearestEnd) {
    ui::ProgressBar& bar = form.progressBar("pgBar");
    bar.setValue(-5);
    EXPECT_EQ(widget<QProgressBar>("pgBar")->value(), 0);
    bar.setValue(250);
    EXPECT_EQ(widget<QProgressBar>("pgBar")->value(), 100);
}

// The fit is measured with one widget of each kind, reused from control to control.
TEST_F(QtLayer, EveryCaptionAndListIsMeasuredByItsOwnText) {
    const QFont font = QApplication::font();
    const QString longText = QStringLiteral("a caption far too long for its place");
    // 15 twips a pixel at the screen's scale: the long text gets half the room it needs.
    const int halfWidth = static_cast<int>(15 * QFontMetrics(font).horizontalAdvance(longText) / 2 /
                                           ui::qt::Geometry::screenScale());
    for (ui::ControlKind kind : {ui::ControlKind::Label, ui::ControlKind::Option, ui::ControlKind::ComboBox}) {
        ui::FormLayout layout;
        for (const QString& text : {QStringLiteral("x"), longText}) {
            const bool first = text.size() == 1;
            ui::ControlLayout c =
                ui::makeControl(first ? "short" : "long", -1, kind, "", "", {0, 0, first ? 30000 : halfWidth, 600}, 1);
            (kind == ui::ControlKind::ComboBox ? c.items.emplace_back() : c.caption) = text.toStdString();
            layout.controls.push_back(c);
        }
        EXPECT_GT(ui::qt::captionOverflow(layout, font), 1.5) << static_cast<int>(kind);
    }
}

// Reports come every few milliseconds; a visible bar repaints at most every
// 40 ms, and always ends on the latest value.
TEST_F(QtLayer, AVisibleProgressBarCatchesUpWithTheLatestValueAtItsPace) {
    ui::ProgressBar& bar = form.progressBar("pgBar");
    auto* shown = widget<QProgressBar>("pgBar");
    windowing.showMain();
    bar.setVisible(true);
    bar.setValue(10);
    QElapsedTimer sinceShown;
    sinceShown.start();
    EXPECT_EQ(shown->value(), 10);  // nothing shown lately: at once
    bar.setValue(20);
    bar.setValue(30);
    EXPECT_EQ(bar.value(), 30);
    // (A machine that stalled here may be past the interval already.)
    if (sinceShown.elapsed() < ui::qt::QtProgressBar::kRepaintIntervalMs) {
        EXPECT_EQ(shown->value(), 10);
    }
    while (shown->value() != 30 && sinceShown.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(shown->value(), 30);

    // Hidden, as after the last report: the value changes at once.
    bar.setValue(100);
    bar.setVisible(false);
    bar.setValue(0);
    EXPECT_EQ(shown->value(), 0);
    QApplication::processEvents();
    EXPECT_EQ(shown->value(), 0);
}

TEST_F(QtLayer, EscapeFromAnyControlClicksTheEnabledCancelButton) {
    int clicks = 0;
    const ui::Connection counting = form.button("cmdAbort").click.connect([&clicks] { ++clicks; });
    form.button("cmdAbort").setEnabled(true);
    qttest::pressKey(widget("txtMulti"), Qt::Key_Escape);
    qttest::pressKey(widget("cboList"), Qt::Key_Escape);
    EXPECT_EQ(clicks, 2);
    form.button("cmdAbort").setVisible(false);
    qttest::pressKey(widget("txtOne"), Qt::Key_Escape);
    EXPECT_EQ(clicks, 2);
}

// ---- The window and the event loop

TEST_F(QtLayer, TheMainWindowsCloseBoxLeavesTheDecisionToTheLogic) {
    int requests = 0;
    const ui::Connection counting = form.closeRequested.connect([&requests] { ++requests; });
    windowing.showMain();
    EXPECT_FALSE(form.window()->close());
    EXPECT_TRUE(form.window()->isVisible());
    EXPECT_EQ(requests, 1);
}

TEST_F(QtLayer, UnloadMainHidesTheWindowAndEndsTheEventLoop) {
    const ui::Connection unloading = form.closeRequested.connect([this] { windowing.unloadMain(); });
    windowing.showMain();
    QTimer::singleShot(0, form.window(), [this] { form.window()->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form.window()->isVisible());
    EXPECT_TRUE(windowing.unloaded());
}

TEST_F(QtLayer, DoEventsRunsWhatIsPending) {
    bool ran = false;
    QMetaObject::invokeMethod(
        form.window(), [&ran] { ran = true; }, Qt::QueuedConnection);
    windowing.doEvents();
    EXPECT_TRUE(ran);
}

TEST_F(QtLayer, TheScreenPointerCannotGetStuckBusy) {
    windowing.setScreenPointer(ui::MousePointer::Hourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    windowing.setScreenPointer(ui::MousePointer::Hourglass);  // nested operations
    QApplication::setOverrideCursor(Qt::BusyCursor);          // and someone else's
    windowing.setScreenPointer(ui::MousePointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- Dialog forms

TEST_F(QtLayer, DialogsAreModalAndOwnedByTheMainWindow) {
    std::unique_ptr<ui::Form> dialog = windowing.createForm(contract::dialogLayout());
    QWidget* window = dynamic_cast<ui::qt::QtForm&>(*dialog).window();
    EXPECT_EQ(window->parentWidget(), form.window());
    bool modal = false;
    QTimer::singleShot(0, window, [&] {
        modal = QApplication::activeModalWidget() == window;
        dialog->hide();
    });
    dialog->showModal();
    EXPECT_TRUE(modal);
}

TEST_F(QtLayer, EnterOnAFocusedButtonClicksThatButtonNotTheDefault) {
    std::unique_ptr<ui::Form> dialog = windowing.createForm(contract::dialogLayout());
    auto& qtDialog = dynamic_cast<ui::qt::QtForm&>(*dialog);
    int ok = 0, cancel = 0;
    const ui::Connection onOk = dialog->button("cmdOk").click.connect([&] {
        ++ok;
        dialog->hide();
    });
    const ui::Connection onCancel = dialog->button("cmdCancel").click.connect([&] {
        ++cancel;
        dialog->hide();
    });
    QTimer::singleShot(0, qtDialog.window(), [&] {
        qtDialog.widget("cmdCancel")->setFocus();
        qttest::pressKey(qtDialog.widget("cmdCancel"), Qt::Key_Return, Qt::NoModifier, "\r");
    });
    dialog->showModal();
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(ok, 0);
}

TEST_F(QtLayer, ADialogWithoutCancelButtonIgnoresEscape) {
    ui::FormLayout layout = contract::dialogLayout();
    layout.cancelButton.clear();
    std::unique_ptr<ui::Form> dialog = windowing.createForm(layout);
    QWidget* window = dynamic_cast<ui::qt::QtForm&>(*dialog).window();
    bool stillOpen = false;
    QTimer::singleShot(0, window, [&] {
        qttest::pressKey(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Escape);
        stillOpen = window->isVisible();
        dialog->hide();
    });
    dialog->showModal();
    EXPECT_TRUE(stillOpen);
}

// ---- Tearing down

// Observes every event of every control of a form, and counts what arrives.
struct EveryEvent {
    EveryEvent(ui::Form& form, const ui::FormLayout& layout) {
        using K = ui::ControlKind;
        std::vector<ui::Event<>*> events{&form.closeRequested};
        for (const ui::ControlLayout& c : layout.controls) {
            if (c.kind == K::TextBox) {
                ui::TextBox& box = form.textBox(c.name);
                events.insert(events.end(), {&box.change, &box.gotFocus});
                links.push_back(box.keyUp.connect([this](int) { ++raised; }));
                links.push_back(box.fileDropped.connect([this](const std::string&) { ++raised; }));
            } else if (c.kind == K::Button) {
                events.insert(events.end(), {&form.button(c.name).click, &form.button(c.name).mouseMove});
            } else if (c.kind == K::UpDown) {
                events.insert(events.end(), {&form.upDown(c.name).upClick, &form.upDown(c.name).downClick});
            } else if (c.kind == K::Option) {
                events.push_back(&form.option(c.name, c.index).click);
            } else if (c.kind == K::ComboBox) {
                events.push_back(&form.comboBox(c.name).click);
            } else if (c.kind == K::TabStrip) {
                events.push_back(&form.tabStrip(c.name).click);
            }
        }
        for (ui::Event<>* event : events) links.push_back(event->connect([this] { ++raised; }));
    }

    int raised = 0;
    std::vector<ui::Connection> links;  // outlive the form: they must let go quietly
};

TEST(QtTeardown, AFormTornDownReachesNoObserverOfItsControls) {
    auto windowing = std::make_unique<ui::qt::QtWindowing>(contract::mainLayout());
    ui::qt::QtForm& form = windowing->mainForm();
    std::unique_ptr<ui::Form> dialog = windowing->createForm(contract::dialogLayout());
    EveryEvent main(form, contract::mainLayout());
    EveryEvent asked(*dialog, contract::dialogLayout());
    windowing->showMain();
    qobject_cast<QTabWidget*>(form.widget("tabs"))->setCurrentIndex(1);
    form.widget("txtOne")->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    const int before = main.raised;
    // Widgets that still act while their window goes (its children go after this signal).
    auto* go = qobject_cast<QPushButton*>(form.widget("cmdGo"));
    auto* tabs = qobject_cast<QTabWidget*>(form.widget("tabs"));
    auto* list = qobject_cast<QComboBox*>(form.widget("cboList"));
    QObject::connect(form.window(), &QObject::destroyed, [go, tabs, list] {
        go->click();
        tabs->setCurrentIndex(0);
        list->setCurrentIndex(2);
    });

    dialog.reset();
    windowing.reset();
    EXPECT_EQ(main.raised, before);
    EXPECT_EQ(asked.raised, 0);
}

TEST(QtTeardown, ADialogWhoseOwnerWindowWentFirstLetsGoOfIt) {
    auto windowing = std::make_unique<ui::qt::QtWindowing>(contract::mainLayout());
    std::unique_ptr<ui::Form> dialog = windowing->createForm(contract::dialogLayout());
    auto& qtDialog = dynamic_cast<ui::qt::QtForm&>(*dialog);
    EveryEvent asked(*dialog, contract::dialogLayout());
    const QPointer<QWidget> window = qtDialog.window();

    windowing.reset();  // the main window takes its dialog with it
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(qtDialog.window(), nullptr);
    EXPECT_EQ(asked.raised, 0);
    dialog.reset();  // and the form deletes nothing twice
}

// ---- Message boxes

struct SeenBox {
    QString title, text, iconName;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

SeenBox look(QMessageBox* box) {
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QLabel* label : box->findChildren<QLabel*>())
        if (!label->pixmap().isNull()) seen.iconName = label->accessibleName();
    seen.buttons = box->standardButtons();
    seen.defaultButton =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    return seen;
}

TEST_F(QtLayer, MessageBoxWithoutTitleTakesTheApplicationsTitle) {
    SeenBox seen;
    qttest::whenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = look(box);
        box->button(QMessageBox::Ok)->click();
    });
    ui::MessageBoxRequest request;
    request.text = "Not implemented";
    EXPECT_EQ(windowing.messageBox(request), ui::MsgAnswer::Ok);
    EXPECT_EQ(seen.title, "Quorval");
    EXPECT_EQ(windowing.applicationTitle(), "Quorval");
    EXPECT_EQ(seen.text, "Not implemented");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(QtLayer, MessageBoxShowsItsTitleIconAndText) {
    SeenBox seen;
    qttest::whenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = look(box);
        box->button(QMessageBox::Ok)->click();
    });
    ui::MessageBoxRequest request;
    request.text = "Bad byte \xe9";
    request.icon = ui::MsgIcon::Error;
    request.title = std::string("clsHash->HashBinary");
    windowing.messageBox(request);
    EXPECT_EQ(seen.title, "clsHash->HashBinary");
    EXPECT_EQ(seen.text, QString::fromUtf8("Bad byte \xc3\xa9"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.iconName, "Error");  // what a screen reader says for the picture

    qttest::whenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = look(box);
        box->button(QMessageBox::Ok)->click();
    });
    request.icon = ui::MsgIcon::Warning;
    request.title = std::string();  // empty: the application's title
    windowing.messageBox(request);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.iconName, "Warning");
    EXPECT_EQ(seen.title, "Quorval");
}

TEST_F(QtLayer, YesNoQuestionHasTheRequestedDefaultAndEscapeAnswersNo) {
    ui::MessageBoxRequest question;
    question.text = "The file /tmp/x already exists. Replace it?";
    question.icon = ui::MsgIcon::Warning;
    question.buttons = ui::MsgButtons::YesNo;
    question.defaultAnswer = ui::MsgAnswer::No;

    SeenBox seen;
    qttest::whenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = look(box);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(windowing.messageBox(question), ui::MsgAnswer::Yes);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    qttest::whenModal<QMessageBox>([](QMessageBox* box) { qttest::pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(windowing.messageBox(question), ui::MsgAnswer::No);

    question.defaultAnswer = ui::MsgAnswer::Yes;
    qttest::whenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = look(box);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(windowing.messageBox(question), ui::MsgAnswer::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
}

// ---- The file dialog

const char* const kFilter = "All Files (*.*)|*.*| Text Files (*.txt)|*.txt";

class FileDialog : public QtLayer {
protected:
    FileDialog() {
        for (const char* name : {"README", "notes.txt", "data.bin"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            file.open(QIODevice::WriteOnly);
            file.write("x");
        }
    }
    static ui::FileDialogRequest request(const std::string& title, bool save = false) {
        ui::FileDialogRequest r;
        r.save = save;
        r.title = title;
        r.filter = kFilter;
        r.filterIndex = 1;
        r.flags = 4;
        return r;
    }

    QTemporaryDir dir;
};

TEST_F(FileDialog, FiltersKeepTheirLabelsAndStarDotStarMatchesEveryName) {
    EXPECT_EQ(ui::qt::qtNameFilters(kFilter),
              (QStringList{"All Files (*.*) (*)", "Text Files (*.txt) (*.txt)"}));
    EXPECT_EQ(ui::qt::qtNameFilters("Keys|*.pem;*.key"), QStringList{"Keys (*.pem *.key)"});
    EXPECT_TRUE(ui::qt::qtNameFilters("").isEmpty());
}

TEST_F(FileDialog, AllFilesListsNamesWithoutADotAndTextFilesOnlyTextFiles) {
    QFileDialog dialog;
    ui::qt::configureFileDialog(dialog, request("Open file "));
    dialog.setDirectory(dir.path());
    dialog.show();

    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), "All Files (*.*)");
    EXPECT_EQ(types->itemText(1), "Text Files (*.txt)");
    EXPECT_EQ(types->currentIndex(), 0);

    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    auto listed = [&] {
        QStringList names;
        const QModelIndex root = model->index(dir.path());
        for (int row = 0; row < model->rowCount(root); ++row)
            names << model->index(row, 0, root).data().toString();
        names.sort();
        return names;
    };
    EXPECT_TRUE(qttest::waitUntil([&] { return listed().size() == 3; }));
    EXPECT_EQ(listed(), (QStringList{"README", "data.bin", "notes.txt"}));

    dialog.selectNameFilter(ui::qt::qtNameFilters(kFilter)[1]);
    EXPECT_TRUE(qttest::waitUntil([&] { return listed().size() == 1; }));
    EXPECT_EQ(listed(), QStringList{"notes.txt"});
}

TEST_F(FileDialog, OpenDialogReturnsTheChosenFileEvenWithoutADot) {
    QString title;
    bool open = false;
    qttest::whenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        open = dialog->acceptMode() == QFileDialog::AcceptOpen &&
               dialog->fileMode() == QFileDialog::ExistingFile;
        dialog->setDirectory(dir.path());
        dialog->selectFile(dir.filePath("README"));
        static_cast<QDialog*>(dialog)->accept();  // as the Open or Save button does
    });
    const std::optional<std::string> chosen = windowing.fileDialog(request("Open file "));
    EXPECT_EQ(title, "Open file ");
    EXPECT_TRUE(open);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QFile::encodeName(dir.filePath("README")).toStdString());
}

TEST_F(FileDialog, StartsInTheRequestedFolderAndIsQtsOwnOnlyWithoutADesktop) {
    EXPECT_TRUE(ui::qt::desktopDialogsOn("xcb"));
    EXPECT_TRUE(ui::qt::desktopDialogsOn("wayland"));
    EXPECT_FALSE(ui::qt::desktopDialogsOn("offscreen"));

    QString started;
    bool own = false;
    qttest::whenModal<QFileDialog>([&](QFileDialog* dialog) {
        started = dialog->directory().absolutePath();
        own = dialog->testOption(QFileDialog::DontUseNativeDialog);
        dialog->reject();
    });
    ui::FileDialogRequest r = request("Open file ");
    r.folder = QFile::encodeName(dir.path()).toStdString();
    windowing.fileDialog(r);
    EXPECT_EQ(started, QDir(dir.path()).absolutePath());
    EXPECT_TRUE(own) << "offscreen has no desktop dialog";

    // A folder that has gone since leaves the start to the platform.
    QFileDialog dialog;
    const QString before = dialog.directory().absolutePath();
    r.folder = QFile::encodeName(dir.filePath("gone")).toStdString();
    ui::qt::configureFileDialog(dialog, r);
    EXPECT_EQ(dialog.directory().absolutePath(), before);
}

TEST_F(FileDialog, CancelReturnsNothing) {
    qttest::whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(windowing.fileDialog(request("Load to file ")), std::nullopt);
}

TEST_F(FileDialog, SaveDialogAsksBeforeOverwritingAndStartsAtTheRequestedFilter) {
    bool save = false, confirms = false;
    QString filter;
    qttest::whenModal<QFileDialog>([&](QFileDialog* dialog) {
        save = dialog->acceptMode() == QFileDialog::AcceptSave;
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        filter = dialog->selectedNameFilter();
        dialog->setDirectory(dir.path());
        dialog->selectFile(dir.filePath("new.key"));
        static_cast<QDialog*>(dialog)->accept();  // as the Open or Save button does
    });
    ui::FileDialogRequest r = request("Save to file ", true);
    r.filterIndex = 2;
    const std::optional<std::string> chosen = windowing.fileDialog(r);
    EXPECT_TRUE(save);
    EXPECT_TRUE(confirms);
    EXPECT_EQ(filter, "Text Files (*.txt)");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QFile::encodeName(dir.filePath("new.key")).toStdString());
}

}  // namespace
