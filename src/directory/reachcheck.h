#pragma once
// Asks a directory server whether this copy can be reached from outside: GET /reach on the
// entry's server, which dials our join port back and answers "Open" or "Closed". Servers
// without the check answer 404 and get no line; only Open and Closed are reported.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <optional>

namespace tarnivel {

class HttpGet;
struct HttpReply;

enum class Reach { Open, Closed };

// "http://host:port/reach" for the server of an entry's URL; nothing when the URL is unusable.
std::optional<QByteArray> reachUrl(const QByteArray &entryUrl);
// Open or Closed from the server's reply; nothing for any other answer (404, 429, no answer).
std::optional<Reach> readReachReply(const HttpReply &reply);

class ReachCheck : public QObject
{
    Q_OBJECT
public:
    // The server waits up to 3 s for our port; a little more for the trip there and back.
    static constexpr int TimeoutMs = 10000;

    explicit ReachCheck(const QHostAddress &bindAddress, QObject *parent = nullptr);

    // Asks the server of this entry URL; a check still out is dropped for the new one.
    void ask(const QByteArray &entryUrl);
    // A check is out.
    bool asking() const;

signals:
    void answered(tarnivel::Reach reach);

private:
    HttpGet *m_get;
};

} // namespace tarnivel
