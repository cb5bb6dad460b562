#pragma once
// The computer's own IPv4 address: from the one active dial-up link, or else from the
// address server the user has set. Looked up afresh at each use; the address server is
// asked without blocking, and whoever needs the answer continues once it is in.

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

namespace tarnivel {

struct Preferences;
struct HttpReply;
class DialupSource;
class HttpGet;
class Clipboard;

class OwnAddress : public QObject
{
    Q_OBJECT
public:
    // The address server gets less patience than the directory server.
    static constexpr int AddressServerTimeoutMs = 5000;

    // Requests to the address server leave from bindAddress (null: any), as every socket of
    // the copy does, so the server sees the address the copy really uses.
    OwnAddress(Preferences &prefs, DialupSource &dialup, const QHostAddress &bindAddress, QObject *parent = nullptr);
    ~OwnAddress() override;

    // The result of the last lookup that has ended; empty when unknown.
    const QString &myAddress() const { return m_myAddress; }

    // Looks the address up: the dial-up address first; only without one, and only when an
    // address server is set, the server's whole reply, kept when it is a dotted address.
    // `done` runs once the lookup is over: at once when nothing needs asking, otherwise when
    // the server has answered or after 5 s, and never once `context` is gone. Lookups asked
    // for while the server is being asked wait for that answer.
    void findMyAddress(QObject *context, std::function<void()> done);
    void findMyAddress();
    // The address server is being asked.
    bool looking() const { return m_looking; }

    // The address server's URL; empty for the dial-up link alone. Kept in the preferences.
    const QString &addressServer() const;
    void setAddressServer(const QString &url);

    // Looks the address up and, when there is one, replaces the clipboard with it.
    void copyMyAddress(QObject *context, Clipboard &clipboard);

    // Tests give the address server less time.
    void setServerTimeoutMs(int ms) { m_serverTimeoutMs = ms; }

signals:
    // A lookup is over; myAddress() holds its result.
    void lookedUp();

private:
    struct Waiter
    {
        QPointer<QObject> context;
        std::function<void()> done;
    };
    void serverAnswered(const HttpReply &reply);
    void finish();

    Preferences &m_prefs;
    DialupSource &m_dialup;
    HttpGet *m_get;
    int m_serverTimeoutMs = AddressServerTimeoutMs;
    QString m_myAddress;
    bool m_looking = false;
    QList<Waiter> m_waiters;
};

} // namespace tarnivel
