#include "conversation/composer.h"

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "conversation/chatlog.h"
#include "conversation/composerview.h"
#include "mesh/chatsockets.h"
#include "mesh/meshcontext.h"
#include "mesh/wire.h"
#include "platform/codepage932.h"

#include <QCoreApplication>
#include <vector>

namespace tarnivel {

Composer::Composer(MeshContext &mesh, ComposerView &view, QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_view(view)
{
}

bool Composer::canSend(const QString &text) const
{
    return !text.isEmpty() && !m_mesh.log.screenLocked() && m_mesh.status.inChat();
}

bool Composer::privateChosen() const
{
    return m_mesh.prefs.showPeers == 1 && m_view.sendToSelectedChosen();
}

bool Composer::enterPressed()
{
    if (canSend(m_view.inputText()))
        submit();
    return true;
}

void Composer::sendClicked()
{
    m_view.focusInput();
    if (canSend(m_view.inputText()))
        submit();
}

void Composer::submit()
{
    const QString text = m_view.inputText();
    const QString &name = m_mesh.prefs.myName;
    const QString line = privateChosen() ? wire::privateLine(name, text) : wire::publicLine(name, text);
    // Cleared before anything is written, so a second Enter cannot repeat the line.
    m_view.clearInput();
    sendChat(line);
    m_mesh.log.addLog(line);
}

void Composer::sendChat(const QString &line)
{
    ChatSockets &s = m_mesh.sockets;
    const QByteArray bytes = cp932::encode(line);
    // Between two writes pending events run once; members may come and go meanwhile.
    // Sockets outlive every connection, so holding them is safe; each is re-checked.
    auto write = [&bytes](Socket &socket) {
        if (!socket.isConnected())
            return false;
        socket.sendData(bytes);
        QCoreApplication::processEvents();
        return true;
    };

    if (!privateChosen()) {
        for (int k = 0; k < ChatSockets::MemberRows; ++k) {
            write(s.server(k));
            write(s.client(k));
        }
        return;
    }

    // Snapshot the ticked rows first: the lists may be rebuilt while events run.
    struct Addressee
    {
        Socket *socket;
        QString name;
    };
    std::vector<Addressee> addressees;
    const int rows = m_view.memberRowCount();
    for (int r = 0; r < rows; ++r) {
        if (!m_view.isMemberTicked(r))
            continue;
        if (Socket *socket = s.bySlotValue(m_mesh.status.peerSlot(r)))
            addressees.push_back({socket, socket->tag()});
    }
    if (addressees.empty())
        return;

    QString echo = QStringLiteral("To");
    for (const Addressee &a : addressees) {
        if (write(*a.socket))
            echo += QStringLiteral(" : ") + a.name;
    }
    if (echo == QLatin1String("To"))
        return;
    m_mesh.log.appendEmphasised(echo + QStringLiteral("\r\n"));
}

void Composer::memberClicked(int row)
{
    m_view.focusInput();
    if (row < 0)
        return;
    if (Socket *socket = m_mesh.sockets.bySlotValue(m_mesh.status.peerSlot(row)))
        m_view.setShownAddress(socket->remoteHostIP());
}

bool Composer::keyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers relevant = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (relevant != Qt::ControlModifier || m_keyHandled)
        return false;
    switch (key) {
    case Qt::Key_F:
        m_keyHandled = true;
        emit togglePeerColumnRequested();
        return true;
    case Qt::Key_L:
        m_keyHandled = true;
        emit toggleLockRequested();
        return true;
    case Qt::Key_S:
        m_keyHandled = true;
        if (m_mesh.prefs.showPeers == 1)
            m_view.chooseSendToSelected(!m_view.sendToSelectedChosen());
        return true;
    default:
        return false;
    }
}

} // namespace tarnivel
