#pragma once
// The invite key's place in "tarnivel.ini" (key "invite/key", the text people pass on, so a
// damaged file is told by its checksum). The file is replaced whole (QSettings writes a new
// file and renames it) and, once it holds a key, is readable and writable by its owner only:
// a key in a file others may read counts as unreadable.

#include <QByteArray>
#include <QString>

namespace tarnivel {

struct StoredInviteKey
{
    enum class State { None, Set, Unreadable };
    State state = State::None;
    QByteArray key; // for Set
};

[[nodiscard]] StoredInviteKey readStoredInviteKey(const QString &path);
// False when the file could not be written (and then it holds no other key than before).
[[nodiscard]] bool storeInviteKey(const QString &path, const QByteArray &key);
[[nodiscard]] bool removeStoredInviteKey(const QString &path);

} // namespace tarnivel
