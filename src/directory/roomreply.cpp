#include "directory/roomreply.h"

namespace tarnivel {

RoomReply classifyRoomReply(const QString &reply)
{
    if (reply.isEmpty())
        return RoomReply::NoServer;
    if (reply.size() > MaxPartnerAddressLength)
        return RoomReply::CgiError;
    if (reply == u"NotFound")
        return RoomReply::NotFound;
    if (reply == u"NoUser")
        return RoomReply::NoUser;
    return RoomReply::Partner;
}

RoomReply classifyRoomReply(const RoomAnswer &answer)
{
    const RoomReply kind = classifyRoomReply(answer.text);
    return kind == RoomReply::Partner && !answer.successStatus ? RoomReply::CgiError : kind;
}

} // namespace tarnivel
