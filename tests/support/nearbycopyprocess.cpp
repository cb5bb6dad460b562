#include "nearbycopyprocess.h"

#include <QCoreApplication>

namespace tarnivel::test {

namespace {
constexpr int EndWaitMs = 10000;

QString program()
{
    const QString named = qEnvironmentVariable("TARNIVEL_NEARBY_COPY");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/nearbycopy") : named;
}
} // namespace

NearbyCopyProcess::NearbyCopyProcess(const AvahiInNamespace &avahi, const QString &address, const QString &name)
{
    QProcess &process = m_process.process();
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { read(); });
    if (!avahi.start(m_process, program(), {address, name}))
        qWarning("%s", qPrintable(m_process.error()));
}

NearbyCopyProcess::~NearbyCopyProcess()
{
    m_process.process().closeWriteChannel();
    m_process.process().waitForFinished(EndWaitMs);
}

void NearbyCopyProcess::send(const QString &command)
{
    m_process.process().write(command.toUtf8() + '\n');
}

void NearbyCopyProcess::read()
{
    m_pending += m_process.process().readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QStringList fields = QString::fromUtf8(m_pending.left(end)).split(u'\t');
        m_pending.remove(0, end + 1);
        if (fields.first() == QStringLiteral("title")) {
            m_title = fields.value(1);
        } else if (fields.first() == QStringLiteral("status")) {
            m_status = fields.value(1);
        } else if (fields.first() == QStringLiteral("list")) {
            m_rows.clear();
            for (qsizetype i = 1; i + 3 < fields.size(); i += 4)
                m_rows << fields.mid(i, 4).join(u'|');
        }
    }
}

} // namespace tarnivel::test
