#pragma once
// The join port. A newcomer sends 0x02; a copy in a chat answers with its own address and
// its members' addresses (0x03-separated) or 0x04 when it holds ten connections, then hangs
// up. The newcomer dials everyone listed on the chat port.

#include <QObject>

class QTimer;

namespace tarnivel {

class ChatLog;
class ConnectionRoster;
class JoinHost;
class OwnAddress;

class JoinNegotiation : public QObject
{
    Q_OBJECT
public:
    JoinNegotiation(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, OwnAddress &ownAddress,
                    QObject *parent = nullptr);

    static constexpr int SilentRequestTimeoutMs = 30000;
    void setSilentRequestTimeoutMs(int ms);

private:
    // Answering side.
    void onRequestConnection(int requestId);
    void onRequestArrival(const QByteArray &bytes);
    void answerJoinRequest();
    void onReplySent();
    void onRequestError(int number, const QString &description);
    void onRequestClosed();
    void hangUpAndListen();

    // Newcomer.
    void onJoinConnected();
    void onReplyArrival(const QByteArray &bytes);
    void onJoinError(int number, const QString &description);
    void onJoinClosed();
    void dialPeerList(const QStringList &fields);
    void giveUpJoin(const QString &line);

    JoinHost &m_mesh;
    ConnectionRoster &m_roster;
    ChatLog &m_log;
    OwnAddress &m_ownAddress;
    QTimer *m_silenceTimer;
    bool m_replyReceived = false;
    // Answering side: bumped whenever a join conversation begins or ends, so that an answer
    // prepared for an earlier one is dropped.
    quint64 m_conversation = 0;
    bool m_answerPending = false;
};

} // namespace tarnivel
