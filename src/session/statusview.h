#pragma once
// What the state of the chat needs from the main window: title, connect/disconnect menu
// items and the two member lists.

#include "model/member.h"

#include <QList>
#include <QString>

namespace tarnivel {

class StatusView
{
public:
    virtual ~StatusView() = default;
    virtual void setTitle(const QString &title) = 0;
    virtual void setConnectMenus(bool connectEnabled, bool disconnectEnabled) = 0;
    // Both member lists get one row per member, in order (ticks cleared).
    virtual void setMemberRows(const QList<Member> &members) = 0;
    // "全員へ送信" selected, the plain list shown and the tick list hidden.
    virtual void selectSendToAll() = 0;
};

} // namespace tarnivel
