#include "directory/roomrequest.h"

#include "text/requesttext.h"

namespace tarnivel {

QByteArray roomRequestUrl(const QString &url, const QString &room, RoomRequest request)
{
    QString assembled = url + u'?' + room;
    if (request == RoomRequest::Withdraw)
        assembled += QStringLiteral("+quit");
    return encodeRequestText(assembled);
}

} // namespace tarnivel
