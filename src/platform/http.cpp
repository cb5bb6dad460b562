#include "platform/http.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

namespace tarnivel {

namespace {
// How much longer than its own time-out the caller waits for a worker to report back.
constexpr int WorkerGraceMs = 2000;
} // namespace

// One GET in its own thread: a private network manager and event loop live only in run().
class HttpTransfer : public QThread
{
public:
    HttpTransfer(const QUrl &url, int timeoutMs) : m_url(url), m_timeoutMs(timeoutMs) {}

    // Thread-safe: makes run() give up at its next chance.
    void abort()
    {
        QMutexLocker lock(&m_mutex);
        m_aborted = true;
        if (m_loop)
            QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
    }

    // Valid once the thread has finished.
    std::optional<QByteArray> result() const { return m_result; }

protected:
    void run() override
    {
        QNetworkAccessManager manager;
        QEventLoop loop;
        {
            QMutexLocker lock(&m_mutex);
            if (m_aborted)
                return;
            m_loop = &loop;
        }

        QNetworkRequest request(m_url);
        QNetworkReply *reply = manager.get(request);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(m_timeoutMs);

        if (!reply->isFinished())
            loop.exec();

        {
            QMutexLocker lock(&m_mutex);
            m_loop = nullptr;
            // An HTTP error status, a network failure and an abort all show as error().
            if (!m_aborted && reply->isFinished() && reply->error() == QNetworkReply::NoError)
                m_result = reply->readAll();
        }
        reply->abort();
        delete reply;
    }

private:
    const QUrl m_url;
    const int m_timeoutMs;
    QMutex m_mutex;
    QEventLoop *m_loop = nullptr;
    bool m_aborted = false;
    std::optional<QByteArray> m_result;
};

HttpClient::HttpClient() = default;

HttpClient::~HttpClient()
{
    cancel();
    for (const auto &transfer : m_abandoned) {
        transfer->abort();
        transfer->wait();
    }
}

std::optional<QByteArray> HttpClient::get(const QString &url, int timeoutSeconds)
{
    return get(QUrl(url, QUrl::TolerantMode), timeoutSeconds);
}

std::optional<QByteArray> HttpClient::get(const QUrl &url, int timeoutSeconds)
{
    reapAbandoned();
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return std::nullopt;

    const int timeoutMs = qMax(timeoutSeconds, 0) * 1000;
    auto transfer = std::make_shared<HttpTransfer>(url, timeoutMs);
    {
        QMutexLocker lock(&m_mutex);
        m_current = transfer;
    }
    transfer->start();
    const bool done = transfer->wait(QDeadlineTimer(timeoutMs + WorkerGraceMs));
    {
        QMutexLocker lock(&m_mutex);
        if (m_current == transfer)
            m_current.reset();
    }
    if (!done) {
        // The worker missed its own deadline: give up on it without blocking any longer.
        transfer->abort();
        m_abandoned.push_back(transfer);
        return std::nullopt;
    }
    return transfer->result();
}

void HttpClient::cancel()
{
    QMutexLocker lock(&m_mutex);
    if (m_current)
        m_current->abort();
}

void HttpClient::reapAbandoned()
{
    std::erase_if(m_abandoned, [](const auto &transfer) { return transfer->isFinished(); });
}

} // namespace tarnivel
