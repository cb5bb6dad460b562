#pragma once
// The join port. A newcomer sends 0x02; a copy in a chat answers with its own address and
// its members' addresses (0x03-separated) or 0x04 when it holds ten connections, then hangs
// up. The newcomer dials everyone listed on the chat port.

#include <QObject>

class QTimer;

namespace tarnivel {

struct MeshContext;

class JoinNegotiation : public QObject
{
    Q_OBJECT
public:
    explicit JoinNegotiation(MeshContext &mesh, QObject *parent = nullptr);

    // A join conversation that stays silent this long is hung up, so that a stray
    // connection cannot keep the join port closed.
    static constexpr int SilentRequestTimeoutMs = 30000;
    void setSilentRequestTimeoutMs(int ms);

private:
    // Answering side.
    void onRequestConnection(int requestId);
    void onRequestArrival(const QByteArray &bytes);
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

    MeshContext &m_mesh;
    QTimer *m_silenceTimer;
    bool m_replyReceived = false;
};

} // namespace tarnivel
