#include "net/httpget.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace tarnivel {

namespace {

bool isDigits(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<HttpUrl> splitHttpUrl(const QByteArray &url)
{
    const qsizetype schemeEnd = url.indexOf("://");
    if (schemeEnd < 0)
        return std::nullopt;
    HttpUrl result;
    const QByteArray scheme = url.left(schemeEnd).toLower();
    if (scheme == "https")
        result.tls = true;
    else if (scheme != "http")
        return std::nullopt;

    const QByteArray rest = url.mid(schemeEnd + 3);
    qsizetype authorityEnd = rest.size();
    for (const char stop : {'/', '?', '#'}) {
        const qsizetype at = rest.indexOf(stop);
        if (at >= 0 && at < authorityEnd)
            authorityEnd = at;
    }
    QByteArray authority = rest.left(authorityEnd);
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0) {
        result.userInfo = authority.left(at);
        authority = authority.mid(at + 1);
    }
    result.hostHeader = authority;

    QByteArray host = authority;
    QByteArray port;
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0)
            return std::nullopt;
        host = authority.mid(1, close - 1);
        const QByteArray after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(':'))
            return std::nullopt;
        port = after.mid(1);
    } else if (const qsizetype colon = authority.lastIndexOf(':'); colon >= 0) {
        host = authority.left(colon);
        port = authority.mid(colon + 1);
    }
    if (host.isEmpty())
        return std::nullopt;
    result.host = QString::fromLatin1(host);
    result.port = result.tls ? 443 : 80;
    if (!port.isEmpty()) {
        const int number = isDigits(port) && port.size() <= 5 ? port.toInt() : 0;
        if (number < 1 || number > 65535)
            return std::nullopt;
        result.port = quint16(number);
    }

    result.target = rest.mid(authorityEnd);
    if (!result.target.startsWith('/'))
        result.target.prepend('/');
    return result;
}

HttpGet::HttpGet(const QHostAddress &bindAddress, QObject *parent) : QObject(parent), m_bindAddress(bindAddress)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { finish(HttpReply::Outcome::Failed, QStringLiteral("no reply in time")); });
}

HttpGet::~HttpGet()
{
    abort();
}

void HttpGet::start(const QByteArray &urlText, int timeoutMs)
{
    abort();
    if (m_socket) { // the last transfer's socket, no longer connected to anything here
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_running = true;
    m_connected = false;
    m_received.clear();

    const std::optional<HttpUrl> url = splitHttpUrl(urlText);
    if (!url) {
        finishLater(HttpReply::Outcome::Unreachable, QStringLiteral("not an http or https URL"));
        return;
    }
    if (url->tls && !QSslSocket::supportsSsl()) {
        finishLater(HttpReply::Outcome::Unreachable, QStringLiteral("no TLS library for https"));
        return;
    }
    m_request = "GET " + url->target + " HTTP/1.1\r\nHost: " + url->hostHeader + "\r\n";
    if (!url->userInfo.isEmpty())
        m_request += "Authorization: Basic " + QByteArray::fromPercentEncoding(url->userInfo).toBase64() + "\r\n";
    m_request += "User-Agent: tarnivel\r\nAccept: */*\r\nConnection: close\r\n\r\n";

    auto *tlsSocket = url->tls ? new QSslSocket(this) : nullptr;
    m_socket = tlsSocket ? tlsSocket : new QTcpSocket(this);
    // Each read adds at most this much, and the reader decides within its caps, so what is
    // held for a reply stays bounded whatever the server sends.
    m_socket->setReadBufferSize(MaxHttpBodyBytes);
    if (!m_bindAddress.isNull() && !m_socket->bind(m_bindAddress)) {
        finishLater(HttpReply::Outcome::Unreachable,
                    QStringLiteral("cannot bind to %1: %2").arg(m_bindAddress.toString(), m_socket->errorString()));
        return;
    }
    connect(m_socket, &QTcpSocket::connected, this, [this] { m_connected = true; });
    if (tlsSocket)
        connect(tlsSocket, &QSslSocket::encrypted, this, &HttpGet::sendRequest);
    else
        connect(m_socket, &QTcpSocket::connected, this, &HttpGet::sendRequest);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { readReply(false); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { readReply(true); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError && m_connected)
            readReply(true);
        else if (m_running)
            finish(m_connected ? HttpReply::Outcome::Failed : HttpReply::Outcome::Unreachable, m_socket->errorString());
    });
    m_deadline.start(std::max(timeoutMs, 0));
    if (tlsSocket)
        tlsSocket->connectToHostEncrypted(url->host, url->port);
    else
        m_socket->connectToHost(url->host, url->port);
}

void HttpGet::abort()
{
    ++m_generation;
    m_running = false;
    m_deadline.stop();
    dropSocket();
}

void HttpGet::sendRequest()
{
    if (m_running)
        m_socket->write(m_request);
}

void HttpGet::readReply(bool closed)
{
    if (!m_running)
        return;
    m_received += m_socket->readAll();
    const HttpResponseParse reply = parseHttpResponse(m_received, closed);
    switch (reply.state) {
    case HttpResponseParse::State::Incomplete:
        return;
    case HttpResponseParse::State::Malformed:
        finish(HttpReply::Outcome::Failed, QStringLiteral("the reply is not HTTP or is cut short"));
        return;
    case HttpResponseParse::State::Complete:
        break;
    }
    if (reply.status >= 200 && reply.status < 300)
        finish(HttpReply::Outcome::Body, QString(), reply.status, reply.body);
    else
        finish(HttpReply::Outcome::OtherStatus, QStringLiteral("status %1").arg(reply.status), reply.status,
               reply.body);
}

void HttpGet::finish(HttpReply::Outcome outcome, const QString &problem, int status, const QByteArray &body)
{
    if (!m_running)
        return;
    m_running = false;
    m_deadline.stop();
    dropSocket();
    emit finished(HttpReply{outcome, status, body, problem});
}

void HttpGet::finishLater(HttpReply::Outcome outcome, const QString &problem)
{
    QMetaObject::invokeMethod(
        this,
        [this, outcome, problem, generation = m_generation] {
            if (generation == m_generation)
                finish(outcome, problem);
        },
        Qt::QueuedConnection);
}

// The socket may be inside one of its own signals: it is only silenced here, and deleted
// by the next start() or with this object.
void HttpGet::dropSocket()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
}

} // namespace tarnivel
