#pragma once
// TLS for copies that share an invite key. Both ends know the key, so it is the credential:
// TLS 1.2 with the pre-shared key suite ECDHE-PSK-CHACHA20-POLY1305 (a fresh ECDHE secret per
// connection mixed with the PSK, so a key that leaks later opens no recorded chat), no
// certificates, no session resumption. Qt 6.4 can only serve TLS 1.3 with an external PSK
// (its client never offers one), and every copy dials as well as accepts: hence TLS 1.2.
//
// The PSK is HKDF-SHA256 of the key with a fixed label, and the PSK identity is a fixed
// string, so nothing on the wire depends on the key but the handshake's MACs.

#include <QByteArray>
#include <QSslConfiguration>

class QSslPreSharedKeyAuthenticator;

namespace tarnivel::invitetls {

inline constexpr const char *PskIdentity = "tarnivel";
inline constexpr const char *PskLabel = "tarnivel-invite-psk-v1";
inline constexpr const char *CipherSuite = "ECDHE-PSK-CHACHA20-POLY1305";
inline constexpr int PskBytes = 32;

// Whether Qt's TLS backend here can carry keyed connections (OpenSSL, with the suite).
[[nodiscard]] bool available();

// The PSK for a key; empty when OpenSSL cannot derive it.
[[nodiscard]] QByteArray derivePsk(const QByteArray &key);

// The configuration of every keyed connection, accepted or dialled.
[[nodiscard]] QSslConfiguration configuration();

// Answers the handshake's question for the PSK: the dialling side names the identity, the
// accepting side gives the PSK only for that identity (any other fails the handshake).
void answer(QSslPreSharedKeyAuthenticator &authenticator, const QByteArray &psk, bool dialled);

} // namespace tarnivel::invitetls
