#include "platform/singleinstance.h"

#include <QDir>
#include <QLockFile>
#include <QUrl>

namespace tarnivel {

SingleInstanceLock::SingleInstanceLock() = default;

SingleInstanceLock::~SingleInstanceLock() = default; // QLockFile unlocks on destruction

QString SingleInstanceLock::lockFilePath(const QString &bindAddressText)
{
    const QString address = bindAddressText.trimmed().toLower();
    if (address.isEmpty())
        return QDir::tempPath() + QStringLiteral("/tarnivel.lock");
    // Percent-encode all but letters, digits and "-._~", with '+' as the escape mark
    // ('+' itself gets encoded), so distinct addresses never share a file.
    QString safe = QString::fromLatin1(QUrl::toPercentEncoding(address));
    safe.replace(u'%', u'+');
    return QDir::tempPath() + QStringLiteral("/tarnivel-") + safe + QStringLiteral(".lock");
}

bool SingleInstanceLock::tryAcquire(const QString &bindAddressText)
{
    release();
    auto lock = std::make_unique<QLockFile>(lockFilePath(bindAddressText));
    // The lock is held for the whole run, so its age says nothing: only a dead owner
    // makes it stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    return true;
}

bool SingleInstanceLock::isHeld() const
{
    return m_lock != nullptr;
}

void SingleInstanceLock::release()
{
    m_lock.reset();
}

} // namespace tarnivel
