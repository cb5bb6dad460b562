#pragma once
// The requests of the room exchange: the entry's URL + "?" + the room name to enter (or
// renew), and the same + "+quit" to withdraw. The URL is assembled by plain concatenation;
// only what an HTTP request line cannot carry is percent-encoded (encodeRequestText), so
// "&", "?", "+", "%" and the rest go as typed. (Older copies send the code page 932 bytes
// raw; the directory server reads both forms.)

#include <QByteArray>
#include <QString>

namespace tarnivel {

enum class RoomRequest { Enter, Withdraw };

QByteArray roomRequestUrl(const QString &url, const QString &room, RoomRequest request);

} // namespace tarnivel
