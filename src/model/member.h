#pragma once
// A member of the chat as the rest of the program sees it: one connected chat socket,
// named by the member's greeting.

#include <QString>

namespace tarnivel {

// Accepted: the member dialled our chat port. Dialled: we dialled the member's.
enum class ConnectionSide { Accepted, Dialled };

struct MemberId
{
    ConnectionSide side = ConnectionSide::Accepted;
    int slot = 0;
    friend bool operator==(const MemberId &, const MemberId &) = default;
};

struct Member
{
    MemberId id;
    QString name;
    QString address;
};

} // namespace tarnivel
