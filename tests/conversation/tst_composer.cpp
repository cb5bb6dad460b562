// The typed line: which members it goes to, what the own log shows (the "To" line first), and that an Enter
// arriving while the line is being written does not send it twice.

#include "conversation/chatdelivery.h"
#include "conversation/chatlog.h"
#include "conversation/composer.h"
#include "fakes.h"
#include "fakeviews.h"
#include "model/preferences.h"
#include "desktop/sound.h"

#include <QTest>
#include <QTextDocument>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

// Records every write; members listed in `gone` have left by the time the line is written.
// Each write runs "the event loop", in which the user presses Enter once more. A deferred
// delivery reports a line as gone out only when the test says so.
class RecordingDelivery : public ChatDelivery
{
public:
    bool inChat() const override { return true; }
    void sendToAll(const QString &line, std::function<void()> sent) override
    {
        writes << QStringLiteral("all:") + line;
        pressEnterAgain();
        complete([sent] { sent(); });
    }
    void sendTo(const QList<MemberId> &members, const QString &line,
                std::function<void(const QStringList &)> sent) override
    {
        QStringList reached;
        for (const MemberId &id : members) {
            if (gone.contains(id.slot))
                continue;
            writes << QStringLiteral("%1:").arg(id.slot) + line;
            reached << QStringLiteral("m%1").arg(id.slot);
        }
        pressEnterAgain();
        complete([sent, reached] { sent(reached); });
    }
    std::optional<QString> memberAddress(const MemberId &) const override { return std::nullopt; }

    void complete(const std::function<void()> &done)
    {
        if (deferred)
            pending << done;
        else
            done();
    }

    void pressEnterAgain()
    {
        if (composer && !reentered) {
            reentered = true;
            composer->enterPressed();
        }
    }

    QStringList writes;
    QSet<int> gone;
    Composer *composer = nullptr;
    bool reentered = false;
    bool deferred = false;
    QList<std::function<void()>> pending;
};

} // namespace

class TestComposer : public QObject
{
    Q_OBJECT

private slots:
    void enterSendsOnce_data();
    void enterSendsOnce();
};

void TestComposer::enterSendsOnce_data()
{
    QTest::addColumn<bool>("showPeers");
    QTest::addColumn<bool>("sendToChosen");
    QTest::addColumn<QList<int>>("ticked"); // rows 0..2 are members in accepted slots 0..2
    QTest::addColumn<QList<int>>("gone");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("later"); // typed and sent before the first line has gone out: its echo

    const QString pub = QStringLiteral("太郎> やあ\r\n");
    const QString priv = QStringLiteral("\x01太郎（秘）: やあ\r\n");
    const QString privShown = QStringLiteral("太郎（秘）: やあ\n");
    QTest::newRow("to everyone") << true << false << QList<int>{1} << QList<int>{} << QStringList{"all:" + pub}
                                 << QStringLiteral("太郎> やあ\n") << QString();
    QTest::newRow("private, two ticked") << true << true << QList<int>{0, 2} << QList<int>{}
                                         << QStringList{"0:" + priv, "2:" + priv}
                                         << QStringLiteral("To : m0 : m2\n") + privShown << QString();
    QTest::newRow("private, one gone") << true << true << QList<int>{0, 2} << QList<int>{0} << QStringList{"2:" + priv}
                                       << QStringLiteral("To : m2\n") + privShown << QString();
    QTest::newRow("private, nobody reached")
        << true << true << QList<int>{1} << QList<int>{1} << QStringList{} << privShown << QString();
    // With the member column hidden the choice of members does not apply.
    QTest::newRow("column hidden") << false << true << QList<int>{1} << QList<int>{} << QStringList{"all:" + pub}
                                   << QStringLiteral("太郎> やあ\n") << QString();
    // The own line shows once it has gone out; lines still going out show in the order sent.
    QTest::newRow("to everyone, gone out later")
        << true << false << QList<int>{1} << QList<int>{} << QStringList{"all:" + pub} << QStringLiteral("太郎> やあ\n")
        << QStringLiteral("太郎> またね\n");
    QTest::newRow("private, gone out later")
        << true << true << QList<int>{0, 2} << QList<int>{} << QStringList{"0:" + priv, "2:" + priv}
        << QStringLiteral("To : m0 : m2\n") + privShown << QStringLiteral("To : m0 : m2\n太郎（秘）: またね\n");
}

void TestComposer::enterSendsOnce()
{
    QFETCH(bool, showPeers);
    QFETCH(bool, sendToChosen);
    QFETCH(QList<int>, ticked);
    QFETCH(QList<int>, gone);
    QFETCH(QStringList, writes);
    QFETCH(QString, log);
    QFETCH(QString, later);

    QTextDocument window;
    QTextDocument held;
    Preferences prefs;
    prefs.myName = QStringLiteral("太郎");
    prefs.showPeers = showPeers;
    RecordingSound sound;
    ChatLog chatLog(window, held, prefs, sound, QString());
    FakeViews views;
    for (int k = 0; k < 3; ++k)
        views.rows << Member{{ConnectionSide::Accepted, k}, QStringLiteral("m%1").arg(k), QString()};
    for (int row : ticked)
        views.ticked << row;
    views.sendToChosenChecked = sendToChosen;
    views.input = QStringLiteral("やあ");
    RecordingDelivery delivery;
    delivery.gone = QSet<int>(gone.begin(), gone.end());
    delivery.deferred = !later.isEmpty();
    Composer composer(delivery, chatLog, prefs, views);
    delivery.composer = &composer;

    composer.enterPressed();
    QCOMPARE(delivery.writes, writes);
    QVERIFY(views.input.isEmpty());
    if (delivery.deferred) {
        QCOMPARE(window.toPlainText(), QString());
        views.input = QStringLiteral("またね");
        composer.enterPressed();
        QCOMPARE(window.toPlainText(), QString());
        for (const auto &done : std::exchange(delivery.pending, {}))
            done();
    }
    QCOMPARE(window.toPlainText(), log + later);
}

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
