#pragma once
// The accepting side of chat connections: callers dial our chat port, greet with
// 0x02 + name, and get 0x03 + our name back.

#include <QObject>

namespace tarnivel {

struct MeshContext;
class StatusView;

class AcceptingSide : public QObject
{
    Q_OBJECT
public:
    AcceptingSide(MeshContext &mesh, StatusView &view, QObject *parent = nullptr);

    // Keep only the newest connection per remote address: close other slots from the
    // same address as accepted slot k (locally, without a cut line).
    void dropDuplicatePeers(int k);

private:
    void onConnectionRequest(int requestId);
    void onArrival(int k, const QByteArray &bytes);
    void onClosed(int k);
    void onError(int k, int number, const QString &description);
    void onSendComplete(int k);

    MeshContext &m_mesh;
    StatusView &m_view;
};

} // namespace tarnivel
