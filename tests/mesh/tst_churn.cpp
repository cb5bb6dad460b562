// Eleven copies in one process come and go: from a fixed seed, copies join through random
// members, disconnect, quit and start again. After every round settles, each copy is
// connected to exactly the copies the round leaves in its chat, its lists and title say so,
// nobody is stuck connecting, and a line to everyone reaches every member exactly once.

#include "testaccess.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <memory>
#include <vector>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

constexpr int Copies = 11;
constexpr int Rounds = 80;
constexpr int SettleMs = 15000;

QString nameOf(int i)
{
    return QStringLiteral("c%1").arg(i);
}

// The addresses a copy holds connected chat sockets to.
QSet<QString> connectedAddresses(TestCopy &c)
{
    QSet<QString> result;
    for (const Socket *s : TestAccess::mesh(c.session()).roster().connectedSockets())
        result.insert(s->remoteHostIP());
    return result;
}

} // namespace

class TestChurn : public QObject
{
    Q_OBJECT
private slots:
    void copiesComeAndGo();

private:
    QString settledProblem(int round) const;

    std::vector<std::unique_ptr<TestCopy>> m_copies{Copies};
    QSet<int> m_chat; // the copies meant to be in the one chat (never a single copy)
};

QString TestChurn::settledProblem(int round) const
{
    for (int i = 0; i < Copies; ++i) {
        TestCopy *c = m_copies[i].get();
        if (!c)
            continue;
        QSet<QString> expected;
        if (m_chat.contains(i)) {
            for (int j : m_chat) {
                if (j != i)
                    expected.insert(m_copies[j]->address());
            }
        }
        const QString where = QStringLiteral("round %1, %2: ").arg(round).arg(nameOf(i));
        if (connectedAddresses(*c) != expected)
            return where
                + QStringLiteral("connected to %1, expected %2")
                      .arg(QStringList(connectedAddresses(*c).values()).join(u','),
                           QStringList(expected.values()).join(u','));
        if (c->namedMemberCount() != expected.size())
            return where + QStringLiteral("%1 named members").arg(c->namedMemberCount());
        QStringList names = c->members();
        QStringList expectedNames;
        for (int j : m_chat) {
            if (j != i && m_chat.contains(i))
                expectedNames << nameOf(j);
        }
        names.sort();
        expectedNames.sort();
        if (names != expectedNames)
            return where + QStringLiteral("lists %1").arg(names.join(u','));
        const QString title = expected.isEmpty() ? QStringLiteral("たるにべ - 未接続")
                                                 : QStringLiteral("たるにべ - %1人接続済").arg(expected.size());
        if (c->title() != title)
            return where + QStringLiteral("title %1").arg(c->title());
    }
    return {};
}

void TestChurn::copiesComeAndGo()
{
    for (int i = 0; i < Copies; ++i) {
        m_copies[i] = std::make_unique<TestCopy>(i + 1, nameOf(i));
        m_copies[i]->togglePeerColumn();
    }
    QRandomGenerator random(7);
    int joins = 0;
    int leaves = 0;
    int restarts = 0;
    for (int round = 1; round <= Rounds; ++round) {
        const int i = int(random.bounded(Copies));
        if (!m_copies[i]) {
            m_copies[i] = std::make_unique<TestCopy>(i + 1, nameOf(i));
            m_copies[i]->togglePeerColumn();
            ++restarts;
        } else if (!m_chat.contains(i)) {
            // Join through a random member, or through any idle copy when there is no chat.
            QList<int> through = m_chat.values();
            if (through.isEmpty()) {
                for (int j = 0; j < Copies; ++j) {
                    if (j != i && m_copies[j])
                        through << j;
                }
            }
            if (through.isEmpty())
                continue;
            std::sort(through.begin(), through.end());
            const int j = through.at(int(random.bounded(int(through.size()))));
            m_copies[i]->joinThrough(m_copies[j]->address());
            m_chat << i << j;
            ++joins;
        } else {
            if (random.bounded(2) == 0)
                m_copies[i]->session().disconnect();
            else
                m_copies[i].reset(); // quits: the close box
            m_chat.remove(i);
            if (m_chat.size() == 1)
                m_chat.clear(); // the last one left is alone again
            ++leaves;
        }

        QString problem;
        const bool settled = QTest::qWaitFor([&] { return (problem = settledProblem(round)).isEmpty(); }, SettleMs);
        QVERIFY2(settled, qPrintable(problem));

        // A line to everyone reaches every member once.
        if (m_chat.isEmpty())
            continue;
        QList<int> members = m_chat.values();
        std::sort(members.begin(), members.end());
        const int speaker = members.at(int(random.bounded(int(members.size()))));
        const QString line = QStringLiteral("%1> 第%2回").arg(nameOf(speaker)).arg(round);
        m_copies[speaker]->say(QStringLiteral("第%1回").arg(round));
        for (int j : members)
            QTRY_COMPARE_WITH_TIMEOUT(m_copies[j]->logText().count(line + u'\n'), 1, SettleMs);
        QTest::qWait(50);
        for (int j : members)
            QCOMPARE(m_copies[j]->logText().count(line + u'\n'), 1);
    }
    qInfo("%d rounds: %d joins, %d leaves, %d restarts", Rounds, joins, leaves, restarts);
}

QTEST_MAIN(TestChurn)
#include "tst_churn.moc"
