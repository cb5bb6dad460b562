#pragma once

#include <QProcess>
#include <QStringList>

// tarnivel-directory started on 127.0.0.1 with a free port of its choosing.
class DirectoryServer
{
public:
    ~DirectoryServer();

    // Waits for "listening on"; false (with the reason in error()) when it did not start.
    bool start(const QStringList &arguments);
    // SIGTERM (or SIGINT); the exit status, or -1 when it did not stop in time.
    int stop(bool interrupt = false);

    quint16 port() const { return listeningPort; }
    QByteArray accessLog() { return process.readAllStandardOutput(); }
    QString error() const { return problem; }

private:
    QProcess process;
    quint16 listeningPort = 0;
    QString problem;
};

// A private redis-server on a free loopback port, without persistence.
class RedisServer
{
public:
    ~RedisServer();

    bool start();
    bool flushAll();
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(listeningPort); }
    QString error() const { return problem; }
    bool isRunning() const { return process.state() == QProcess::Running; }

private:
    QProcess process;
    quint16 listeningPort = 0;
    QString problem;
};
