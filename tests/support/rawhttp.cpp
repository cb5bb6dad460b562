#include "rawhttp.h"

#include <QElapsedTimer>
#include <optional>
#include <QTcpSocket>

namespace {

// One answer from the front of bytes, removed from them; nothing while it is incomplete.
std::optional<HttpAnswer> takeAnswer(QByteArray &bytes)
{
    const auto end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    HttpAnswer answer;
    answer.head = bytes.left(end);
    answer.status = bytes.startsWith("HTTP/1.") ? bytes.mid(9, 3).toInt() : 0;
    qsizetype length = 0;
    for (const auto &line : answer.head.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (bytes.size() < end + 4 + length)
        return std::nullopt;
    answer.body = bytes.mid(end + 4, length);
    bytes.remove(0, end + 4 + length);
    return answer;
}

} // namespace

QHostAddress callerAddress(int caller)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(caller));
}

QByteArray callerText(int caller)
{
    return callerAddress(caller).toString().toLatin1();
}

QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: directory\r\nConnection: close\r\n" + extraHeaders + "\r\n";
}

QByteArray keepAliveRequest(const QByteArray &target, const QByteArray &extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: directory\r\n" + extraHeaders + "\r\n";
}

HttpAnswer exchangeBetween(const QHostAddress &from, const QHostAddress &to, quint16 port, const QByteArray &request,
                           int timeoutMs)
{
    QTcpSocket socket;
    HttpAnswer answer;
    if (!socket.bind(from))
        return answer;
    socket.connectToHost(to, port);
    if (!socket.waitForConnected(timeoutMs))
        return answer;
    socket.write(request);
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs) {
        socket.waitForReadyRead(50);
        bytes += socket.readAll();
    }
    bytes += socket.readAll();
    const auto end = bytes.indexOf("\r\n\r\n");
    if (!bytes.startsWith("HTTP/1.") || end < 0)
        return answer;
    answer.head = bytes.left(end);
    answer.body = bytes.mid(end + 4);
    answer.status = bytes.mid(9, 3).toInt();
    return answer;
}

HttpAnswer exchange(quint16 port, int caller, const QByteArray &request, int timeoutMs)
{
    return exchangeBetween(callerAddress(caller), QHostAddress::LocalHost, port, request, timeoutMs);
}

QList<HttpAnswer> readAnswers(QTcpSocket &socket, int count, int timeoutMs)
{
    QList<HttpAnswer> answers;
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (answers.size() < count && clock.elapsed() < timeoutMs) {
        bytes += socket.readAll();
        while (answers.size() < count) {
            auto answer = takeAnswer(bytes);
            if (!answer)
                break;
            answers << *answer;
        }
        if (answers.size() >= count)
            break;
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        socket.waitForReadyRead(50);
    }
    return answers;
}
