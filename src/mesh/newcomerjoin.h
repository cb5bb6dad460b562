#pragma once
// The newcomer's side of the join port: once the join connection stands, send 0x02 and
// dial everyone the answer lists on the chat port (or give up on 0x04, anything else, or a
// failure).

#include <QObject>

namespace tarnivel {

class ChatLog;
class ConnectionRoster;
class JoinHost;
class OwnAddress;

class NewcomerJoin : public QObject
{
    Q_OBJECT
public:
    NewcomerJoin(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, const OwnAddress &ownAddress,
                 QObject *parent = nullptr);

private:
    void onJoinConnected();
    void onReplyArrival(const QByteArray &bytes);
    void onJoinError(int number, const QString &description);
    void onJoinClosed();
    void dialPeerList(const QStringList &fields);
    void giveUpJoin(const QString &line);

    JoinHost &m_mesh;
    ConnectionRoster &m_roster;
    ChatLog &m_log;
    const OwnAddress &m_ownAddress;
    bool m_replyReceived = false;
};

} // namespace tarnivel
