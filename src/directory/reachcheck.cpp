#include "directory/reachcheck.h"

#include "net/httpget.h"
#include "text/logging.h"

namespace tarnivel {

std::optional<QByteArray> reachUrl(const QByteArray &entryUrl)
{
    const std::optional<HttpUrl> url = splitHttpUrl(entryUrl.trimmed());
    if (!url)
        return std::nullopt;
    QByteArray text = url->tls ? "https://" : "http://";
    if (!url->userInfo.isEmpty())
        text += url->userInfo + '@';
    return text + url->hostHeader + "/reach";
}

std::optional<Reach> readReachReply(const HttpReply &reply)
{
    if (reply.outcome != HttpReply::Outcome::Body)
        return std::nullopt;
    const QByteArray body = reply.body.trimmed();
    if (body == "Open")
        return Reach::Open;
    if (body == "Closed")
        return Reach::Closed;
    return std::nullopt;
}

ReachCheck::ReachCheck(const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent)
    , m_get(new HttpGet(bindAddress, this))
{
    connect(m_get, &HttpGet::finished, this, [this](const HttpReply &reply) {
        if (const std::optional<Reach> reach = readReachReply(reply)) {
            emit answered(*reach);
            return;
        }
        qCInfo(lcDirectory) << "no reachability answer:" << int(reply.outcome) << reply.problem << reply.body.left(64);
    });
}

bool ReachCheck::asking() const
{
    return m_get->running();
}

void ReachCheck::ask(const QByteArray &entryUrl)
{
    const std::optional<QByteArray> url = reachUrl(entryUrl);
    if (!url) {
        qCInfo(lcDirectory) << "no reachability check: unusable entry URL" << entryUrl;
        return;
    }
    m_get->abort();
    m_get->start(*url, TimeoutMs);
}

} // namespace tarnivel
