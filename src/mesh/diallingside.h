#pragma once
// The joining side: the connect and disconnect commands, and the chat connections this copy
// dials (greet with 0x02 + name, named by the 0x03 + name answer).

#include <QObject>
#include <QString>

namespace tarnivel {

struct MeshContext;
class StatusView;
class ConnectPrompt;

class DiallingSide : public QObject
{
    Q_OBJECT
public:
    DiallingSide(MeshContext &mesh, StatusView &view, ConnectPrompt &prompt, QObject *parent = nullptr);

    // Connect command. With a non-empty selectedServer the dialog is skipped (command line,
    // directory room) and selectedServer is emptied.
    void connectCommand();
    void disconnectCommand();

    QString selectedServer() const { return m_selectedServer; }
    void setSelectedServer(const QString &server) { m_selectedServer = server; }

private:
    void onConnected(int i);
    void onArrival(int i, const QByteArray &bytes);
    void onClosed(int i);
    void onError(int i, int number, const QString &description);

    MeshContext &m_mesh;
    StatusView &m_view;
    ConnectPrompt &m_prompt;
    QString m_selectedServer;
};

} // namespace tarnivel
