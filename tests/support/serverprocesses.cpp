#include "serverprocesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

namespace {

QByteArray redisCommand(quint16 port, const QList<QByteArray> &words, const QByteArray &password)
{
    const auto wire = [](const QList<QByteArray> &command) {
        QByteArray bytes = "*" + QByteArray::number(command.size()) + "\r\n";
        for (const auto &word : command)
            bytes += "$" + QByteArray::number(word.size()) + "\r\n" + word + "\r\n";
        return bytes;
    };
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(1000))
        return {};
    QByteArray sent;
    if (!password.isEmpty())
        sent += wire({"AUTH", password});
    sent += wire(words);
    socket.write(sent);
    QByteArray answer;
    const int lines = password.isEmpty() ? 1 : 2;
    QDeadlineTimer deadline(3000);
    // Enough for the short answers the tests ask for: the last line of the last reply.
    while (answer.count("\r\n") < lines && !deadline.hasExpired() && socket.waitForReadyRead(100))
        answer += socket.readAll();
    // Replies of several lines (arrays, bulk strings) come in the same burst or just after.
    socket.waitForReadyRead(30);
    answer += socket.readAll();
    if (!password.isEmpty())
        answer = answer.mid(answer.indexOf("\r\n") + 2);
    return answer.trimmed();
}

} // namespace

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

bool DirectoryServer::waitForNotice(const QString &text, int timeoutMs)
{
    return child.waitFor(text, timeoutMs);
}

bool DirectoryServer::start(const QStringList &arguments, const QProcessEnvironment &environment, bool waitForRedis)
{
    QProcess &process = child.process();
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    if (!child.start(directoryProgram(), QStringList{"--listen", "127.0.0.1:0"} + arguments)) {
        problem = child.error();
        return false;
    }
    const int listens = arguments.count("--listen") + 1;
    static const QRegularExpression listening(QStringLiteral("listening on (127\\.0\\.0\\.1|\\[::1\\]):(\\d+)"));
    QDeadlineTimer deadline(10000);
    while (notices().count("listening on") < listens) {
        if (deadline.hasExpired() || !isRunning()) {
            problem = "tarnivel-directory did not start listening: " + notices();
            return false;
        }
        process.waitForReadyRead(50);
    }
    for (auto match = listening.globalMatch(notices()); match.hasNext();) {
        const auto found = match.next();
        (found.captured(1) == "127.0.0.1" ? listeningPort : listeningPort6) = found.captured(2).toUShort();
    }
    if (waitForRedis && arguments.contains("--redis")
        && !waitForNotice("using redis", int(std::max<qint64>(1, deadline.remainingTime())))) {
        problem = "tarnivel-directory did not connect to redis: " + notices();
        return false;
    }
    return true;
}

void DirectoryServer::signal(int signal)
{
    ::kill(child.process().processId(), signal);
}

bool DirectoryServer::waitForExit(int timeoutMs)
{
    return child.process().state() == QProcess::NotRunning || child.process().waitForFinished(timeoutMs);
}

int DirectoryServer::stop(int signal)
{
    this->signal(signal);
    if (!waitForExit(5000))
        return -1;
    notices();
    const QProcess &process = child.process();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int DirectoryServer::stop(bool interrupt)
{
    return stop(interrupt ? SIGINT : SIGTERM);
}

RedisServer::~RedisServer()
{
    resume(); // a paused server could not end by itself
}

bool RedisServer::start(const QStringList &extra)
{
    program = QStandardPaths::findExecutable("redis-server", {"/usr/bin", "/usr/local/bin"});
    if (program.isEmpty()) {
        problem = "redis-server is not installed (bash tools/install-deps.sh installs it)";
        return false;
    }
    extraArguments = extra;
    listeningPort = freeLoopbackPort();
    return restart();
}

bool RedisServer::restart()
{
    const auto password = extraArguments.contains("--requirepass")
        ? extraArguments.at(extraArguments.indexOf("--requirepass") + 1).toUtf8()
        : QByteArray();
    if (!child.start(program,
                     QStringList{"--port", QString::number(listeningPort), "--bind", "127.0.0.1", "--save", "",
                                 "--appendonly", "no"}
                         + extraArguments)) {
        problem = child.error();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && isRunning()) {
        if (command({"PING"}, password) == "+PONG")
            return true;
        child.process().waitForFinished(50);
    }
    problem = "redis-server did not start: " + child.output();
    return false;
}

void RedisServer::pause()
{
    if (isRunning())
        ::kill(child.process().processId(), SIGSTOP);
}

void RedisServer::resume()
{
    if (isRunning())
        ::kill(child.process().processId(), SIGCONT);
}

void RedisServer::kill()
{
    child.stop(SIGKILL, 2000);
}

bool RedisServer::flushAll()
{
    return command({"FLUSHALL"}) == "+OK";
}

QByteArray RedisServer::command(const QList<QByteArray> &words, const QByteArray &password)
{
    return redisCommand(listeningPort, words, password);
}
