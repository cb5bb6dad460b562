// Appending to a long log: chat lines go through ChatLog::addLog into the document of a
// shown QTextEdit, 100 000 of them. The cost of a line must not grow with the log (the last
// thousand lines cost at most 1.5 times the first thousand) and the whole run must stay
// under 400 MB. Past its limits (LogLimits: about 125 000 of these lines) the log drops its
// oldest lines a tenth at a time: run 250 000 lines to see that a full log costs the same,
// and what the call that trims costs.
//
// In the same run, the floor: a bare QTextEdit inserting the same text at its end, kept
// scrolled to the end, with the same event processing. A line through the log should cost
// at most 1.5 times a line of the floor.
//
// Usage: bench_addlog [lines]   (default 100000)

#include "benchsupport.h"
#include "conversation/chatlog.h"
#include "desktop/sound.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace tarnivel;

namespace {

// The message sound is on, but the bench measures the log, not the sound system.
class SilentSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &) override {}
};

// A mixed conversation: mostly public lines, some private ones, some with addresses,
// Japanese and ASCII text, and now and then a status line with a blank line before it.
QString chatLine(int i)
{
    const QString names[] = {QStringLiteral("太郎"), QStringLiteral("hanako"), QStringLiteral("ｹﾝｼﾞ")};
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

// One addLog call and the events after it.
struct Call
{
    double wallUs;
    double cpuUs;
    int linesAfter;
};

// Cost per line of the calls that brought the log from `from` to `to` lines.
struct StretchCost
{
    double meanCpu = 0;
    double medianCpu = 0;
    double meanWall = 0;
};

StretchCost costOf(const std::vector<Call> &calls, int from, int to)
{
    std::vector<double> perLine;
    double cpu = 0;
    double wall = 0;
    int lines = 0;
    int before = 0;
    for (const Call &call : calls) {
        if (call.linesAfter > from && call.linesAfter <= to) {
            const int added = std::max(1, call.linesAfter - before);
            perLine.push_back(call.cpuUs / added);
            cpu += call.cpuUs;
            wall += call.wallUs;
            lines += added;
        }
        before = call.linesAfter;
    }
    if (perLine.empty())
        return {};
    std::nth_element(perLine.begin(), perLine.begin() + perLine.size() / 2, perLine.end());
    return {cpu / lines, perLine[perLine.size() / 2], wall / lines};
}

// Appends targetLines lines through `append`; each line arrives in its own event and the
// view updates between them.
std::vector<Call> fill(QApplication &app, int targetLines, const std::function<void(const QString &)> &append)
{
    std::vector<Call> calls;
    calls.reserve(targetLines);
    QElapsedTimer wall;
    wall.start();
    while (int(calls.size()) < targetLines) {
        const qint64 wallStart = wall.nsecsElapsed();
        const double cpuStart = cpuMicroseconds();
        append(chatLine(int(calls.size())));
        app.processEvents();
        calls.push_back(
            {double(wall.nsecsElapsed() - wallStart) / 1000.0, cpuMicroseconds() - cpuStart, int(calls.size()) + 1});
    }
    return calls;
}

void keepEndInSight(QTextEdit &view)
{
    QScrollBar *bar = view.verticalScrollBar();
    bar->setValue(bar->maximum());
}

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int targetLines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    constexpr int sample = 1000;

    std::vector<Call> calls;
    int linesHeld = 0;
    QElapsedTimer wall;
    wall.start();
    {
        QTextEdit view;
        view.setReadOnly(true);
        view.resize(640, 480);
        QTextDocument held;
        Preferences prefs;
        prefs.logFontName = QStringLiteral("IPAPGothic");
        prefs.messageSound = true;
        SilentSoundPlayer sound;
        ChatLog log(*view.document(), held, prefs, sound, QStringLiteral("/nowhere/message.wav"));
        // What the window does with each append: keep the newest line in sight.
        QObject::connect(&log, &ChatLog::appendedToWindow, &view, [&view] { keepEndInSight(view); });
        view.show();
        app.processEvents();
        calls = fill(app, targetLines, [&log](const QString &line) { log.addLog(line); });
        linesHeld = view.document()->blockCount() - 1;
    }
    const double logSeconds = wall.elapsed() / 1000.0;
    const double peakMiB = bench::peakMemoryKiB() / 1024.0;

    // The floor: the same text at the end of a bare view, nothing else.
    std::vector<Call> floorCalls;
    {
        QTextEdit view;
        view.setReadOnly(true);
        view.resize(640, 480);
        view.document()->setUndoRedoEnabled(false);
        QTextCursor end(view.document());
        view.show();
        app.processEvents();
        floorCalls = fill(app, targetLines, [&](const QString &line) {
            end.movePosition(QTextCursor::End);
            end.insertText(line);
            keepEndInSight(view);
        });
    }

    const int total = calls.empty() ? 0 : calls.back().linesAfter;
    if (total < 2 * sample) {
        std::printf("too few lines for a measurement\n");
        return 1;
    }

    std::printf("lines added: %d, held by the log at the end: %d\n", total, linesHeld);
    const auto slowest =
        std::max_element(calls.begin(), calls.end(), [](const Call &a, const Call &b) { return a.cpuUs < b.cpuUs; });
    const auto over10ms = std::count_if(calls.begin(), calls.end(), [](const Call &c) { return c.cpuUs > 10000; });
    std::printf("slowest line: %.1f ms CPU (line %d); lines over 10 ms CPU: %lld\n", slowest->cpuUs / 1000,
                slowest->linesAfter, static_cast<long long>(over10ms));
    std::printf("%-23s %14s %14s %14s\n", "lines", "CPU us/line", "median CPU", "wall us/line");
    auto row = [&calls](int from, int to) {
        const StretchCost cost = costOf(calls, from, to);
        std::printf("%9d - %-11d %14.1f %14.1f %14.1f\n", from, to, cost.meanCpu, cost.medianCpu, cost.meanWall);
        return cost;
    };
    const StretchCost first = row(0, sample);
    for (int end = 10 * sample; end < total - sample; end += 10 * sample)
        row(end - sample, end);
    const StretchCost last = row(total - sample, total);

    // Judged on the median CPU time of a line: a busy machine distorts wall time, and a
    // few lines that happen to wait for it distort a mean.
    const double growth = last.medianCpu / first.medianCpu;
    const bool flat = growth <= 1.5;
    const bool small = peakMiB < 400.0;
    const StretchCost whole = costOf(calls, 0, total);
    const StretchCost floorWhole = costOf(floorCalls, 0, total);
    const double overFloor = whole.medianCpu / floorWhole.medianCpu;
    const bool nearFloor = overFloor <= 1.5;
    std::printf("last/first thousand (median CPU): %.2fx  %s\n", growth, flat ? "OK" : "MISSED (target <= 1.5x)");
    std::printf("last/first thousand (mean CPU):   %.2fx\n", last.meanCpu / first.meanCpu);
    std::printf("bare QTextEdit floor, median CPU per line: %.1f us; log %.1f us: %.2fx the floor  %s\n",
                floorWhole.medianCpu, whole.medianCpu, overFloor, nearFloor ? "OK" : "MISSED (target <= 1.5x)");
    std::printf("  (mean CPU per line: floor %.1f us, log %.1f us)\n", floorWhole.meanCpu, whole.meanCpu);
    std::printf("log run: %.1f s wall\n", logSeconds);
    std::printf("peak memory of the log run (VmHWM): %.0f MiB  %s\n", peakMiB,
                small ? "OK" : "MISSED (target < 400 MB)");
    return flat && small && nearFloor ? 0 : 1;
}
