#pragma once
// The requests of the room exchange: the entry's URL + "?" + the room name to enter (or
// renew), and the same + "+quit" to withdraw. The URL is assembled by plain concatenation;
// only what an HTTP request line cannot carry is percent-encoded: a blank becomes %20,
// control characters and " < > \ ^ ` { | } # their %XX, and every character outside ASCII
// the %XX of its code page 932 bytes. "&", "?", "+", "%" and the rest go as typed.
// (Older copies send the code page 932 bytes raw; the directory server reads both forms.)

#include <QByteArray>
#include <QString>

namespace tarnivel {

enum class RoomRequest { Enter, Withdraw };

QByteArray roomRequestUrl(const QString &url, const QString &room, RoomRequest request);

// The percent-encoding above, of any text.
QByteArray encodeRequestText(const QString &text);

} // namespace tarnivel
