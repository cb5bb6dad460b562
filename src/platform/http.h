#pragma once
// Synchronous HTTP GET for the handlers that must wait for a reply (directory rooms, the
// address server). The transfer runs in a worker thread with its own event loop while the
// calling thread simply waits: no other event of the caller runs in the meantime, so
// handlers still run one at a time.

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

namespace tarnivel {

class HttpTransfer;

class HttpClient
{
public:
    // The time-out most requests use; the address server asks with a shorter one.
    static constexpr int DefaultTimeoutSeconds = 30;

    HttpClient();
    virtual ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // One plain GET of the URL as given. Returns the whole reply body, or nothing on any
    // failure: unusable URL, no connection, time-out, an HTTP error status, cancel().
    [[nodiscard]] virtual std::optional<QByteArray> get(const QString &url, int timeoutSeconds);
    // Same, for a URL the caller has already encoded.
    [[nodiscard]] virtual std::optional<QByteArray> get(const QUrl &url, int timeoutSeconds);

    // Abandons the transfer in progress, if any. May be called from any thread.
    virtual void cancel();

private:
    void reapAbandoned();

    QMutex m_mutex; // guards m_current against cancel() from another thread
    std::shared_ptr<HttpTransfer> m_current;
    // Transfers that outlived their wait; kept until their thread has ended.
    std::vector<std::shared_ptr<HttpTransfer>> m_abandoned;
};

} // namespace tarnivel
