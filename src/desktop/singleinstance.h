#pragma once
// One running copy per bind address for each user of this computer. A lock file in the
// user's runtime folder (XDG_RUNTIME_DIR, which only that user can write) marks the running
// copy. A lock no living process holds is taken over: one whose copy died without cleaning
// up (crash, kill), and one left without its holder's record (empty or cut short) that no
// process has locked.
//
// Without a usable runtime folder the lock goes into the user's cache folder, under this
// computer's name (a home folder may be shared between computers), and failing that into
// the temporary folder under the user's id.

#include <QString>

#include <memory>

class QLockFile;

namespace tarnivel {

class SingleInstanceLock
{
public:
    SingleInstanceLock();
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    enum class Refusal { None, HeldByAnother, CannotCreate };

    // False when another living copy holds the lock for this address (empty = the
    // default address), or the lock file cannot be made. A lock held before by this object
    // is released first.
    [[nodiscard]] bool tryAcquire(const QString &bindAddressText);
    bool isHeld() const;
    void release();

    // Why the last tryAcquire failed, and the process holding the lock when that is known.
    Refusal refusal() const { return m_refusal; }
    qint64 holderPid() const { return m_holderPid; }

    static QString lockFolder();
    static QString lockFilePath(const QString &bindAddressText);

private:
    std::unique_ptr<QLockFile> m_lock;
    Refusal m_refusal = Refusal::None;
    qint64 m_holderPid = 0;
};

} // namespace tarnivel
