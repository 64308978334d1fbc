// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/Text.h"

#include <QKeyEvent>
#include <QStringDecoder>

namespace ui::qt {

QString displayText(const std::string& bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(view);
    if (decoder.hasError()) return QString::fromLatin1(view);
    return text;
}

namespace {

bool shownAsUtf8(const std::string& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // Decoded as displayText decodes, so that both take the same view of the bytes.
    const QString decoded =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError();
}

// Calls visit(position, offset, units) for each character displayText shows,
// in order; returns how many UTF-16 units it shows.
template <typename Visit>
qsizetype walkShown(const std::string& bytes, bool lineEndsJoined, Visit visit) {
    const bool utf8 = shownAsUtf8(bytes);
    size_t offset = 0;
    // The decoder drops a byte-order mark at the start.
    if (utf8 && bytes.compare(0, 3, "\xef\xbb\xbf") == 0) offset = 3;
    qsizetype position = 0;
    while (offset < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[offset]);
        size_t length = 1;
        int units = 1;
        if (lineEndsJoined && lead == '\r' && offset + 1 < bytes.size() && bytes[offset + 1] == '\n')
            length = 2;
        else if (utf8 && lead >= 0x80)
            length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (length == 4) units = 2;  // a surrogate pair
        visit(position, offset, units);
        position += units;
        offset += length;
    }
    return position;
}

}  // namespace

std::optional<std::pair<size_t, size_t>> shownRangeInBytes(const std::string& bytes, bool lineEndsJoined,
                                                           qsizetype shownLength, qsizetype from,
                                                           qsizetype to) {
    constexpr size_t kNone = std::string::npos;
    size_t begin = from == 0 ? 0 : kNone;
    size_t end = to == 0 ? 0 : kNone;
    bool split = false;
    const qsizetype length =
        walkShown(bytes, lineEndsJoined, [&](qsizetype position, size_t offset, int units) {
            if (position == from && from != 0) begin = offset;
            if (position == to && to != 0) end = offset;
            if (units == 2 && (from == position + 1 || to == position + 1)) split = true;
        });
    if (from == length) begin = bytes.size();
    if (to == length) end = bytes.size();
    if (length != shownLength || split || begin == kNone || end == kNone || begin > end) return std::nullopt;
    return std::make_pair(begin, end);
}

qsizetype shownPosition(const std::string& bytes, bool lineEndsJoined, size_t offset) {
    qsizetype found = -1;
    const qsizetype length = walkShown(bytes, lineEndsJoined, [&](qsizetype position, size_t start, int) {
        if (found < 0 && start >= offset && offset != 0) found = position;
    });
    if (offset == 0) return 0;
    return found < 0 ? length : found;
}

QString qtext(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

namespace {

struct KeyCode {
    int qt;
    int windows;
};

const KeyCode kKeys[] = {
    {Qt::Key_Backspace, 8},     {Qt::Key_Tab, 9},         {Qt::Key_Backtab, 9},
    {Qt::Key_Clear, 12},        {Qt::Key_Return, 13},     {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},        {Qt::Key_Control, 17},    {Qt::Key_Alt, 18},
    {Qt::Key_Pause, 19},        {Qt::Key_CapsLock, 20},   {Qt::Key_Escape, 27},
    {Qt::Key_Space, 32},        {Qt::Key_PageUp, 33},     {Qt::Key_PageDown, 34},
    {Qt::Key_End, 35},          {Qt::Key_Home, 36},       {Qt::Key_Left, 37},
    {Qt::Key_Up, 38},           {Qt::Key_Right, 39},      {Qt::Key_Down, 40},
    {Qt::Key_Print, 44},        {Qt::Key_Insert, 45},     {Qt::Key_Delete, 46},
    {Qt::Key_Meta, 91},         {Qt::Key_Menu, 93},       {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145},  {Qt::Key_Semicolon, 186}, {Qt::Key_Equal, 187},
    {Qt::Key_Plus, 187},        {Qt::Key_Comma, 188},     {Qt::Key_Minus, 189},
    {Qt::Key_Period, 190},      {Qt::Key_Slash, 191},     {Qt::Key_QuoteLeft, 192},
    {Qt::Key_BracketLeft, 219}, {Qt::Key_Backslash, 220}, {Qt::Key_BracketRight, 221},
    {Qt::Key_Apostrophe, 222},
};

// The numeric keypad has codes of its own.
const KeyCode kKeypadKeys[] = {
    {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107},  {Qt::Key_Minus, 109},
    {Qt::Key_Period, 110},   {Qt::Key_Slash, 111},
};

}  // namespace

int windowsKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return (keypad ? 96 : 48) + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 65 + (key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    if (keypad)
        for (const KeyCode& code : kKeypadKeys)
            if (code.qt == key) return code.windows;
    for (const KeyCode& code : kKeys)
        if (code.qt == key) return code.windows;
    return 0;
}

}  // namespace ui::qt
