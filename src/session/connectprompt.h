#pragma once
// Asking the user where to connect (the connect dialog, shown modally). The session
// decides whether to ask at all.

#include <QString>
#include <optional>

namespace tarnivel {

class ConnectPrompt
{
public:
    virtual ~ConnectPrompt() = default;
    // The address as typed, or nothing when cancelled.
    virtual std::optional<QString> askConnectAddress(const QString &lastAddress) = 0;
};

} // namespace tarnivel
