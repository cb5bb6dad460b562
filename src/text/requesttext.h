#pragma once
// Text for an HTTP request line, percent-encoding only what such a line cannot carry: a
// blank becomes %20, control characters and " < > \ ^ ` { | } # their %XX, and every
// character outside ASCII the %XX of its code page 932 bytes. "&", "?", "+", "%" and the
// rest go as typed, so a URL the user typed reaches the server as typed.

#include <QByteArray>
#include <QString>

namespace tarnivel {

QByteArray encodeRequestText(const QString &text);

} // namespace tarnivel
