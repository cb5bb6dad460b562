#pragma once
// Chat lines as typed lines travel: "name> text" to everyone, or with a leading private
// mark 0x01 to chosen members. Each line carries its own CR LF.

#include <QString>

namespace tarnivel::chatline {

inline constexpr QChar PrivateMark = QChar(0x01);

QString publicLine(const QString &myName, const QString &text);  // name + "> " + text + CR LF
QString privateLine(const QString &myName, const QString &text); // 0x01 + name + "（秘）: " + text + CR LF

// Removes every private mark from text, wherever it stands; true when there was one.
// Text that carried the mark is shown emphasised.
bool stripPrivateMarks(QString &text);

} // namespace tarnivel::chatline
