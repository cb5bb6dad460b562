#pragma once
// A directory or address server that answers from a script, for what a real one never
// sends (long bodies, other letter case, stalls, broken replies). Listens on 127.0.0.1 (or
// the address given) and notes every request line and the address it came from.

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTcpServer>

namespace tarnivel::test {

class ScriptedHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        QByteArray bytes;    // the whole reply, head and body
        int delayMs = 0;     // waited before answering
        bool silent = false; // never answers
    };
    // "HTTP/1.1 <status>" with a Content-Length and the body.
    static Answer reply(const QByteArray &body, int status = 200, int delayMs = 0);
    static Answer silence() { return {{}, 0, true}; }

    explicit ScriptedHttpServer(const QHostAddress &address = QHostAddress::LocalHost);
    // "http://<address>:<port>" + path
    QString url(const QString &path = QStringLiteral("/room.cgi")) const;

    // Used in order, one per request; when they run out, `otherwise` answers.
    QList<Answer> script;
    Answer otherwise = reply("NoUser");
    QList<QByteArray> requestLines;
    QStringList callers;

private:
    void serve(QTcpSocket *socket);
    QTcpServer m_server;
};

} // namespace tarnivel::test
