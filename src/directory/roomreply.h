#pragma once
// How the directory server's reply to an enter or renew request is read, whatever its
// status (a 3xx is not followed). The body is compared whole and case-sensitively, nothing trimmed, in this order:
// empty, longer than 20 characters, "NotFound", "NoUser"; anything else is the waiting partner's address.

#include <QString>

namespace tarnivel {

enum class RoomReply {
    NoServer, // empty: the server could not be reached
    CgiError, // longer than 20 characters: something else answered, such as an error page
    NotFound, // the room does not exist there
    NoUser,   // nobody waited; this copy waits now
    Partner,  // the address (or host name) of the copy waiting in the room
};

inline constexpr int MaxPartnerAddressLength = 20;

// A reply as the directory server sent it: an error page is read like any other body.
struct RoomAnswer
{
    QString text;
    bool successStatus = true; // 2xx
};

RoomReply classifyRoomReply(const QString &reply);
// The same, except that a body under an error status is never a partner's address: a short
// error text ("TooManyRooms") is something else answering.
RoomReply classifyRoomReply(const RoomAnswer &answer);

} // namespace tarnivel
