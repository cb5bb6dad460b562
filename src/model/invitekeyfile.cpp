#include "model/invitekeyfile.h"

#include "model/invitekey.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnivel {

namespace {

const QString KeyEntry = QStringLiteral("invite/key");
constexpr QFile::Permissions Others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;

// Before the key goes in, the file exists and only its owner may read it; the new file
// QSettings renames over it keeps those permissions.
bool makeOwnerOnly(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool restricted = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return restricted;
}

} // namespace

StoredInviteKey readStoredInviteKey(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) // whether it holds a key cannot be told
        return {StoredInviteKey::State::Unreadable, {}};
    probe.close();
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return {StoredInviteKey::State::Unreadable, {}};
    if (!file.contains(KeyEntry))
        return {};
    if (info.permissions() & Others)
        return {StoredInviteKey::State::Unreadable, {}};
    const InviteKeyRead read = readInviteKeyText(file.value(KeyEntry).toString());
    if (!read.key)
        return {StoredInviteKey::State::Unreadable, {}};
    return {StoredInviteKey::State::Set, *read.key};
}

bool storeInviteKey(const QString &path, const QByteArray &key)
{
    if (!makeOwnerOnly(path))
        return false;
    {
        QSettings file(path, QSettings::IniFormat);
        file.setValue(KeyEntry, inviteKeyText(key));
        file.sync();
        if (file.status() != QSettings::NoError)
            return false;
    }
    const StoredInviteKey stored = readStoredInviteKey(path);
    return stored.state == StoredInviteKey::State::Set && stored.key == key;
}

bool removeStoredInviteKey(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    QSettings file(path, QSettings::IniFormat);
    file.remove(KeyEntry);
    file.sync();
    return file.status() == QSettings::NoError && !file.contains(KeyEntry);
}

} // namespace tarnivel
