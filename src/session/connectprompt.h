#pragma once
// Asking the user where to connect (the connect dialog, modal to the user). The session
// decides whether to ask at all; nothing waits for the answer.

#include <QString>
#include <functional>
#include <optional>

namespace tarnivel {

class ConnectPrompt
{
public:
    // The address as typed, or nothing when cancelled.
    using Answered = std::function<void(const std::optional<QString> &address)>;

    virtual ~ConnectPrompt() = default;
    // Asks, and returns; `answered` runs once the user has answered (at once for a prompt
    // that knows the answer already).
    virtual void askConnectAddress(const QString &lastAddress, Answered answered) = 0;
};

} // namespace tarnivel
