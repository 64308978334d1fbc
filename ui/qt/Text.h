// SPDX-License-Identifier: Apache-2.0
#pragma once
// Byte strings of the window logic to and from Qt's strings.

#include <QString>
#include <optional>
#include <string>
#include <utility>

class QKeyEvent;

namespace ui::qt {

// Valid UTF-8 is shown as UTF-8, anything else one character per byte (Latin-1).
QString displayText(const std::string& bytes);
// The bytes behind characters [from, to) of displayText(bytes), as byte
// offsets. A multi-line box shows "\r\n" as one line end (lineEndsJoined).
// Nothing when the box does not show shownLength characters (it no longer
// shows these bytes) or a bound splits a character.
std::optional<std::pair<size_t, size_t>> shownRangeInBytes(const std::string& bytes, bool lineEndsJoined,
                                                           qsizetype shownLength, qsizetype from,
                                                           qsizetype to);
// The character of displayText(bytes) at which byte `offset` is shown.
qsizetype shownPosition(const std::string& bytes, bool lineEndsJoined, size_t offset);
// Our own texts (captions, titles, paths) as Qt strings.
QString qtext(const std::string& utf8);
// What the user typed or picked, as UTF-8.
std::string utf8(const QString& text);
// The Windows virtual-key code of a key event (0 when it has none).
int windowsKeyCode(const QKeyEvent& event);

}  // namespace ui::qt
