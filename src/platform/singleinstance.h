#pragma once
// One running copy per bind address on this computer. A lock file in the temporary
// folder marks the running copy; a copy that died without cleaning up (crash, kill)
// leaves a lock whose process is gone, and that lock is taken over.

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

    // False when another living copy holds the lock for this address (empty = the
    // default address). A lock held before by this object is released first.
    [[nodiscard]] bool tryAcquire(const QString &bindAddressText);
    bool isHeld() const;
    void release();

    static QString lockFilePath(const QString &bindAddressText);

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tarnivel
