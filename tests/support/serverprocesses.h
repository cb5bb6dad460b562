#pragma once

#include "childprocess.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// tarnivel-directory started with "--listen 127.0.0.1:0" (plus any other --listen given) on
// free ports of its choosing. It is stopped with SIGTERM at the end, and dies with the test.
class DirectoryServer
{
public:
    // Waits for "listening on" (and, with --redis, for "using redis" unless told not to);
    // false, with the reason in error(), when it did not come.
    bool start(const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               bool waitForRedis = true);
    // Sends the signal and waits for the exit; the exit status, or -1 when it did not stop in time.
    int stop(int signal);
    int stop(bool interrupt = false);
    void signal(int signal);
    bool waitForExit(int timeoutMs);
    // Waits for a line containing the text on standard error (counting only lines not yet
    // waited for).
    bool waitForNotice(const QString &text, int timeoutMs = 10000);

    quint16 port() const { return listeningPort; }
    quint16 ipv6Port() const { return listeningPort6; }
    qint64 pid() const { return child.process().processId(); }
    bool isRunning() const { return child.process().state() == QProcess::Running; }
    QByteArray accessLog() { return child.process().readAllStandardOutput(); }
    QString notices() { return child.output(); }
    QString error() const { return problem; }
    QProcess &raw() { return child.process(); }

private:
    tarnivel::test::ChildProcess child;
    quint16 listeningPort = 0;
    quint16 listeningPort6 = 0;
    QString problem;
};

// A private redis-server on a free loopback port, without persistence; stopped at the end,
// and dies with the test.
class RedisServer
{
public:
    ~RedisServer();

    // extra: more redis-server arguments (TLS, cluster, password). A restart keeps the port.
    bool start(const QStringList &extra = {});
    bool restart();
    void pause();
    void resume();
    void kill();
    bool flushAll();
    // One command in Redis' wire format on the plain port; its answer as sent (first line for
    // simple replies, the whole reply otherwise).
    QByteArray command(const QList<QByteArray> &words, const QByteArray &password = {});
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(listeningPort); }
    quint16 port() const { return listeningPort; }
    QString error() const { return problem; }
    bool isRunning() const { return child.process().state() == QProcess::Running; }

private:
    tarnivel::test::ChildProcess child;
    QString program;
    quint16 listeningPort = 0;
    QStringList extraArguments;
    QString problem;
};

quint16 freeLoopbackPort();
QString directoryProgram();
