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
// With an invite key (every connection inside TLS), in the same run:
//  (a) the keyed mesh forms in rounds alternating with the plain one (target under 1 s, and
//      at most 3x plain);
//  (d) a typed line to ten keyed members, in chunks alternating with the plain mesh (target:
//      median at most 1.2x plain);
//  (e) CPU per connection, both ends in this process, plain and keyed: the handshake's cost;
//  (f) memory per copy with ten members, plain and keyed, each measured in a process of its
//      own (bench_mesh --memory plain|keyed).
//
// Usage: bench_mesh [lines]   (default 1000)

#include "benchsupport.h"
#include "testaccess.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"

#include "session/session.h"
#include "text/codepage932.h"
#include "desktop/dialup.h"
#include "desktop/sound.h"
#include "net/invitetls.h"
#include "net/socket.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
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
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using namespace tarnivel;

namespace {

constexpr int Copies = 11;
constexpr int MeshRounds = 5;
const QByteArray InviteKey = QByteArray::fromHex("be4c4be4c4be4c4be4c4be4c4be4c4be4c4");
constexpr int HandshakeRounds = 200;
constexpr int AlternatingChunk = 50;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

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
    const auto at = [&values](double q) {
        return values[std::min(values.size() - 1, size_t(q * double(values.size())))];
    };
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

// Eleven idle copies, each knowing its address, from loopback(first) on; with the invite key or not.
template <typename Copy>
std::vector<std::unique_ptr<Copy>> makeCopies(int first, bool keyed)
{
    std::vector<std::unique_ptr<Copy>> copies;
    for (int n = first; n < first + Copies; ++n) {
        copies.push_back(std::make_unique<Copy>(n, QStringLiteral("人%1").arg(n)));
        copies.back()->dialup.value = copies.back()->address();
        if (keyed && !copies.back()->session().inviteKey().set(InviteKey))
            std::printf("could not set the invite key\n");
    }
    return copies;
}

// ---- (e) one connection, plain or inside TLS ---------------------------------------------

// CPU milliseconds per connection made and greeted with one byte, both ends in this process.
double cpuPerConnection(bool keyed)
{
    SocketContext context(test::loopback(60));
    context.setInviteKey(keyed ? InviteKeyMode::Set : InviteKeyMode::None, invitetls::derivePsk(InviteKey));
    Socket listener(context);
    listener.setLocalPort(0);
    if (!listener.listen())
        return -1;
    Socket accepted(context);
    Socket dialled(context);
    QObject::connect(&listener, &Socket::connectionRequest, [&accepted](int id) { accepted.accept(id); });
    bool arrived = false;
    QObject::connect(&accepted, &Socket::dataArrival, [&arrived](const QByteArray &) { arrived = true; });
    QObject::connect(&dialled, &Socket::connected, [&dialled] { dialled.sendData("\x02"); });
    const double start = cpuMs();
    for (int i = 0; i < HandshakeRounds; ++i) {
        arrived = false;
        dialled.connectToRemote(test::loopbackText(60), listener.localPort());
        if (!bench::runUntil([&arrived] { return arrived; }))
            return -1;
        dialled.close();
        accepted.close();
    }
    return (cpuMs() - start) / HandshakeRounds;
}

// ---- (f) memory per copy, in a process of its own ----------------------------------------

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The child's part: eleven headless copies form the mesh; prints KiB per copy.
int measureMemory(bool keyed)
{
    settle();
    const qint64 before = residentKiB();
    auto copies = makeCopies<test::TestCopy>(1, keyed);
    for (int n = 1; n < Copies; ++n) {
        copies[n]->joinThrough(copies[n * 3 / 4]->address());
        if (!bench::runUntil([&] { return copies[n]->namedMemberCount() == n; }))
            return 2;
    }
    if (!bench::runUntil([&] {
            return std::all_of(copies.begin(), copies.end(),
                               [](auto &c) { return c->namedMemberCount() == Copies - 1; });
        }))
        return 2;
    // A line to everyone, so every connection has carried its records both ways.
    copies[0]->say(QStringLiteral("メモリ"));
    bench::runUntil([&] { return copies[Copies - 1]->logText().contains(QStringLiteral("メモリ")); });
    settle();
    std::printf("%lld\n", (residentKiB() - before) / Copies);
    return 0;
}

qint64 memoryPerCopy(const QString &program, bool keyed)
{
    QProcess child;
    child.start(program, {QStringLiteral("--memory"), keyed ? QStringLiteral("keyed") : QStringLiteral("plain")});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLongLong();
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
    if (argc > 2 && QByteArray(argv[1]) == "--memory")
        return measureMemory(QByteArray(argv[2]) == "keyed");
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    if (lines < 1) {
        std::printf("usage: bench_mesh [lines]   (lines at least 1)\n");
        return 2;
    }

    // (a) Each round starts from eleven idle copies; the windows are made before the clock
    // runs. Plain and keyed rounds alternate, the keyed copies on addresses of their own.
    std::vector<double> meshTimes;
    std::vector<double> keyedMeshTimes;
    std::vector<std::unique_ptr<test::WindowCopy>> copies;
    std::vector<std::unique_ptr<test::WindowCopy>> keyedCopies;
    for (int round = 0; round < MeshRounds; ++round) {
        for (const bool keyed : {false, true}) {
            auto &these = keyed ? keyedCopies : copies;
            these.clear();
            settle();
            these = makeCopies<test::WindowCopy>(keyed ? 21 : 1, keyed);
            settle();
            const double ms = formMesh(these);
            if (ms < 0) {
                std::printf("(a) round %d: the %s mesh did not form\n", round + 1, keyed ? "keyed" : "plain");
                return 2;
            }
            (keyed ? keyedMeshTimes : meshTimes).push_back(ms);
        }
    }
    const Figures mesh = figuresOf(meshTimes);
    const Figures keyedMesh = figuresOf(keyedMeshTimes);
    const bool meshFast = mesh.max < 1000.0;
    const bool keyedMeshFast = keyedMesh.max < 1000.0 && keyedMesh.median <= 3 * mesh.median;
    std::printf("(a) eleven-copy mesh formed in: median %.1f ms, worst %.1f ms over %d rounds  %s (target < 1000 ms)\n",
                mesh.median, mesh.max, MeshRounds, verdict(meshFast));
    std::printf("    keyed (TLS): median %.1f ms, worst %.1f ms: %.2fx plain  %s (target < 1000 ms, <= 3x)\n",
                keyedMesh.median, keyedMesh.max, keyedMesh.median / mesh.median, verdict(keyedMeshFast));
    for (auto &c : keyedCopies)
        c->window().hide();

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

    // (d) Both meshes shown again, lines alternating between them a chunk at a time.
    for (auto *these : {&copies, &keyedCopies}) {
        for (auto &c : *these)
            c->window().show();
    }
    settle();
    std::vector<double> plainShown;
    std::vector<double> keyedShown;
    for (int done = 0; done < lines; done += AlternatingChunk) {
        const int chunk = std::min(AlternatingChunk, lines - done);
        for (const bool keyed : {false, true}) {
            const std::vector<double> some = meshLatencies(keyed ? keyedCopies : copies, chunk);
            (keyed ? keyedShown : plainShown).insert((keyed ? keyedShown : plainShown).end(), some.begin(), some.end());
        }
    }
    if (int(plainShown.size()) != lines || int(keyedShown.size()) != lines) {
        std::printf("(d) incomplete\n");
        return 2;
    }
    const Figures dp = figuresOf(plainShown);
    const Figures dk = figuresOf(keyedShown);
    const bool keyedLineOk = dk.median <= 1.2 * dp.median;
    std::printf("(d) a line to ten members, windows shown, alternating (microseconds):\n");
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "plain", dp.median, dp.p99, dp.max);
    std::printf("    %-30s %10.1f %10.1f %10.1f\n", "keyed (TLS)", dk.median, dk.p99, dk.max);
    std::printf("    keyed/plain: median %.2fx  %s (target <= 1.2x), p99 %.2fx\n", dk.median / dp.median,
                verdict(keyedLineOk), dk.p99 / dp.p99);
    copies.clear();
    keyedCopies.clear();
    settle();

    // (e) and (f)
    const double plainCpu = cpuPerConnection(false);
    const double keyedCpu = cpuPerConnection(true);
    std::printf(
        "(e) CPU per connection made and greeted, both ends: plain %.3f ms, keyed %.3f ms: the handshake %.3f ms\n",
        plainCpu, keyedCpu, keyedCpu - plainCpu);
    const QString self = QCoreApplication::applicationFilePath();
    const qint64 plainMemory = memoryPerCopy(self, false);
    const qint64 keyedMemory = memoryPerCopy(self, true);
    std::printf("(f) memory per copy with ten members (headless): plain %lld KiB, keyed %lld KiB (+%lld KiB)\n",
                plainMemory, keyedMemory, keyedMemory - plainMemory);
    return meshFast && medianOk && p99Ok && floorOk && keyedMeshFast && keyedLineOk ? 0 : 1;
}
