#pragma once
// The lines a failed invite-key handshake writes into the log. A copy we dialled is named each
// time (the user asked for that connection); one that dialled us at most once a minute per
// address, so a stranger who keeps knocking costs one line a minute, and past MaxRemembered
// addresses within a minute no more lines at all.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

namespace tarnivel {

class ChatLog;
class SocketContext;

class KeyRefusals : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 QuietMs = 60000;
    static constexpr int MaxRemembered = 256;

    KeyRefusals(SocketContext &context, ChatLog &log, QObject *parent = nullptr);

private:
    void onMismatch(const QString &address, bool dialled);

    ChatLog &m_log;
    QElapsedTimer m_clock;
    QHash<QString, qint64> m_lastSaid; // accepted side: address -> when its line was written
};

} // namespace tarnivel
