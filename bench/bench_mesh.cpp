// Mesh speed, with whole copies of the program side by side in one process, each bound to
// its own loopback address:
//  (a) eleven copies join one after another; the time until every copy is greeted by all ten
//      others (target under 1 s);
//  (b) one copy sends chat lines; the time until a line stands in all ten peers' logs,
//      against the same bytes written by plain sockets to ten plain readers in the same
//      process (target: median and 99th percentile within 3x the plain figure);
//  (c) the floor: the same plain readers each inserting the line at the end of a bare
//      QTextEdit kept scrolled to its end, placed as the log is in a shown top-level window
//      of the main window's size (the platform's cost of presenting a window grows with
//      its size), with pending events run after each write as the mesh's sender does. A
//      peer's cost from arrival to log (over plain sockets) should be at most 1.5x the
//      floor's.
//
// Usage: bench_mesh [lines]   (default 1000)

#include "benchsupport.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"

#include "session/session.h"
#include "text/codepage932.h"
#include "desktop/dialup.h"
#include "desktop/sound.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace tarnivel;

namespace {

constexpr int Copies = 11;
constexpr int MeshRounds = 5;

// Let everything pending (repaints included) happen, outside any measurement.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

struct Figures
{
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures figuresOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const auto at = [&values](double q) { return values[std::min(values.size() - 1, size_t(q * double(values.size())))]; };
    return {at(0.5), at(0.99), values.back()};
}

const char *verdict(bool met)
{
    return met ? "PASS" : "MISS";
}

// ---- (a) forming the mesh ----------------------------------------------------------------

// Milliseconds from the first join until all eleven copies hold ten named members; -1 on failure.
double formMesh(std::vector<std::unique_ptr<test::WindowCopy>> &copies)
{
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n < Copies; ++n) {
        // Each newcomer asks a different member, as people would.
        copies[n]->joinThrough(copies[n * 3 / 4]->address());
        if (!bench::runUntil([&] { return copies[n]->namedMemberCount() == n; }))
            return -1;
    }
    const bool complete = bench::runUntil([&] {
        return std::all_of(copies.begin(), copies.end(), [](auto &c) { return c->namedMemberCount() == Copies - 1; });
    });
    return complete ? double(clock.nsecsElapsed()) / 1e6 : -1;
}

// ---- (b) a line to ten peers -------------------------------------------------------------

QString chatText(int i)
{
    return QStringLiteral("ベンチの行です、みなさん元気ですか %1 the quick brown fox").arg(i);
}

// Whether one of the last few paragraphs of a log is this line.
bool endsWithLine(const QTextDocument &document, const QString &line)
{
    QTextBlock block = document.lastBlock();
    for (int i = 0; i < 3 && block.isValid(); ++i, block = block.previous()) {
        if (block.text() == line)
            return true;
    }
    return false;
}

// Microseconds per line until the line stands in every peer's log.
std::vector<double> meshLatencies(std::vector<std::unique_ptr<test::WindowCopy>> &copies, int lines)
{
    test::WindowCopy &sender = *copies[0];
    const QString name = sender.session().preferences().myName;
    QString expected;
    QElapsedTimer clock;
    std::vector<qint64> arrivedAt(Copies, -1);
    int arrivals = 0;
    std::vector<QMetaObject::Connection> watches;
    for (int n = 1; n < Copies; ++n) {
        Session *peer = &copies[n]->session();
        watches.push_back(QObject::connect(&peer->log(), &ChatLog::appendedToWindow, [&, n, peer] {
            if (arrivedAt[n] < 0 && endsWithLine(peer->logDocument(), expected)) {
                arrivedAt[n] = clock.nsecsElapsed();
                ++arrivals;
            }
        }));
    }

    std::vector<double> latencies;
    latencies.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        const QString text = chatText(i);
        expected = name + QStringLiteral("> ") + text;
        std::fill(arrivedAt.begin(), arrivedAt.end(), -1);
        arrivals = 0;
        test::control<QLineEdit>(sender.window(), "txtInput")->setText(text);
        clock.start();
        sender.session().composer().enterPressed();
        if (!bench::runUntil([&] { return arrivals == Copies - 1; })) {
            std::printf("line %d did not reach every peer\n", i);
            break;
        }
        latencies.push_back(double(*std::max_element(arrivedAt.begin(), arrivedAt.end())) / 1e3);
        settle();
    }
    for (const auto &watch : watches)
        QObject::disconnect(watch);
    return latencies;
}

// The same bytes through plain sockets: ten writers, ten accepted readers, one process.
// With a window size, each reader also puts what it read at the end of its own bare text
// view, at logGeometry inside a shown window of that size.
std::vector<double> plainLatencies(const QByteArray &sample, int lines, QSize windowSize = {}, QRect logGeometry = {})
{
    constexpr int Readers = Copies - 1;
    QTcpServer server;
    if (!server.listen(test::loopback(40), 0))
        return {};
    std::vector<std::unique_ptr<QTcpSocket>> writers;
    std::vector<std::unique_ptr<QTcpSocket>> readers;
    for (int r = 0; r < Readers; ++r) {
        auto writer = std::make_unique<QTcpSocket>();
        writer->bind(test::loopback(41 + r), 0);
        writer->connectToHost(test::loopback(40), server.serverPort());
        writers.push_back(std::move(writer));
    }
    if (!bench::runUntil([&] {
            while (server.hasPendingConnections())
                readers.emplace_back(server.nextPendingConnection());
            return int(readers.size()) == Readers;
        }))
        return {};

    std::vector<std::unique_ptr<QWidget>> windows;
    std::vector<QTextEdit *> views;
    for (int r = 0; windowSize.isValid() && r < Readers; ++r) {
        auto window = std::make_unique<QWidget>();
        window->resize(windowSize);
        auto *view = new QTextEdit(window.get());
        view->setReadOnly(true);
        view->document()->setUndoRedoEnabled(false);
        view->setGeometry(logGeometry);
        window->show();
        views.push_back(view);
        windows.push_back(std::move(window));
    }
    settle();

    QElapsedTimer clock;
    std::vector<qint64> got(Readers, 0);
    std::vector<qint64> arrivedAt(Readers, -1);
    int arrivals = 0;
    for (int r = 0; r < Readers; ++r) {
        QTcpSocket *reader = readers[r].get();
        QTextEdit *view = views.empty() ? nullptr : views[r];
        QObject::connect(reader, &QTcpSocket::readyRead, reader, [&, r, reader, view] {
            const QByteArray bytes = reader->readAll();
            got[r] += bytes.size();
            if (view) {
                QTextCursor end(view->document());
                end.movePosition(QTextCursor::End);
                end.insertText(cp932::decode(bytes));
                view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
            }
            if (arrivedAt[r] < 0 && got[r] >= sample.size()) {
                arrivedAt[r] = clock.nsecsElapsed();
                ++arrivals;
            }
        });
    }

    std::vector<double> latencies;
    latencies.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        std::fill(got.begin(), got.end(), 0);
        std::fill(arrivedAt.begin(), arrivedAt.end(), -1);
        arrivals = 0;
        clock.start();
        for (auto &writer : writers) {
            writer->write(sample);
            writer->flush();
            // The floor processes events between writes as the mesh's sender does, so its
            // readers' views update (and paint) within the measured time too.
            if (!views.empty())
                QCoreApplication::processEvents();
        }
        if (!bench::runUntil([&] { return arrivals == Readers; }))
            break;
        latencies.push_back(double(*std::max_element(arrivedAt.begin(), arrivedAt.end())) / 1e3);
        settle();
    }
    return latencies;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    if (lines < 1) {
        std::printf("usage: bench_mesh [lines]   (lines at least 1)\n");
        return 2;
    }

    // (a) Each round starts from eleven idle copies; the windows are made before the clock runs.
    std::vector<double> meshTimes;
    std::vector<std::unique_ptr<test::WindowCopy>> copies;
    for (int round = 0; round < MeshRounds; ++round) {
        copies.clear();
        settle();
        for (int n = 1; n <= Copies; ++n) {
            copies.push_back(std::make_unique<test::WindowCopy>(n, QStringLiteral("人%1").arg(n)));
            copies.back()->dialup.value = copies.back()->address(); // each copy knows its address
        }
        settle();
        const double ms = formMesh(copies);
        if (ms < 0) {
            std::printf("(a) round %d: the mesh did not form\n", round + 1);
            return 2;
        }
        meshTimes.push_back(ms);
    }
    const Figures mesh = figuresOf(meshTimes);
    const bool meshFast = mesh.max < 1000.0;
    std::printf("(a) eleven-copy mesh formed in: median %.1f ms, worst %.1f ms over %d rounds  %s (target < 1000 ms)\n",
                mesh.median, mesh.max, MeshRounds, verdict(meshFast));

    // (b) On the last mesh formed: first as the program runs (windows shown, so every peer
    // repaints its log), then with the windows hidden to tell layout from painting.
    settle();
    const std::vector<double> viaMesh = meshLatencies(copies, lines);
    const QSize windowSize = copies[1]->window().size();
    const QTextEdit *log = test::control<QTextEdit>(copies[1]->window(), "txtWin");
    const QRect logGeometry(log->mapTo(&copies[1]->window(), QPoint(0, 0)), log->size());
    for (auto &c : copies)
        c->window().hide();
    settle();
    const std::vector<double> viaHidden = meshLatencies(copies, lines);
    const QString sampleLine = copies[0]->session().preferences().myName + QStringLiteral("> ") + chatText(lines);
    const QByteArray sampleBytes = cp932::encode(sampleLine + QStringLiteral("\r\n"));
    const std::vector<double> viaPlain = plainLatencies(sampleBytes, lines);
    const std::vector<double> viaFloor = plainLatencies(sampleBytes, lines, windowSize, logGeometry);
    for (const auto *run : {&viaMesh, &viaHidden, &viaPlain, &viaFloor}) {
        if (int(run->size()) != lines) {
            std::printf("(b) incomplete: %zu of %d lines\n", run->size(), lines);
            return 2;
        }
    }
    const Figures m = figuresOf(viaMesh);
    const Figures h = figuresOf(viaHidden);
    const Figures p = figuresOf(viaPlain);
    const Figures f = figuresOf(viaFloor);
    const bool medianOk = m.median <= 3 * p.median;
    const bool p99Ok = m.p99 <= 3 * p.p99;
    const double perPeerMesh = (m.median - p.median) / 10;
    const double perPeerFloor = (f.median - p.median) / 10;
    const double overFloor = perPeerMesh / perPeerFloor;
    const bool floorOk = perPeerFloor > 0 && overFloor <= 1.5;
    std::printf("(b) a line until it stands in all ten peers' logs, %d lines (microseconds):\n", lines);
    std::printf("    %-30s %10s %10s %10s\n", "", "median", "p99", "max");
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "mesh, windows shown", m.median, m.p99, m.max);
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "mesh, windows hidden", h.median, h.p99, h.max);
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "plain sockets, same bytes", p.median, p.p99, p.max);
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "plain sockets + bare logs", f.median, f.p99, f.max);
    std::printf("    mesh/plain: median %.2fx  %s, p99 %.2fx  %s (target <= 3x)\n", m.median / p.median,
                verdict(medianOk), m.p99 / p.p99, verdict(p99Ok));
    // One process runs all eleven copies, so the ten peers' work on a line is done one after
    // the other; per peer it is the difference to the plain figure divided by ten.
    std::printf("    per peer over plain (median): %.1f us shown, %.1f us hidden\n", perPeerMesh,
                (h.median - p.median) / 10);
    std::printf("(c) per peer from arrival to log: mesh %.1f us, bare-view floor %.1f us: %.2fx  %s (target <= 1.5x)\n",
                perPeerMesh, perPeerFloor, overFloor, verdict(floorOk));
    return meshFast && medianOk && p99Ok && floorOk ? 0 : 1;
}
