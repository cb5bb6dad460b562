// The invite key's text as people pass it on: what reads as a key, and what is refused and why.

#include "model/invitekey.h"

#include <QRegularExpression>
#include <QtTest>

using namespace tarnivel;

namespace {
const QByteArray KeyA = QByteArray::fromHex("0001f2e3d4c5b6a79881706152433425160f");
const QString KeyAText = QStringLiteral("000Z-5RYM-RPVA-F641-E1GN-4GSM-4MB0-ZQ63"); // and CRC-16, in base32
} // namespace

class TestInviteKey : public QObject
{
    Q_OBJECT
private slots:
    void keyText_data();
    void keyText();
};

void TestInviteKey::keyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("key"); // empty: no key
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("told"); // part of what the user is told

    const QString canonical = KeyAText;
    QString mistyped = canonical;
    mistyped[6] = mistyped[6] == u'7' ? u'8' : u'7';
    QString swapped = canonical;
    const int at = int(swapped.indexOf(QRegularExpression(QStringLiteral("(\\w)(?!\\1)\\w"))));
    std::swap(swapped[at], swapped[at + 1]);
    QString fullWidth;
    for (const QChar c : canonical)
        fullWidth += c == u'-' ? QChar(fullWidth.size() < 5 ? u'\x2010' : u'ー') : QChar(c.unicode() - 0x20 + 0xFF00);
    const int none = int(InviteKeyProblem::None);

    QTest::newRow("as shown") << canonical << KeyA << none << QString();
    QTest::newRow("lower case, blanks, no hyphens")
        << u' ' + canonical.toLower().remove(u'-').insert(8, QStringLiteral(" \t ")) + u'\n' << KeyA << none << QString();
    QTest::newRow("I, L and O read as 1, 1 and 0")
        << canonical.toLower().replace(u'1', u'l').replace(u'0', u'O') << KeyA << none << QString();
    QTest::newRow("full width, from an IME") << fullWidth << KeyA << none << QString();
    QTest::newRow("empty") << QString() << QByteArray() << int(InviteKeyProblem::Empty) << QStringLiteral("貼り付けて");
    QTest::newRow("only hyphens and blanks") << QStringLiteral(" - -\t") << QByteArray() << int(InviteKeyProblem::Empty)
                                             << QStringLiteral("貼り付けて");
    QTest::newRow("one character mistyped") << mistyped << QByteArray() << int(InviteKeyProblem::Mistyped)
                                            << QStringLiteral("打ち間違い");
    QTest::newRow("two neighbours swapped") << swapped << QByteArray() << int(InviteKeyProblem::Mistyped)
                                            << QStringLiteral("打ち間違い");
    QTest::newRow("truncated") << canonical.chopped(1) << QByteArray() << int(InviteKeyProblem::WrongLength)
                               << QStringLiteral("31文字");
    QTest::newRow("padded") << canonical + u'Z' << QByteArray() << int(InviteKeyProblem::WrongLength)
                            << QStringLiteral("33文字");
    QTest::newRow("U is no base32 character") << QString(canonical).replace(3, 1, u'U') << QByteArray()
                                              << int(InviteKeyProblem::BadCharacter) << QStringLiteral("「U」");
    QTest::newRow("pasted with its quotes") << QStringLiteral("「%1」").arg(canonical) << QByteArray()
                                            << int(InviteKeyProblem::BadCharacter) << QStringLiteral("「「」");
    QTest::newRow("a control character, shown as its symbol") << u'\x7' + canonical << QByteArray()
                                                               << int(InviteKeyProblem::BadCharacter) << QStringLiteral("「␇」");
}

void TestInviteKey::keyText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, key);
    QFETCH(int, problem);
    QFETCH(QString, told);

    const InviteKeyRead read = readInviteKeyText(text);
    QCOMPARE(int(read.problem), problem);
    QCOMPARE(read.key.value_or(QByteArray()), key);
    if (read.key)
        QCOMPARE(inviteKeyText(*read.key), KeyAText);
    QCOMPARE(inviteKeyProblemText(read).isEmpty(), told.isEmpty());
    QVERIFY2(inviteKeyProblemText(read).contains(told), qPrintable(inviteKeyProblemText(read)));
}

QTEST_GUILESS_MAIN(TestInviteKey)
#include "tst_invitekey.moc"
