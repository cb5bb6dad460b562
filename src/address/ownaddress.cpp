#include "address/ownaddress.h"

#include "address/dottedaddress.h"
#include "model/preferences.h"
#include "platform/logging.h"
#include "platform/clipboard.h"
#include "platform/codepage932.h"
#include "platform/dialup.h"
#include "platform/http.h"

namespace tarnivel {

OwnAddress::OwnAddress(Preferences &prefs, DialupSource &dialup, HttpClient &http)
    : m_prefs(prefs), m_dialup(dialup), m_http(http)
{
}

void OwnAddress::findMyAddress()
{
    m_myAddress = m_dialup.address();
    if (!m_myAddress.isEmpty() || m_prefs.addressServer.isEmpty())
        return;

    qCDebug(lcDirectory) << "asking the address server" << m_prefs.addressServer;
    m_http.cancel();
    const auto body = m_http.get(m_prefs.addressServer, AddressServerTimeoutSeconds);
    // The whole body is the address; nothing is trimmed off it.
    m_myAddress = body ? cp932::decode(*body) : QString();
    if (!isDottedAddress(m_myAddress))
        m_myAddress.clear();
}

const QString &OwnAddress::addressServer() const
{
    return m_prefs.addressServer;
}

void OwnAddress::setAddressServer(const QString &url)
{
    m_prefs.addressServer = url;
}

void OwnAddress::copyMyAddress(Clipboard &clipboard)
{
    findMyAddress();
    if (m_myAddress.isEmpty())
        return;
    clipboard.clear();
    clipboard.setText(m_myAddress);
}

} // namespace tarnivel
