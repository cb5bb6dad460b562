#include "session/invitekeysetting.h"

#include "conversation/chatlog.h"
#include "mesh/mesh.h"
#include "model/invitekey.h"
#include "net/invitetls.h"
#include "net/socket.h"
#include "session/lanpresence.h"

#include <cstdio>

namespace tarnivel {

namespace {
const QString UnreadableLine =
    QStringLiteral(" ●招待キーを読めないため、接続を待つことも、こちらから接続することもしません。"
                   "設定 → 招待キー… でキーを設定し直すか、外してください。\r\n");

InviteKeyMode modeOf(StoredInviteKey::State state)
{
    switch (state) {
    case StoredInviteKey::State::None:
        return InviteKeyMode::None;
    case StoredInviteKey::State::Set:
        return InviteKeyMode::Set;
    case StoredInviteKey::State::Unreadable:
        break;
    }
    return InviteKeyMode::Unreadable;
}
} // namespace

InviteKeySetting::InviteKeySetting(QString path, SocketContext &context, Mesh &mesh, ChatLog &log, LanPresence &lan,
                                   QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_context(context)
    , m_mesh(mesh)
    , m_log(log)
    , m_lan(lan)
{}

void InviteKeySetting::load()
{
    apply(readStoredInviteKey(m_path), false);
}

void InviteKeySetting::reload()
{
    apply(readStoredInviteKey(m_path), true);
}

QString InviteKeySetting::keyText() const
{
    return m_state == State::Set ? inviteKeyText(m_key) : QString();
}

bool InviteKeySetting::set(const QByteArray &key)
{
    if (key.size() != InviteKeyBytes || !storeInviteKey(m_path, key))
        return false;
    apply({State::Set, key}, true);
    return true;
}

bool InviteKeySetting::remove()
{
    if (!removeStoredInviteKey(m_path))
        return false;
    apply({}, true);
    return true;
}

void InviteKeySetting::apply(const StoredInviteKey &stored, bool restart)
{
    StoredInviteKey now = stored;
    QByteArray psk;
    if (now.state == State::Set) {
        psk = invitetls::derivePsk(now.key);
        // Without TLS here the key cannot be used, and plain would betray the user.
        if (psk.isEmpty() || !invitetls::available()) {
            std::fprintf(stderr, "tarnivel: TLS with an invite key is not available here (Qt's OpenSSL backend)\n");
            now = {State::Unreadable, {}};
        }
    }
    const bool changed = now.state != m_state || now.key != m_key;
    m_state = now.state;
    m_key = now.key;
    m_context.setInviteKey(modeOf(m_state), psk);
    m_lan.setKeyed(m_state == State::Set);
    if (m_state != State::Unreadable) {
        m_saidUnreadable = false;
    } else if (!m_saidUnreadable) {
        m_saidUnreadable = true;
        m_log.addLog(UnreadableLine);
        std::fprintf(stderr,
                     "tarnivel: the invite key in %s cannot be read: no connections until it is set again or removed\n",
                     qPrintable(m_path));
    }
    if (restart && changed) {
        if (m_mesh.state() == MeshState::Unconnected) {
            m_mesh.reset();
            m_mesh.listenAgain();
        } else {
            m_mesh.disconnect();
        }
    }
    if (changed)
        emit stateChanged(m_state);
}

} // namespace tarnivel
