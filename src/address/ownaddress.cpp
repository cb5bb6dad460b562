#include "address/ownaddress.h"

#include "address/dottedaddress.h"
#include "model/preferences.h"
#include "desktop/clipboard.h"
#include "text/codepage932.h"
#include "desktop/dialup.h"
#include "net/httpget.h"
#include "text/logging.h"
#include "text/requesttext.h"

namespace tarnivel {

OwnAddress::OwnAddress(Preferences &prefs, DialupSource &dialup, const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent)
    , m_prefs(prefs)
    , m_dialup(dialup)
    , m_get(new HttpGet(bindAddress, this))
{
    connect(m_get, &HttpGet::finished, this, &OwnAddress::serverAnswered);
}

OwnAddress::~OwnAddress() = default;

void OwnAddress::findMyAddress()
{
    findMyAddress(this, {});
}

void OwnAddress::findMyAddress(QObject *context, std::function<void()> done)
{
    m_waiters.append({context, std::move(done)});
    if (m_looking)
        return; // the answer on its way serves this lookup too

    const QString dialupAddress = m_dialup.address();
    if (!dialupAddress.isEmpty() || m_prefs.addressServer.isEmpty()) {
        m_myAddress = dialupAddress;
        finish();
        return;
    }
    // The address found last stays until the server's answer replaces it: a newcomer
    // comparing its peer list with it meanwhile must not take itself for a stranger.
    qCDebug(lcDirectory) << "asking the address server" << m_prefs.addressServer;
    m_looking = true;
    m_get->start(encodeRequestText(m_prefs.addressServer), m_serverTimeoutMs);
}

void OwnAddress::serverAnswered(const HttpReply &reply)
{
    m_looking = false;
    // The whole body is the address; nothing is trimmed off it.
    m_myAddress = reply.outcome == HttpReply::Outcome::Body ? cp932::decode(reply.body) : QString();
    if (!isDottedAddress(m_myAddress)) {
        qCDebug(lcDirectory) << "no address from the address server:" << reply.problem << reply.body.left(80);
        m_myAddress.clear();
    }
    finish();
}

void OwnAddress::finish()
{
    // A waiter may start the next lookup; it waits for that one, not this.
    const QList<Waiter> waiters = std::exchange(m_waiters, {});
    emit lookedUp();
    for (const Waiter &waiter : waiters) {
        if (waiter.context && waiter.done)
            waiter.done();
    }
}

const QString &OwnAddress::addressServer() const
{
    return m_prefs.addressServer;
}

void OwnAddress::setAddressServer(const QString &url)
{
    m_prefs.addressServer = url;
}

void OwnAddress::copyMyAddress(QObject *context, Clipboard &clipboard)
{
    findMyAddress(context, [this, &clipboard] {
        if (m_myAddress.isEmpty())
            return;
        clipboard.clear();
        clipboard.setText(m_myAddress);
    });
}

} // namespace tarnivel
