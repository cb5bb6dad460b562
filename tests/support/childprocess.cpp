#include "childprocess.h"

#include <QStandardPaths>
#include <QtTest>

#include <sys/prctl.h>
#include <unistd.h>

namespace tarnivel::test {

QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

std::optional<QString> missingTool(std::initializer_list<const char *> tools)
{
    for (const char *tool : tools) {
        if (findTool(QLatin1String(tool)).isEmpty())
            return QStringLiteral("`%1` is not installed (tools/install-deps.sh installs it)").arg(QLatin1String(tool));
    }
    return std::nullopt;
}

void endWithThisProcess(QProcess &process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the test ended before the signal was asked for
            ::_exit(127);
    });
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const QString &program, const QStringList &arguments, const QString &netns)
{
    endWithThisProcess(m_process);
    m_output.clear();
    m_seen = 0;
    if (netns.isEmpty()) {
        m_process.start(program, arguments);
    } else {
        m_process.start(findTool(QStringLiteral("ip")),
                        QStringList{QStringLiteral("netns"), QStringLiteral("exec"), netns, program} + arguments);
    }
    if (m_process.waitForStarted(StartWaitMs))
        return true;
    m_error = QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString());
    return false;
}

QString ChildProcess::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}

bool ChildProcess::waitFor(const QString &text, int timeoutMs)
{
    // The event loop runs meanwhile: the child may be waiting for an answer from this process.
    qsizetype at = -1;
    const bool found = QTest::qWaitFor(
                           [&] {
                               at = output().indexOf(text, m_seen);
                               return at >= 0 || m_process.state() == QProcess::NotRunning;
                           },
                           timeoutMs)
        && at >= 0;
    if (found) {
        m_seen = at + text.size();
        return true;
    }
    m_error =
        QStringLiteral("%1 %2 before saying \"%3\": %4")
            .arg(m_process.program(),
                 m_process.state() == QProcess::NotRunning ? QStringLiteral("ended") : QStringLiteral("timed out"),
                 text, output());
    return false;
}

int ChildProcess::stop(int signal, int graceMs)
{
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(graceMs)) {
            m_process.kill();
            m_process.waitForFinished(graceMs);
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

} // namespace tarnivel::test
