#pragma once
// What composing needs from the chat connections: whether the copy is in a chat, and
// writing a line to everyone or to chosen members.

#include "model/member.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarnivel {

class ChatDelivery
{
public:
    virtual ~ChatDelivery() = default;
    virtual bool inChat() const = 0;
    // Writes the line to every connected member; `sent` follows once it has been written.
    // Lines go out, and `sent` follows, in the order they were given.
    virtual void sendToAll(const QString &line, std::function<void()> sent) = 0;
    // Writes the line to those of the members still connected, in order; `sent` follows
    // with the names (as they were when the call began) of the members it was written to.
    virtual void sendTo(const QList<MemberId> &members, const QString &line,
                        std::function<void(const QStringList &reached)> sent) = 0;
    // The member's address; nothing when the member is gone.
    virtual std::optional<QString> memberAddress(const MemberId &member) const = 0;
};

} // namespace tarnivel
