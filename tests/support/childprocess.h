#pragma once
// A program a test starts: in a network namespace of the test's own when one is named, waited
// for by what it writes, stopped with a grace period. It always dies with the test process
// (a parent-death signal), so a test that crashes or is killed leaves no daemon behind.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <initializer_list>
#include <optional>

namespace tarnivel::test {

// A system tool's path, looking in the sbin folders too (root's tools are not on every PATH).
QString findTool(const QString &name);
// Why a tool is missing, for the first of them that is; nothing when all are there.
std::optional<QString> missingTool(std::initializer_list<const char *> tools);

// The child gets SIGKILL when this process ends; for a QProcess started directly.
void endWithThisProcess(QProcess &process);

class ChildProcess
{
public:
    static constexpr int StartWaitMs = 20000;
    static constexpr int GraceMs = 5000;

    ChildProcess() = default;
    // Stops it (SIGTERM, then SIGKILL after the grace period).
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Channel modes, environment and input before start(); the process id and state after.
    QProcess &process() { return m_process; }
    const QProcess &process() const { return m_process; }

    // Starts the program, through `ip netns exec` when a namespace is named (which also gives
    // it a mount namespace of its own). False, with the reason in error(), when it did not start.
    bool start(const QString &program, const QStringList &arguments, const QString &netns = {});
    // Waits until what it wrote on the read channel holds text, past what earlier waits
    // found; false, with the reason and its output in error(), when it ends or time runs out.
    bool waitFor(const QString &text, int timeoutMs = StartWaitMs);
    // Everything it wrote on the read channel so far.
    QString output();
    // Sends the signal, waits for the end, and kills it when the grace period runs out.
    // Its exit code, or -1 when it did not exit by itself (a crash, or killed).
    int stop(int signal = SIGTERM, int graceMs = GraceMs);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QString m_output;
    qsizetype m_seen = 0;
    QString m_error;
};

} // namespace tarnivel::test
