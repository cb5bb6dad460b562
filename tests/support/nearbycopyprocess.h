#pragma once
// A whole copy (the program nearbycopy, beside the tests or named by TARNIVEL_NEARBY_COPY)
// in a network namespace, on that namespace's bus: what its list and title show, and the
// commands "join NAME" and "quit".

#include "avahiinnamespace.h"

#include <QStringList>

namespace tarnivel::test {

class NearbyCopyProcess
{
public:
    NearbyCopyProcess(const AvahiInNamespace &avahi, const QString &address, const QString &name);
    // Closes its input: the copy closes its window and ends (or is stopped after a while).
    ~NearbyCopyProcess();
    NearbyCopyProcess(const NearbyCopyProcess &) = delete;
    NearbyCopyProcess &operator=(const NearbyCopyProcess &) = delete;

    void send(const QString &command);
    // The rows of its list as name|address|count|mark.
    QStringList rows() const { return m_rows; }
    QString title() const { return m_title; }
    QString status() const { return m_status; }
    bool ended() const { return !m_process.isRunning(); }

private:
    void read();

    ChildProcess m_process;
    QByteArray m_pending;
    QStringList m_rows;
    QString m_title;
    QString m_status;
};

} // namespace tarnivel::test
