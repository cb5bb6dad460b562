// Appending to a long log: chat lines go through ChatLog::addLog into the document of a
// shown QTextEdit until the log holds 100 000 lines. The cost of a line must not grow with
// the log (the last thousand lines cost at most 1.5 times the first thousand) and the whole
// run must stay under 400 MB.
//
// Usage: bench_addlog [lines]   (default 100000)

#include "conversation/chatlog.h"
#include "platform/sound.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace tarnivel;

namespace {

class SilentSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &) override { ++calls; }
    int calls = 0;
};

// A mixed conversation: mostly public lines, some private ones, some with addresses,
// Japanese and ASCII text, and now and then a status line with a blank line before it.
QString chatLine(int i)
{
    static const QString names[] = {QStringLiteral("太郎"), QStringLiteral("hanako"), QStringLiteral("ｹﾝｼﾞ")};
    const QString &name = names[i % 3];
    switch (i % 10) {
    case 0:
        return QChar(0x01) + name + QStringLiteral("（秘）: 今日の会議は何時からでしたっけ？ ") + QString::number(i)
            + QStringLiteral("\r\n");
    case 3:
        return name + QStringLiteral("> これ見て http://www.example.co.jp/news/") + QString::number(i)
            + QStringLiteral(".html 面白いよ\r\n");
    case 6:
        return name + QStringLiteral("> see http://example.com/a?b=") + QString::number(i)
            + QStringLiteral(" and http://example.org/ｶﾀｶﾅ\r\n");
    case 9:
        if (i % 100 == 99)
            return QStringLiteral("\r\n ●") + name + QStringLiteral(" と接続されました。\r\n");
        [[fallthrough]];
    default:
        return name + QStringLiteral("> The quick brown fox jumps over the lazy dog. いろはにほへと ")
            + QString::number(i) + QStringLiteral("\r\n");
    }
}

// CPU time of the process: unlike wall time it does not count the time other programs
// on a busy machine take from this one.
double cpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Wall and CPU time at a point of the run.
struct Clock
{
    qint64 wallNs;
    double cpuUs;
    int lines;
};

// Microseconds per line between two points: {wall, cpu}.
std::pair<double, double> perLine(const Clock &from, const Clock &to)
{
    const double count = std::max(1, to.lines - from.lines);
    return {double(to.wallNs - from.wallNs) / 1000.0 / count, (to.cpuUs - from.cpuUs) / count};
}

qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int targetLines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    constexpr int sample = 1000;

    QTextEdit view;
    view.setReadOnly(true);
    view.resize(640, 480);
    QTextDocument held;
    Preferences prefs;
    prefs.logFontName = QStringLiteral("IPAPGothic");
    SilentSoundPlayer sound;
    ChatLog log(*view.document(), held, prefs, sound, QStringLiteral("/nowhere/message.wav"));
    // What the window does with each append: keep the newest line in sight.
    QObject::connect(&log, &ChatLog::appendedToWindow, &view, [&view] {
        QScrollBar *bar = view.verticalScrollBar();
        bar->setValue(bar->maximum());
    });
    view.show();
    app.processEvents();

    const QTextDocument &document = *view.document();
    auto linesHeld = [&document] { return document.blockCount() - 1; };

    QElapsedTimer wall;
    wall.start();
    auto now = [&] { return Clock{wall.nsecsElapsed(), cpuMicroseconds(), linesHeld()}; };
    // The time at every full thousand lines (a call may add more than one line).
    std::vector<Clock> marks{now()};
    int calls = 0;
    while (linesHeld() < targetLines) {
        log.addLog(chatLine(calls++));
        // Each line arrives in its own event; the view updates between them.
        app.processEvents();
        if (linesHeld() >= marks.back().lines / sample * sample + sample)
            marks.push_back(now());
    }
    if (marks.size() < 3) {
        std::printf("too few lines for a measurement\n");
        return 1;
    }

    const auto first = perLine(marks[0], marks[1]);
    const auto second = perLine(marks[1], marks[2]);
    const auto last = perLine(marks[marks.size() - 2], marks.back());
    std::printf("lines in log: %d (%d calls)\n", linesHeld(), calls);
    std::printf("%-22s %12s %12s\n", "lines", "us CPU/line", "us wall/line");
    auto row = [](const Clock &from, const Clock &to) {
        const auto cost = perLine(from, to);
        std::printf("%9d - %-10d %12.1f %12.1f\n", from.lines, to.lines, cost.second, cost.first);
    };
    for (size_t i = 1; i < marks.size(); ++i) {
        const bool shown = i <= 2 || i == marks.size() - 1 || marks[i].lines % (10 * sample) == 0;
        if (shown)
            row(marks[i - 1], marks[i]);
    }

    // Judged on CPU time, which a busy machine does not distort. The first thousand lines
    // also pay for loading fonts and glyphs, so the ratio to the second is shown as well.
    const double growth = last.second / first.second;
    const double peakMiB = peakMemoryKiB() / 1024.0;
    const bool flat = growth <= 1.5;
    const bool small = peakMiB < 400.0;
    std::printf("last/first thousand (CPU): %.2fx  %s\n", growth, flat ? "OK" : "MISSED (target <= 1.5x)");
    std::printf("last/second thousand (CPU): %.2fx\n", last.second / second.second);
    std::printf("whole run: %.1f s wall\n", wall.elapsed() / 1000.0);
    std::printf("peak memory (VmHWM): %.0f MiB  %s\n", peakMiB, small ? "OK" : "MISSED (target < 400 MB)");
    return flat && small ? 0 : 1;
}
