#include "net/invitetls.h"

#include <QSslCipher>
#include <QSslPreSharedKeyAuthenticator>
#include <QSslSocket>

#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <memory>

namespace tarnivel::invitetls {

bool available()
{
    return QSslSocket::supportsSsl() && !QSslCipher(QString::fromLatin1(CipherSuite)).isNull();
}

QByteArray derivePsk(const QByteArray &key)
{
    const std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr), &EVP_KDF_free);
    if (!kdf)
        return {};
    const std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(EVP_KDF_CTX_new(kdf.get()),
                                                                            &EVP_KDF_CTX_free);
    if (!context)
        return {};
    char digest[] = "SHA256";
    QByteArray ikm = key;
    QByteArray info(PskLabel);
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ikm.data(), size_t(ikm.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), size_t(info.size())),
        OSSL_PARAM_construct_end(),
    };
    QByteArray psk(PskBytes, Qt::Uninitialized);
    if (EVP_KDF_derive(context.get(), reinterpret_cast<unsigned char *>(psk.data()), size_t(psk.size()), params) != 1)
        return {};
    return psk;
}

QSslConfiguration configuration()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2);
    tls.setCiphers(QString::fromLatin1(CipherSuite));
    // The PSK authenticates both ends; there is no certificate to verify.
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    // Every connection makes a fresh ECDHE secret: nothing is kept to resume with.
    tls.setSslOption(QSsl::SslOptionDisableSessionTickets, true);
    tls.setSslOption(QSsl::SslOptionDisableSessionSharing, true);
    tls.setSslOption(QSsl::SslOptionDisableSessionPersistence, true);
    return tls;
}

void answer(QSslPreSharedKeyAuthenticator &authenticator, const QByteArray &psk, bool dialled)
{
    if (dialled) {
        authenticator.setIdentity(PskIdentity);
        authenticator.setPreSharedKey(psk);
    } else if (authenticator.identity() == PskIdentity) {
        authenticator.setPreSharedKey(psk);
    }
}

} // namespace tarnivel::invitetls
