#pragma once
// The window title: the chat's state, then the room-waiting suffix, then the lock suffix.

#include "mesh/mesh.h"

#include <QString>

namespace tarnivel::windowtitle {

inline QString unconnected()
{
    return QStringLiteral("たるにべ - 未接続");
}
inline QString connecting()
{
    return QStringLiteral("たるにべ - 接続中");
}
inline QString connected(int count)
{
    return QStringLiteral("たるにべ - %1人接続済").arg(count);
}

// Follows everything else while the log is locked.
inline QString lockSuffix()
{
    return QStringLiteral(" [ロック]");
}

inline QString forState(MeshState state, int count)
{
    switch (state) {
    case MeshState::Connecting:
        return connecting();
    case MeshState::Connected:
        return connected(count);
    case MeshState::Unconnected:
        break;
    }
    return unconnected();
}

} // namespace tarnivel::windowtitle
