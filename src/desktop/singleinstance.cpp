#include "desktop/singleinstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnivel {

namespace {

// QLockFile holds an flock on its file for as long as the lock is held.
bool lockedByAProcess(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // gives up the flock, if it was had
    return locked;
}

// Percent-encode all but letters, digits and "-._~", with '+' as the escape mark ('+'
// itself gets encoded), so distinct names never share a file.
QString fileNamePart(const QString &text)
{
    QString safe = QString::fromLatin1(QUrl::toPercentEncoding(text));
    safe.replace(u'%', u'+');
    return safe;
}

} // namespace

SingleInstanceLock::SingleInstanceLock() = default;

SingleInstanceLock::~SingleInstanceLock() = default; // QLockFile unlocks on destruction

QString SingleInstanceLock::lockFolder()
{
    // Qt checks that the runtime folder belongs to this user alone (and says so on stderr
    // when it does not); then it gives none.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty())
        return cache + QStringLiteral("/tarnivel/") + fileNamePart(QSysInfo::machineHostName());
    return QDir::tempPath() + QStringLiteral("/tarnivel-") + QString::number(::getuid());
}

QString SingleInstanceLock::lockFilePath(const QString &bindAddressText)
{
    const QString address = bindAddressText.trimmed().toLower();
    if (address.isEmpty())
        return lockFolder() + QStringLiteral("/tarnivel.lock");
    return lockFolder() + QStringLiteral("/tarnivel-") + fileNamePart(address) + QStringLiteral(".lock");
}

bool SingleInstanceLock::tryAcquire(const QString &bindAddressText)
{
    release();
    m_refusal = Refusal::None;
    m_holderPid = 0;
    const QString path = lockFilePath(bindAddressText);
    QDir().mkpath(QFileInfo(path).absolutePath()); // the fallback folders may not exist yet
    auto lock = std::make_unique<QLockFile>(path);
    // The lock is held for the whole run, so its age says nothing: only a dead owner
    // makes it stale.
    lock->setStaleLockTime(0);
    bool held = lock->tryLock(0);
    QString host;
    QString application;
    const bool recorded = !held && lock->getLockInfo(&m_holderPid, &host, &application);
    // A file without a record that no process has locked was left behind. (A copy starting
    // this very moment locks its file before it writes the record.)
    if (!held && !recorded && lock->error() == QLockFile::LockFailedError && !lockedByAProcess(path)
        && lock->removeStaleLockFile())
        held = lock->tryLock(0);
    if (!held) {
        m_refusal = lock->error() == QLockFile::LockFailedError ? Refusal::HeldByAnother : Refusal::CannotCreate;
        if (m_refusal == Refusal::CannotCreate || !recorded)
            m_holderPid = 0;
        return false;
    }
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
