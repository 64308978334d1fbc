#pragma once
// Byte strings of the window logic to and from Qt's strings.

#include <QString>
#include <string>

class QKeyEvent;

namespace ui::qt {

// Valid UTF-8 is shown as UTF-8, anything else one character per byte (Latin-1).
QString displayText(const std::string& bytes);
// Our own texts (captions, titles, paths) as Qt strings.
QString qtext(const std::string& utf8);
// What the user typed or picked, as UTF-8.
std::string utf8(const QString& text);
// The Windows virtual-key code of a key event (0 when it has none).
int windowsKeyCode(const QKeyEvent& event);

}  // namespace ui::qt
