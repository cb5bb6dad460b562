// The invite key's text as people pass it on: what reads as a key, and what is refused and why.

#include "model/invitekey.h"

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
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("told"); // part of what the user is told

    const QString tail = KeyAText.mid(4);
    QString fullWidth; // as an IME types it, one hyphen a dash
    for (const QChar c : KeyAText)
        fullWidth += c == u'-' ? QChar(fullWidth.size() < 5 ? u'\x2010' : u'ー') : QChar(c.unicode() - 0x20 + 0xFF00);
    const int none = int(InviteKeyProblem::None);
    const int mistyped = int(InviteKeyProblem::Mistyped);
    const int length = int(InviteKeyProblem::WrongLength);
    const int foreign = int(InviteKeyProblem::BadCharacter);

    QTest::newRow("as shown") << KeyAText << none << QString();
    QTest::newRow("lower case, blanks, no hyphens")
        << QStringLiteral(" 000z5rym \t rpvaf641e1gn4gsm4mb0zq63\n") << none << QString();
    QTest::newRow("I, L and O read as 1, 1 and 0")
        << QStringLiteral("OoOz-5rym-rpva-f64l-e1gn-4gsm-4mbo-zq63") << none << QString();
    QTest::newRow("full width, from an IME") << fullWidth << none << QString();
    QTest::newRow("empty") << QString() << int(InviteKeyProblem::Empty) << QStringLiteral("貼り付けて");
    QTest::newRow("only hyphens and blanks")
        << QStringLiteral(" - -\t") << int(InviteKeyProblem::Empty) << QStringLiteral("貼り付けて");
    QTest::newRow("one character mistyped")
        << QStringLiteral("000Z-57YM") + tail.mid(5) << mistyped << QStringLiteral("打ち間違い");
    QTest::newRow("two neighbours swapped")
        << QStringLiteral("00Z0") + tail << mistyped << QStringLiteral("打ち間違い");
    QTest::newRow("truncated") << KeyAText.chopped(1) << length << QStringLiteral("31文字");
    QTest::newRow("padded") << KeyAText + u'Z' << length << QStringLiteral("33文字");
    QTest::newRow("U is no base32 character") << QStringLiteral("000U") + tail << foreign << QStringLiteral("「U」");
    QTest::newRow("pasted with its quotes")
        << QStringLiteral("「%1」").arg(KeyAText) << foreign << QStringLiteral("「「」");
    QTest::newRow("a control character, shown as its symbol")
        << u'\x7' + KeyAText << foreign << QStringLiteral("「␇」");
}

void TestInviteKey::keyText()
{
    QFETCH(QString, text);
    QFETCH(int, problem);
    QFETCH(QString, told);

    const InviteKeyRead read = readInviteKeyText(text);
    QCOMPARE(int(read.problem), problem);
    QCOMPARE(read.key.value_or(QByteArray()), problem == int(InviteKeyProblem::None) ? KeyA : QByteArray());
    if (read.key)
        QCOMPARE(inviteKeyText(*read.key), KeyAText);
    QCOMPARE(inviteKeyProblemText(read).isEmpty(), told.isEmpty());
    QVERIFY2(inviteKeyProblemText(read).contains(told), qPrintable(inviteKeyProblemText(read)));
}

QTEST_GUILESS_MAIN(TestInviteKey)
#include "tst_invitekey.moc"
