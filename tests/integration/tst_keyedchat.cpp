// Copies that share an invite key chat inside TLS, while copies without it (or with another)
// are refused and learn nothing; the window shows and changes the key. Starts openssl
// s_client and a shell as processes.

#include "model/invitekey.h"
#include "model/invitekeyfile.h"
#include "net/invitetls.h"
#include "text/codepage932.h"
#include "rawpeer.h"
#include "tcprelay.h"
#include "testaccess.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/invitekeydialog.h"
#include "ui/keyedindicator.h"
#include "ui/mainwindow.h"
#include "ui/myipdialog.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

const QByteArray KeyA = QByteArray::fromHex("0001f2e3d4c5b6a79881706152433425160f");
const QByteArray KeyB = QByteArray::fromHex("ff01f2e3d4c5b6a79881706152433425160f");
const QString KeyedLine = QStringLiteral(" ●招待キーの違う相手からの接続を断りました: %1");
const QString MismatchLine = QStringLiteral(" ●%1 とは招待キーが合わないので接続できません");

QString iniPath(CopyBase &copy)
{
    return copy.session().programFile(QStringLiteral("tarnivel.ini"));
}

// A copy bound to loopback(n), with that key (empty: none).
std::unique_ptr<TestCopy> keyedCopy(int n, const QString &name, const QByteArray &key)
{
    auto copy = std::make_unique<TestCopy>(n, name);
    if (!key.isEmpty() && !copy->session().inviteKey().set(key))
        return nullptr;
    return copy;
}

// Nothing listens on address:port: a connection is refused at once.
bool refused(const QString &address, quint16 port)
{
    QTcpSocket socket;
    socket.bind(loopback(9), 0);
    socket.connectToHost(address, port);
    return QTest::qWaitFor([&] { return socket.error() == QAbstractSocket::ConnectionRefusedError; }, WaitMs);
}

bool joinedAll(const std::vector<std::unique_ptr<TestCopy>> &copies, int each)
{
    return QTest::qWaitFor(
        [&] {
            return std::all_of(copies.begin(), copies.end(), [each](const auto &c) {
                return c->connectionCount() == each && c->namedMemberCount() == each;
            });
        },
        WaitMs);
}

// Every way the text may carry a secret: as sent on the wire, and as the program holds it.
bool carries(const QByteArray &bytes, const QString &text)
{
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return bytes.contains(cp932::encode(text)) || bytes.contains(text.toUtf8()) || bytes.contains(utf16);
}

} // namespace

class TestKeyedChat : public QObject
{
    Q_OBJECT
private slots:
    void theWindowShowsAndChangesTheKey();
    void anUnreadableKeyStopsEveryConnection_data();
    void anUnreadableKeyStopsEveryConnection();
    void refusals_data();
    void refusals();
    void theWireCarriesNothingReadable();
    void opensslClientGreetsAKeyedCopy();
    void elevenKeyedCopiesFormTheMesh();
};

void TestKeyedChat::theWindowShowsAndChangesTheKey()
{
    WindowCopy copy(1, QStringLiteral("K"));
    MainWindow &window = copy.window();
    const QString ini = iniPath(copy);
    const QString title = copy.title();
    auto *indicator = control<QLineEdit>(window, "txtInput")->findChild<KeyedIndicator *>();
    QVERIFY(indicator && indicator->isHidden());
    // Never hidden behind the window: out of the always-on-top layer while the dialog is open.
    window.session().setAlwaysOnTop(true);
    window.applyTopmost();
    const auto openDialog = [&window] {
        findAction(window, QStringLiteral("mnInviteKey"))->trigger();
        return window.findChild<InviteKeyDialog *>();
    };
    InviteKeyDialog *dialog = openDialog();
    QVERIFY(dialog && dialog->isModal() && !window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto *paste = control<QLineEdit>(*dialog, "txtPasteKey");

    // A text that is no key is told why, and nothing is saved; a key is saved and in force at
    // once, the title as it was.
    paste->setText(inviteKeyText(KeyA).chopped(1));
    control<QPushButton>(*dialog, "cmdUseKey")->click();
    QCOMPARE(control<QLabel>(*dialog, "lblKeyMessage")->text(), inviteKeyProblemText(readInviteKeyText(paste->text())));
    QCOMPARE(readStoredInviteKey(ini).state, StoredInviteKey::State::None);
    paste->setText(inviteKeyText(KeyA).toLower());
    control<QPushButton>(*dialog, "cmdUseKey")->click();
    QCOMPARE(readStoredInviteKey(ini).key, KeyA);
    QVERIFY(indicator->isVisible() && indicator->text() == QStringLiteral("暗号化"));
    window.resize(window.width() + 40, window.height());
    QTRY_COMPARE(indicator->geometry().right(), control<QLineEdit>(window, "txtInput")->width() - 1);
    QCOMPARE(copy.title(), title);
    control<QPushButton>(*dialog, "cmdNewKey")->click();
    const StoredInviteKey made = readStoredInviteKey(ini);
    QVERIFY(made.state == StoredInviteKey::State::Set && made.key != KeyA);
    QCOMPARE(control<QLineEdit>(*dialog, "txtInviteKey")->text(), inviteKeyText(made.key));
    dialog->reject();
    QTRY_VERIFY(!window.findChild<InviteKeyDialog *>() && window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // The own-address dialog says so.
    bool said = false;
    whenModal<MyIpDialog>([&said](MyIpDialog *ipDialog) {
        said = control<QLabel>(*ipDialog, "lblInviteKey")->isVisible();
        ipDialog->accept();
    });
    findAction(window, QStringLiteral("mnShoIP"))->trigger();
    QTRY_VERIFY(said);

    // Removed: plain again. The dialog reads the file when it opens: a key put there is in force.
    control<QPushButton>(*openDialog(), "cmdRemoveKey")->click();
    QCOMPARE(readStoredInviteKey(ini).state, StoredInviteKey::State::None);
    QVERIFY(indicator->isHidden());
    window.findChild<InviteKeyDialog *>()->reject();
    QTRY_VERIFY(!window.findChild<InviteKeyDialog *>());
    // The own-address dialog opens again, and says nothing of a key now.
    bool unsaid = false;
    whenModal<MyIpDialog>([&unsaid](MyIpDialog *ipDialog) {
        unsaid = !control<QLabel>(*ipDialog, "lblInviteKey")->isVisible();
        ipDialog->accept();
    });
    findAction(window, QStringLiteral("mnShoIP"))->trigger();
    QTRY_VERIFY(unsaid);
    QVERIFY(storeInviteKey(ini, KeyB));
    QCOMPARE(control<QLineEdit>(*openDialog(), "txtInviteKey")->text(), inviteKeyText(KeyB));
    QVERIFY(indicator->isVisible());
    for (const QByteArray &key : {KeyA, KeyB, made.key}) // the key went nowhere but the file
        QVERIFY(!copy.logText().contains(inviteKeyText(key)));
}

void TestKeyedChat::anUnreadableKeyStopsEveryConnection_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("permissions");

    const int ownerOnly = int(QFile::ReadOwner | QFile::WriteOwner);
    QTest::newRow("a key others may read") << inviteKeyText(KeyA) << int(ownerOnly | QFile::ReadOther);
    QTest::newRow("a damaged key") << inviteKeyText(KeyA).left(20) << ownerOnly;
}

void TestKeyedChat::anUnreadableKeyStopsEveryConnection()
{
    QFETCH(QString, stored);
    QFETCH(int, permissions);

    TestCopy plain(2, QStringLiteral("Plain"));
    TestCopy copy(1, QStringLiteral("K"));
    QVERIFY(copy.session().inviteKey().set(KeyA));
    QCOMPARE(QFile::permissions(iniPath(copy)) & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
    QSettings(iniPath(copy), QSettings::IniFormat).setValue(QStringLiteral("invite/key"), stored);
    QVERIFY(QFile::setPermissions(iniPath(copy), QFile::Permissions(permissions)));

    for (int i = 0; i < 2; ++i) // said once
        copy.session().inviteKey().reload();
    QCOMPARE(copy.session().inviteKey().state(), StoredInviteKey::State::Unreadable);
    QCOMPARE(copy.logText().count(QStringLiteral("招待キーを読めない")), 1);
    // Nothing listens, and nothing is dialled: not even in the clear.
    QVERIFY(refused(copy.address(), ChatPort));
    QVERIFY(refused(copy.address(), JoinPort));
    copy.joinThrough(plain.address());
    QTRY_VERIFY(copy.logText().contains(QStringLiteral(" ●エラー\nPermission denied")));
    QVERIFY(!plain.logText().contains(QStringLiteral("接続要求")));
    QCOMPARE(plain.connectionCount(), 0);

    // Removing the key brings the plain copy back.
    QVERIFY(copy.session().inviteKey().remove());
    QCOMPARE(copy.session().inviteKey().state(), StoredInviteKey::State::None);
    plain.joinThrough(copy.address());
    QTRY_COMPARE_WITH_TIMEOUT(copy.connectionCount(), 1, WaitMs);
}

void TestKeyedChat::refusals_data()
{
    QTest::addColumn<QByteArray>("answererKey"); // empty: plain
    QTest::addColumn<QString>("caller");         // "copy", or a raw peer: "hello", "probe", "stall"
    QTest::addColumn<QByteArray>("callerKey");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("members");               // the caller's connections in the end
    QTest::addColumn<QStringList>("answererLines"); // %1: the caller's address
    QTest::addColumn<QStringList>("callerLines");   // %1: the answerer's address

    const QStringList none;
    // A caller that keeps asking is named once a minute.
    QTest::newRow("same key: the chat forms") << KeyA << "copy" << KeyA << 1 << 2 << none << none;
    QTest::newRow("a plain copy asks a keyed one") << KeyA << "copy" << QByteArray() << 2 << 0 << QStringList{KeyedLine}
                                                   << QStringList{QStringLiteral(" ●エラー")};
    QTest::newRow("another key asks a keyed copy")
        << KeyA << "copy" << KeyB << 2 << 0 << QStringList{KeyedLine}
        << QStringList{MismatchLine, QStringLiteral(" ●エラー\nConnection is forcefully rejected")};
    QTest::newRow("a keyed copy asks a plain one")
        << QByteArray() << "copy" << KeyA << 1 << 0 << QStringList{QStringLiteral(" ●エラー")}
        << QStringList{MismatchLine};
    QTest::newRow("a plain Hello on the chat port")
        << KeyA << "hello" << QByteArray() << 1 << 0 << QStringList{KeyedLine} << none;
    QTest::newRow("a probe that sends nothing") << KeyA << "probe" << QByteArray() << 1 << 0 << none << none;
    QTest::newRow("a handshake that stalls")
        << KeyA << "stall" << QByteArray() << 1 << 0 << QStringList{KeyedLine} << none;
}

void TestKeyedChat::refusals()
{
    QFETCH(QByteArray, answererKey);
    QFETCH(QString, caller);
    QFETCH(QByteArray, callerKey);
    QFETCH(int, attempts);
    QFETCH(int, members);
    QFETCH(QStringList, answererLines);
    QFETCH(QStringList, callerLines);

    // The answerer is in a chat with Carol, whose name and address nobody refused may learn.
    auto answerer = keyedCopy(1, QStringLiteral("Alice"), answererKey);
    auto carol = keyedCopy(3, QStringLiteral("Carol"), answererKey);
    QVERIFY(answerer && carol);
    answerer->dialup.value = answerer->address();
    TestAccess::socketContext(answerer->session()).setHandshakeTimeoutMs(1000);
    carol->joinThrough(answerer->address());
    QTRY_COMPARE_WITH_TIMEOUT(answerer->namedMemberCount(), 1, WaitMs);
    const QString answererLogBefore = answerer->logText();

    const QString callerAddress = loopbackText(2);
    std::unique_ptr<TestCopy> copy;
    if (caller == QLatin1String("copy")) {
        copy = keyedCopy(2, QStringLiteral("Dave"), callerKey);
        QVERIFY(copy);
        for (int attempt = 0; attempt < attempts; ++attempt) {
            if (attempt > 0)
                QTest::qWait(100); // well apart: only the minute's rule keeps the second unsaid
            copy->joinThrough(answerer->address());
            QTRY_VERIFY_WITH_TIMEOUT(copy->session().mesh().state() != MeshState::Connecting, WaitMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(copy->connectionCount(), members, WaitMs);
    } else {
        std::unique_ptr<RawPeer> raw = dial(2, answerer->address(), ChatPort);
        QVERIFY(raw);
        const QByteArray opening = caller == QLatin1String("hello") ? QByteArray("\x02"
                                                                                 "Dave")
            : caller == QLatin1String("stall")                      ? QByteArray("\x16\x03\x01")
                                                                    : QByteArray();
        if (opening.isEmpty())
            raw->socket().disconnectFromHost();
        else
            raw->send(opening);
        QVERIFY(opening.isEmpty() || raw->waitHungUp());
        QCOMPARE(raw->received, QByteArray());
        // The listener still serves: a Hello after it is refused at once.
        std::unique_ptr<RawPeer> next = dial(4, answerer->address(), ChatPort);
        QVERIFY(next);
        next->send("\x02"
                   "Eve");
        QVERIFY(next->waitHungUp());
        QTRY_VERIFY(answerer->logText().contains(KeyedLine.arg(loopbackText(4))));
    }

    // Each line once, and nothing else naming the caller.
    const auto newLog = [&] {
        return answerer->logText().mid(answererLogBefore.size());
    };
    for (const QString &line : answererLines)
        QTRY_COMPARE(newLog().count(QString(line).replace(QLatin1String("%1"), callerAddress)), 1);
    if (members == 0)
        QCOMPARE(newLog().count(callerAddress), answererLines.filter(QStringLiteral("%1")).size());
    if (copy) {
        for (const QString &line : callerLines)
            QVERIFY(copy->logText().contains(QString(line).replace(QLatin1String("%1"), answerer->address())));
        if (members == 0) {
            // Refused: nobody learnt a name or an address of the other side.
            for (const QString &secret : {QStringLiteral("Alice"), QStringLiteral("Carol"), carol->address()})
                QVERIFY2(!copy->logText().contains(secret), qPrintable(secret));
            QVERIFY(!answerer->logText().contains(QStringLiteral("Dave")));
            QVERIFY(!carol->logText().contains(callerAddress));
        }
    }
    QCOMPARE(answerer->namedMemberCount(), 1 + (members > 0 ? 1 : 0));
}

void TestKeyedChat::theWireCarriesNothingReadable()
{
    // Bob reaches Alice through relays that record every byte both ways; Carol is Alice's
    // member, so the peer list Bob is sent names her.
    auto alice = keyedCopy(1, QStringLiteral("あきら"), KeyA);
    auto carol = keyedCopy(3, QStringLiteral("Carol"), KeyA);
    auto bob = keyedCopy(2, QStringLiteral("Bob"), KeyA);
    QVERIFY(alice && carol && bob);
    carol->joinThrough(alice->address());
    QTRY_COMPARE_WITH_TIMEOUT(alice->namedMemberCount(), 1, WaitMs);
    const QHostAddress relayAddress = loopback(5);
    TcpRelay join(relayAddress, QHostAddress(alice->address()), JoinPort, 0, JoinPort, loopback(2));
    TcpRelay chat(relayAddress, QHostAddress(alice->address()), ChatPort, 0, ChatPort, loopback(2));
    QVERIFY(join.listening() && chat.listening());

    bob->joinThrough(relayAddress.toString());
    QTRY_COMPARE_WITH_TIMEOUT(bob->namedMemberCount(), 2, WaitMs);
    const QString fromBob = QStringLiteral("ひみつの計画は月曜に");
    const QString fromAlice = QStringLiteral("了解、secret plan");
    bob->say(fromBob);
    QTRY_VERIFY(alice->logText().contains(fromBob));
    alice->say(fromAlice);
    QTRY_VERIFY(bob->logText().contains(fromAlice));

    const QByteArray wire = join.fromClients + join.fromTargets + chat.fromClients + chat.fromTargets;
    QVERIFY(chat.fromClients.startsWith("\x16\x03") && join.fromClients.startsWith("\x16\x03"));
    QVERIFY(chat.fromClients.size() > 200 && chat.fromTargets.size() > 200);
    for (const QString &secret :
         {fromBob, QStringLiteral("ひみつ"), fromAlice, QStringLiteral("secret"), QStringLiteral("あきら"),
          QStringLiteral("Bob"), QStringLiteral("Carol"), carol->address(), QString::fromLatin1(invitetls::PskLabel)})
        QVERIFY2(!carries(wire, secret), qPrintable(secret));
    QVERIFY(!wire.contains(invitetls::derivePsk(KeyA)) && !wire.contains(KeyA));
}

void TestKeyedChat::opensslClientGreetsAKeyedCopy()
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        QSKIP("openssl is not installed: apt install openssl");
    auto copy = keyedCopy(1, QStringLiteral("あきら"), KeyA);
    QVERIFY(copy);

    // The PSK from the key's text as the README derives it: base32 by coreutils, HKDF by OpenSSL.
    QProcess kdf;
    kdf.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("KEY='%1'\n").arg(inviteKeyText(KeyA).toLower()) + QStringLiteral(R"(
        HEX=$(printf %s "$KEY" | tr -d ' -' | tr a-z A-Z | tr ILO 110 | tr 0-9A-HJKMNP-TV-Z A-Z2-7 \
              | base32 -d | head -c 18 | od -An -tx1 | tr -d ' \n')
        openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt hexkey:$HEX -kdfopt info:tarnivel-invite-psk-v1 HKDF | tr -d :)")});
    QVERIFY(kdf.waitForFinished(WaitMs));
    const QString psk = QString::fromLatin1(kdf.readAllStandardOutput().trimmed());
    QCOMPARE(QByteArray::fromHex(psk.toLatin1()), invitetls::derivePsk(KeyA));

    QProcess client;
    client.start(
        openssl,
        QStringLiteral(
            "s_client -connect %1:3220 -tls1_2 -cipher %2 -psk_identity %3 -psk %4 -brief -ign_eof -nocommands")
            .arg(copy->address(), QString::fromLatin1(invitetls::CipherSuite),
                 QString::fromLatin1(invitetls::PskIdentity), psk)
            .split(u' '));
    QVERIFY(client.waitForStarted(WaitMs));
    client.write("\x02openssl");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT(
        (received += client.readAllStandardOutput()).contains("\x03" + cp932::encode(QStringLiteral("あきら"))),
        WaitMs);
    QVERIFY(copy->logText().contains(QStringLiteral(" ●openssl と接続されました。")));
    client.write(cp932::encode(QStringLiteral("openssl> こんにちは\r\n")));
    QTRY_VERIFY(copy->logText().contains(QStringLiteral("openssl> こんにちは")));
    const QByteArray said = client.readAllStandardError();
    QVERIFY2(said.contains("Protocol version: TLSv1.2") && said.contains("Ciphersuite: ECDHE-PSK-CHACHA20-POLY1305"),
             said.constData());
    client.kill();
    client.waitForFinished(WaitMs);
    QTRY_VERIFY(copy->logText().contains(QStringLiteral(" ●openssl との接続が断たれました。")));
}

void TestKeyedChat::elevenKeyedCopiesFormTheMesh()
{
    std::vector<std::unique_ptr<TestCopy>> copies;
    for (int n = 1; n <= 11; ++n) {
        copies.push_back(keyedCopy(n, QStringLiteral("鍵%1").arg(n), KeyA));
        QVERIFY(copies.back());
        if (n > 1)
            copies.back()->joinThrough(copies[(n * 7) % (n - 1)]->address());
        QTRY_COMPARE_WITH_TIMEOUT(copies.back()->connectionCount(), n - 1, WaitMs);
    }
    QVERIFY(joinedAll(copies, 10));
    copies[4]->say(QStringLiteral("全員に届く？"));
    for (auto &c : copies)
        QTRY_COMPARE(c->logText().count(QStringLiteral("鍵5> 全員に届く？")), 1);

    // One leaves; a newcomer takes its place through another member.
    copies[7]->close();
    for (auto &c : copies) {
        if (c != copies[7])
            QTRY_VERIFY(c->logText().contains(QStringLiteral(" ●鍵8 との接続が断たれました。")));
    }
    copies[7] = keyedCopy(12, QStringLiteral("新入り"), KeyA);
    QVERIFY(copies[7]);
    copies[7]->joinThrough(copies[2]->address());
    QVERIFY(joinedAll(copies, 10));
}

QTEST_MAIN(TestKeyedChat)
#include "tst_keyedchat.moc"
