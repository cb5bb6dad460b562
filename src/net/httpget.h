#pragma once
// One HTTP GET that the caller's event loop carries: nothing blocks, the reply comes as a
// signal. The request target goes out byte for byte as the caller built it (nothing is
// re-escaped), and the connection leaves from the copy's bind address, so a directory
// server tells several copies on one machine apart by their addresses.

#include "net/httpresponse.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class QTcpSocket;

namespace tarnivel {

// An http:// or https:// URL taken apart for the request line.
struct HttpUrl
{
    bool tls = false;
    QString host; // without brackets for an IPv6 literal
    quint16 port = 80;
    QByteArray hostHeader; // the authority as written, without user information
    QByteArray target;     // path and query exactly as written; "/" when the path is empty
    QByteArray userInfo;   // "user:password" before '@', sent as basic authorisation
};

// Nothing when the text is not an absolute http(s) URL with a host and a usable port.
std::optional<HttpUrl> splitHttpUrl(const QByteArray &url);

struct HttpReply
{
    enum class Outcome {
        Body,        // a 2xx status: body holds the whole body
        OtherStatus, // any other status (an error page, a redirect, which is not followed):
                     // body holds its body
        Unreachable, // no connection came about (unusable URL, no such host, refused)
        Failed,      // connected, but no reply (time-out, broken reply)
    };
    Outcome outcome = Outcome::Failed;
    int status = 0; // when there was a reply
    QByteArray body;
    QString problem; // for the diagnostics log
};

class HttpGet : public QObject
{
    Q_OBJECT
public:
    // A null bind address leaves the local address to the system.
    explicit HttpGet(const QHostAddress &bindAddress, QObject *parent = nullptr);
    ~HttpGet() override;

    // Starts the GET; finished() follows once, never from inside start().
    void start(const QByteArray &url, int timeoutMs);
    // Drops the transfer in progress: no finished() for it.
    void abort();
    bool running() const { return m_running; }

signals:
    void finished(const tarnivel::HttpReply &reply);

private:
    void finish(HttpReply::Outcome outcome, const QString &problem, int status = 0, const QByteArray &body = {});
    void finishLater(HttpReply::Outcome outcome, const QString &problem);
    void sendRequest();
    void readReply(bool closed);
    void dropSocket();

    QHostAddress m_bindAddress;
    QTcpSocket *m_socket = nullptr;
    QTimer m_deadline;
    QByteArray m_request;
    QByteArray m_received;
    bool m_running = false;
    bool m_connected = false;
    quint64 m_generation = 0;
};

} // namespace tarnivel
