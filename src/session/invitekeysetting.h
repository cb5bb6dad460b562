#pragma once
// This copy's invite key: read from "tarnivel.ini" at loading, set, made or removed through
// the dialog. It decides how every chat and join connection is carried (SocketContext) and
// whether the copy announces itself as keyed. A key that cannot be read (a damaged file, or
// one others may read) stops every connection, said once, until the key is set again or
// removed: never plain in its place. A change ends the chat that stands (its connections were
// made the old way) and listens again the new way.

#include "model/invitekeyfile.h"

#include <QObject>

namespace tarnivel {

class ChatLog;
class LanPresence;
class Mesh;
class SocketContext;

class InviteKeySetting : public QObject
{
    Q_OBJECT
public:
    using State = StoredInviteKey::State;

    InviteKeySetting(QString path, SocketContext &context, Mesh &mesh, ChatLog &log, LanPresence &lan,
                     QObject *parent = nullptr);

    // Loading, before the copy listens: what the file holds decides.
    void load();
    // The file again (the user may have mended it); listens again if that changes anything.
    void reload();

    State state() const { return m_state; }
    // The key's text while one is set, for the dialog; nothing else shows it.
    QString keyText() const;

    // Stored, then in force. False when it could not be stored (nothing changes then).
    [[nodiscard]] bool set(const QByteArray &key);
    [[nodiscard]] bool remove();

signals:
    void stateChanged(InviteKeySetting::State state);

private:
    void apply(const StoredInviteKey &stored, bool restart);

    QString m_path;
    SocketContext &m_context;
    Mesh &m_mesh;
    ChatLog &m_log;
    LanPresence &m_lan;
    State m_state = State::None;
    QByteArray m_key;
    bool m_saidUnreadable = false;
};

} // namespace tarnivel
