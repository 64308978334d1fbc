// SPDX-License-Identifier: Apache-2.0
// What the user moves in and out of a text box on real widgets: copy, cut and
// paste through the real (offscreen) clipboard, and drops from a file manager.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "qt/ContractForms.h"
#include "qt/QtTestSupport.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"
#include "ui/qt/Text.h"

namespace {

class BoxTransfer : public ::testing::Test {
protected:
    ~BoxTransfer() override { QGuiApplication::clipboard()->clear(); }

    ui::qt::QtTextBox& box(const char* name) { return dynamic_cast<ui::qt::QtTextBox&>(form.textBox(name)); }
    QWidget* widget(const char* name) { return form.widget(name); }
    void press(const char* name, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        qttest::pressKey(widget(name), key, modifiers);
    }
    void select(const char* name, int from, int to) {
        if (auto* line = qobject_cast<QLineEdit*>(widget(name))) {
            line->setSelection(from, to - from);
            return;
        }
        auto* area = qobject_cast<QPlainTextEdit*>(widget(name));
        QTextCursor cursor = area->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        area->setTextCursor(cursor);
    }
    static std::optional<std::string> clippedBytes() {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        const QString type = QString::fromLatin1(ui::qt::kBytesMimeType);
        if (!data || !data->hasFormat(type)) return std::nullopt;
        return data->data(type).toStdString();
    }
    static QString clippedText() { return QGuiApplication::clipboard()->text(); }

    ui::qt::QtWindowing windowing{contract::mainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
};

// ---- The clipboard

TEST_F(BoxTransfer, AWholeBinaryTextCopiedDeletedAndPastedBackIsTheSameBytes) {
    const std::string bytes("\x00\x01 bin\xff\xfe\r\nline\rend\x80\xc3", 19);
    for (const char* name : {"txtMulti", "txtOne"}) {
        ui::TextBox& target = box(name);
        target.setText(bytes);
        int changes = 0;
        const ui::Connection counting = target.change.connect([&changes] { ++changes; });
        press(name, Qt::Key_A);
        press(name, Qt::Key_C);
        EXPECT_EQ(clippedBytes(), bytes) << name;
        EXPECT_FALSE(clippedText().isEmpty()) << name << ": other programs still get the text";

        press(name, Qt::Key_Delete, Qt::NoModifier);
        EXPECT_EQ(target.text(), "") << name;
        press(name, Qt::Key_V);
        EXPECT_EQ(target.text(), bytes) << name;
        EXPECT_EQ(changes, 2) << name;
    }
}

TEST_F(BoxTransfer, CutTakesExactlyTheSelectedBytesAndPasteGoesWhereTheCursorIs) {
    ui::TextBox& source = box("txtMulti");
    // Not UTF-8: one character per byte.
    source.setText("AB" + std::string("\xe9\x00", 2) + "CD");
    select("txtMulti", 2, 4);
    press("txtMulti", Qt::Key_X);
    EXPECT_EQ(clippedBytes(), std::string("\xe9\x00", 2));
    EXPECT_EQ(source.text(), "ABCD");

    // Into the middle of typed text, and over a selection.
    auto* line = qobject_cast<QLineEdit*>(widget("txtOne"));
    qttest::typeText(line, QStringLiteral("hello"));
    line->setCursorPosition(2);
    press("txtOne", Qt::Key_V);
    EXPECT_EQ(box("txtOne").text(), std::string("he\xe9\x00llo", 7));
    EXPECT_EQ(line->cursorPosition(), 4) << "after what was put in";
    select("txtOne", 0, 2);
    press("txtOne", Qt::Key_V);
    EXPECT_EQ(box("txtOne").text(), std::string("\xe9\x00\xe9\x00llo", 7));

    // An empty box takes the bytes as they are.
    source.setText("");
    press("txtMulti", Qt::Key_V);
    EXPECT_EQ(source.text(), std::string("\xe9\x00", 2));
}

TEST_F(BoxTransfer, APartOfUtf8TextMapsToItsOwnBytes) {
    // Valid UTF-8 with a NUL, a two-unit character and a Windows line end.
    const std::string bytes("caf\xc3\xa9\x00 \xf0\x9f\x98\x80 x\r\ny", 17);
    box("txtMulti").setText(bytes);
    // c a f é NUL blank 😀(two units) blank x line-end y
    select("txtMulti", 3, 8);
    press("txtMulti", Qt::Key_C);
    EXPECT_EQ(clippedBytes(), std::string("\xc3\xa9\x00 \xf0\x9f\x98\x80", 8));
    select("txtMulti", 9, 12);
    press("txtMulti", Qt::Key_C);
    EXPECT_EQ(clippedBytes(), std::string("x\r\ny")) << "the line end as it was written";
}

TEST_F(BoxTransfer, PlainTextIsCopiedAsQtAlwaysDidAndAReadOnlyBoxTakesNoPaste) {
    auto* area = widget("txtMulti");
    qttest::typeText(area, QString::fromUtf8("h\xc3\xa9llo"));
    press("txtMulti", Qt::Key_A);
    press("txtMulti", Qt::Key_C);
    EXPECT_EQ(clippedBytes(), std::nullopt);
    EXPECT_EQ(clippedText(), QString::fromUtf8("h\xc3\xa9llo"));
    press("txtOne", Qt::Key_V);
    EXPECT_EQ(box("txtOne").text(), "h\xc3\xa9llo");

    // A box the user cannot edit takes no paste, of bytes or text.
    box("txtMulti").setText(std::string("\xff\x00", 2));
    press("txtMulti", Qt::Key_A);
    press("txtMulti", Qt::Key_C);
    press("txtLevel", Qt::Key_V);
    press("txtLevel", Qt::Key_X);
    EXPECT_EQ(box("txtLevel").text(), "-1");
}

TEST_F(BoxTransfer, TheContextMenusCopyAndPasteKeepTheBytesToo) {
    const std::string bytes = std::string("\x00\xfe", 2) + "data";
    box("txtMulti").setText(bytes);
    auto runMenuEntry = [](QWidget* target, const QString& prefix) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(target, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return false;
        bool found = false;
        for (QAction* action : menu->actions()) {
            if (!action->text().startsWith(prefix)) continue;
            found = action->isEnabled();
            action->trigger();
            break;
        }
        menu->close();
        return found;
    };
    press("txtMulti", Qt::Key_A);
    ASSERT_TRUE(runMenuEntry(qobject_cast<QPlainTextEdit*>(widget("txtMulti"))->viewport(), "&Copy"));
    EXPECT_EQ(clippedBytes(), bytes);
    ASSERT_TRUE(runMenuEntry(widget("txtOne"), "&Paste"));
    EXPECT_EQ(box("txtOne").text(), bytes);

    QGuiApplication::clipboard()->clear();
    press("txtOne", Qt::Key_A);
    ASSERT_TRUE(runMenuEntry(widget("txtOne"), "Cu&t"));
    EXPECT_EQ(clippedBytes(), bytes);
    EXPECT_EQ(box("txtOne").text(), "");
}

TEST(ShownBytes, PositionsOnScreenMapToByteOffsetsOnlyWhereTheyAreExact) {
    using ui::qt::shownRangeInBytes;
    using Range = std::optional<std::pair<size_t, size_t>>;
    // A byte-order mark is not shown; a range from the start includes it.
    const std::string bom = std::string("\xef\xbb\xbf") + "ab";
    EXPECT_EQ(shownRangeInBytes(bom, false, 2, 0, 1), Range({0, 4}));
    EXPECT_EQ(shownRangeInBytes(bom, false, 2, 1, 2), Range({4, 5}));
    EXPECT_EQ(shownRangeInBytes(bom, false, 2, 0, 0), Range({0, 0}));
    // "\r\n" is one line end only where lines are joined.
    EXPECT_EQ(shownRangeInBytes("a\r\nb", true, 3, 1, 2), Range({1, 3}));
    EXPECT_EQ(shownRangeInBytes("a\r\nb", false, 4, 1, 2), Range({1, 2}));
    // Half of a surrogate pair, or a box that shows something else, has no bytes.
    EXPECT_EQ(shownRangeInBytes("\xf0\x9f\x98\x80", false, 2, 0, 1), std::nullopt);
    EXPECT_EQ(shownRangeInBytes("abc", false, 4, 0, 1), std::nullopt);
    EXPECT_EQ(ui::qt::shownPosition("\xc3\xa9x", false, 2), 1);
}

// ---- Drops

class BoxDrops : public BoxTransfer {
protected:
    BoxDrops() {
        for (const char* name : {"a.txt", "b.txt", "d\xc3\xa9j\xc3\xa0 vu.bin"}) {
            QFile file(dir.filePath(QString::fromUtf8(name)));
            file.open(QIODevice::WriteOnly);
            file.write("x");
        }
        QDir(dir.path()).mkdir(QStringLiteral("folder"));
        for (const char* name : {"txtMulti", "txtOne"})
            recording.push_back(form.textBox(name).fileDropped.connect([this, name](const std::string& path) {
                dropped.push_back(std::string(name) + " " + path);
            }));
    }

    QUrl file(const char* name) const { return QUrl::fromLocalFile(dir.filePath(QString::fromUtf8(name))); }
    static QMimeData* urls(const QList<QUrl>& list) {
        auto* data = new QMimeData;
        data->setUrls(list);
        return data;
    }

    struct Outcome {
        bool enterAccepted = false;
        bool dropAccepted = false;
        Qt::DropAction action = Qt::IgnoreAction;
    };
    // A drag over the box and a drop on it, as a file manager makes them.
    Outcome drag(const char* name, QMimeData* data,
                 Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
        QWidget* target = widget(name);
        if (auto* area = qobject_cast<QPlainTextEdit*>(target)) target = area->viewport();
        Outcome outcome;
        QDragEnterEvent enter(QPoint(5, 5), actions, data, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(target, &enter);
        outcome.enterAccepted = enter.isAccepted();
        QDropEvent drop(QPointF(5, 5), actions, data, Qt::LeftButton, Qt::NoModifier);
        drop.setAccepted(false);
        QCoreApplication::sendEvent(target, &drop);
        outcome.dropAccepted = drop.isAccepted();
        outcome.action = drop.dropAction();
        delete data;
        return outcome;
    }

    QTemporaryDir dir;
    std::vector<std::string> dropped;
    std::vector<ui::Connection> recording;
};

TEST_F(BoxDrops, OneFileIsTakenAsItsPathAndNeverMoved) {
    box("txtMulti").setText("kept");
    const Outcome outcome = drag("txtMulti", urls({file("d\xc3\xa9j\xc3\xa0 vu.bin")}));
    EXPECT_TRUE(outcome.enterAccepted);
    EXPECT_TRUE(outcome.dropAccepted);
    EXPECT_EQ(outcome.action, Qt::CopyAction) << "a move would let the file manager delete the file";
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(
        dropped[0],
        "txtMulti " +
            QFile::encodeName(dir.filePath(QString::fromUtf8("d\xc3\xa9j\xc3\xa0 vu.bin"))).toStdString());
    EXPECT_EQ(box("txtMulti").text(), "kept") << "the logic, not the box, puts the path in";

    EXPECT_EQ(drag("txtOne", urls({file("a.txt")}), Qt::LinkAction).action, Qt::LinkAction);
    EXPECT_FALSE(drag("txtOne", urls({file("a.txt")}), Qt::MoveAction).dropAccepted);
    EXPECT_EQ(dropped.size(), 2u);
}

TEST_F(BoxDrops, AnythingButOneLocalFileIsRefusedAndInsertsNothing) {
    box("txtMulti").setText("kept");
    box("txtOne").setText("kept");
    auto text = [] {
        auto* data = new QMimeData;
        data->setText(QStringLiteral("dropped text"));
        return data;
    };
    const std::vector<std::pair<const char*, QMimeData*>> cases = {
        {"two files", urls({file("a.txt"), file("b.txt")})},
        {"a folder", urls({file("folder")})},
        {"a missing file", urls({file("gone.txt")})},
        {"a remote file", urls({QUrl(QStringLiteral("https://example.org/a.txt"))})},
        {"a device", urls({QUrl::fromLocalFile(QStringLiteral("/dev/null"))})},
        {"plain text", text()},
    };
    for (const auto& [what, data] : cases) {
        auto* copy = new QMimeData;
        for (const QString& format : data->formats()) copy->setData(format, data->data(format));
        const Outcome area = drag("txtMulti", data);
        const Outcome line = drag("txtOne", copy);
        EXPECT_FALSE(area.enterAccepted || area.dropAccepted) << what;
        EXPECT_FALSE(line.enterAccepted || line.dropAccepted) << what;
    }
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(box("txtMulti").text(), "kept");
    EXPECT_EQ(box("txtOne").text(), "kept");
    // What was dropped is only ever named, never moved or changed.
    for (const char* name : {"a.txt", "b.txt"}) {
        QFile dropped(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(dropped.open(QIODevice::ReadOnly)) << name;
        EXPECT_EQ(dropped.readAll().toStdString(), "x") << name;
    }
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("folder"))).exists());
}

TEST_F(BoxDrops, ABoxThatIsDisabledOrThatNothingListensToTakesNoDrop) {
    form.textBox("txtMulti").setEnabled(false);
    EXPECT_FALSE(drag("txtMulti", urls({file("a.txt")})).dropAccepted);
    EXPECT_FALSE(drag("txtLevel", urls({file("a.txt")})).dropAccepted) << "no observer";
    EXPECT_TRUE(dropped.empty());
}

}  // namespace
