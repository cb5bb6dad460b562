#pragma once
// Stand-ins for the platform services that loopback cannot play: the dial-up link and an
// address server that answers from a script.

#include "platform/dialup.h"
#include "platform/http.h"

#include <QStringList>

namespace tarnivel::test {

class FixedDialup : public DialupSource
{
public:
    QString address() override { return value; }
    QString value;
};

// Records what is asked of the HTTP layer ("cancel", "get <url> <seconds>") and answers
// every GET with `reply`.
class ScriptedHttp : public HttpClient
{
public:
    using HttpClient::get;
    std::optional<QByteArray> get(const QString &url, int timeoutSeconds) override
    {
        calls << QStringLiteral("get %1 %2").arg(url).arg(timeoutSeconds);
        return reply;
    }
    void cancel() override { calls << QStringLiteral("cancel"); }

    // The GETs alone, as "<url> <seconds>".
    QStringList gets() const
    {
        QStringList result;
        for (const QString &call : calls) {
            if (call.startsWith(QLatin1String("get ")))
                result << call.mid(4);
        }
        return result;
    }

    std::optional<QByteArray> reply;
    QStringList calls;
};

} // namespace tarnivel::test
