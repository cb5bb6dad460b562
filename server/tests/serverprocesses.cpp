#include "serverprocesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

namespace {

QString directoryProgram()
{
    const auto fromBuild = qEnvironmentVariable("TARNIVEL_DIRECTORY");
    return fromBuild.isEmpty() ? QCoreApplication::applicationDirPath() + "/tarnivel-directory" : fromBuild;
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Sends one command in Redis' wire format and reads its one-line answer.
QByteArray redisCommand(quint16 port, const QList<QByteArray> &words)
{
    QByteArray wire = "*" + QByteArray::number(words.size()) + "\r\n";
    for (const auto &word : words)
        wire += "$" + QByteArray::number(word.size()) + "\r\n" + word + "\r\n";
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(1000))
        return {};
    socket.write(wire);
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(2000))
        answer += socket.readAll();
    return answer.trimmed();
}

} // namespace

DirectoryServer::~DirectoryServer()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
}

bool DirectoryServer::start(const QStringList &arguments)
{
    process.setProgram(directoryProgram());
    process.setArguments(QStringList{"--listen", "127.0.0.1:0"} + arguments);
    process.setReadChannel(QProcess::StandardError);
    process.start();
    if (!process.waitForStarted(5000)) {
        problem = "cannot start " + process.program() + ": " + process.errorString();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray said;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        process.waitForReadyRead(50);
        said += process.readAllStandardError();
        if (const auto match = listening.match(QString::fromUtf8(said)); match.hasMatch()) {
            listeningPort = match.captured(1).toUShort();
            return true;
        }
    }
    said += process.readAllStandardError();
    problem = "tarnivel-directory did not start listening: " + QString::fromUtf8(said);
    return false;
}

int DirectoryServer::stop(bool interrupt)
{
    ::kill(process.processId(), interrupt ? SIGINT : SIGTERM);
    if (!process.waitForFinished(5000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

RedisServer::~RedisServer()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
}

bool RedisServer::start()
{
    const auto program = QStandardPaths::findExecutable("redis-server", {"/usr/bin", "/usr/local/bin"});
    if (program.isEmpty()) {
        problem = "redis-server is not installed (bash tools/install-deps.sh installs it)";
        return false;
    }
    listeningPort = freeLoopbackPort();
    process.setProgram(program);
    process.setArguments({"--port", QString::number(listeningPort), "--bind", "127.0.0.1", "--save", "", "--appendonly",
                          "no"});
    process.start();
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        if (redisCommand(listeningPort, {"PING"}) == "+PONG")
            return true;
        process.waitForFinished(50);
    }
    problem = "redis-server did not start: " + QString::fromUtf8(process.readAll());
    return false;
}

bool RedisServer::flushAll()
{
    return redisCommand(listeningPort, {"FLUSHALL"}) == "+OK";
}
