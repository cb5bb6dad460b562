#pragma once
// The computer's own IPv4 address: from the one active dial-up link, or else from the
// address server the user has set. Looked up afresh at each use.

#include <QString>

namespace tarnivel {

struct Preferences;
class DialupSource;
class HttpClient;
class Clipboard;

class OwnAddress
{
public:
    // The address server gets less patience than the directory server.
    static constexpr int AddressServerTimeoutSeconds = 5;

    OwnAddress(Preferences &prefs, DialupSource &dialup, HttpClient &http);

    // The result of the last lookup; empty when unknown.
    const QString &myAddress() const { return m_myAddress; }

    // Dial-up address first; only without one, and only when an address server is set,
    // the server's whole reply, kept when it is a dotted address. Blocks for up to 5 s.
    void findMyAddress();

    // The address server's URL; empty for the dial-up link alone. Kept in the preferences.
    const QString &addressServer() const;
    void setAddressServer(const QString &url);

    // Looks the address up and, when there is one, replaces the clipboard with it.
    void copyMyAddress(Clipboard &clipboard);

private:
    Preferences &m_prefs;
    DialupSource &m_dialup;
    HttpClient &m_http;
    QString m_myAddress;
};

} // namespace tarnivel
