// Puts the main window (peer column hidden and shown, a few lines in the log, one of them
// private and one with an address) and every dialog on screen, and saves each as a PNG in
// the folder given as the argument. Under X11 the window manager's frame is included.
//
//   tarnivel-screenshots OUTPUT-FOLDER

#include "testcopy.h"
#include "ui/mainwindow.h"
#include "ui/aboutbox.h"
#include "ui/aboutmessages.h"
#include "ui/colourdialog.h"
#include "ui/connectdialog.h"
#include "ui/invitekeydialog.h"
#include "ui/myipdialog.h"
#include "ui/nearbywindow.h"
#include "ui/programicon.h"
#include "ui/splashwindow.h"
#include "ui/startup.h"

#include "desktop/clipboard.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <QTimer>
#include <cstdio>
#include <functional>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

QDir output;
int failures = 0;

// The window as it is on screen: with its frame where a window manager draws one.
void save(QWidget &window, const QString &name)
{
    window.show();
    window.raise();
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "screenshots: %s was never shown\n", qPrintable(name));
    QTest::qWait(400); // the window manager's frame and the first paint
    QPixmap shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QScreen *screen = window.screen();
        const QRect frame = window.frameGeometry();
        shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (shot.isNull())
        shot = window.grab();
    const QString path = output.filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// Waits for something the pictures need; a wait that runs out is reported and counted.
void waitFor(const std::function<bool()> &done, const char *what)
{
    if (!QTest::qWaitFor(done, 10000)) {
        std::fprintf(stderr, "screenshots: gave up waiting for %s\n", what);
        ++failures;
    }
}

// The main window with one of its menus open.
void saveMenu(MainWindow &window, const QString &menuName, const QString &name)
{
    auto *menu = window.findChild<QMenu *>(menuName);
    if (!menu) {
        std::fprintf(stderr, "screenshots: no menu %s\n", qPrintable(menuName));
        ++failures;
        return;
    }
    window.menuBar()->setActiveAction(menu->menuAction());
    QTest::qWait(400);
    QPixmap shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QRect area = window.frameGeometry().united(menu->geometry());
        shot = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    } else {
        shot = menu->grab();
    }
    menu->close();
    const QString path = output.filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void tick(QListWidget *list, const QString &name)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == name)
            list->item(row)->setCheckState(Qt::Checked);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnivel"));
    QApplication::setWindowIcon(programIcon());
    addJapaneseFontSubstitutes();
    loadQtJapaneseTranslations();
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarnivel-screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    if (!QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    output = QDir(QString::fromLocal8Bit(argv[1]));

    // Three copies in one chat; A is the one shown.
    WindowCopy a(1, QStringLiteral("あかね"));
    WindowCopy b(2, QStringLiteral("ぶんた"));
    WindowCopy c(3, QStringLiteral("ちはる"));
    b.joinThrough(a.address());
    waitFor([&] { return a.namedMemberCount() == 1; }, "B to join");
    c.joinThrough(a.address());
    waitFor([&] { return a.namedMemberCount() == 2 && b.namedMemberCount() == 2 && c.namedMemberCount() == 2; },
            "C to join");

    // Each line is in A's log before the next is typed, so that no two arrive in one read.
    b.say(QStringLiteral("こんにちは。今日の打ち合わせは三時からです。"));
    waitFor([&] { return a.logText().contains(QStringLiteral("三時から")); }, "B's line");
    c.say(QStringLiteral("資料は http://example.com/tarnivel/shiryou.html に置きました"));
    waitFor([&] { return a.logText().contains(QStringLiteral("shiryou")); }, "C's line");
    a.say(QStringLiteral("了解、ありがとう！"));
    // A private line from B to A.
    MainWindow &bw = b.window();
    bw.togglePeerColumn();
    bw.setSendToChosen(true);
    tick(bw.findChild<QListWidget *>(QStringLiteral("lbListChk")), a.name());
    b.say(QStringLiteral("あとで少し相談させてください。"));
    waitFor([&] { return a.logText().contains(QStringLiteral("相談させて")); }, "the private line");

    MainWindow &w = a.window();
    w.move(40, 40);
    w.resize(620, 400);
    save(w, QStringLiteral("main-column-hidden"));
    w.togglePeerColumn();
    a.session().composer().memberClicked(0); // shows the member's address below the list
    save(w, QStringLiteral("main-column-shown"));
    for (const char *menu : {"mnConList", "mnSetting", "mnTool"})
        saveMenu(w, QString::fromLatin1(menu), QStringLiteral("menu-") + QString::fromLatin1(menu));
    w.resize(10, 10); // held at the minimum
    save(w, QStringLiteral("main-minimum"));
    w.resize(620, 400);

    {
        ConnectDialog dialog(QStringLiteral("192.0.2.25"), &w);
        save(dialog, QStringLiteral("dialog-connect"));
    }
    {
        // Copies found on the network: two of this chat, and one elsewhere.
        w.nearbyCommand();
        emit a.lan.availabilityChanged(LanAvailability::Available);
        emit a.lan.found(FoundCopy{QStringLiteral("1"),
                                   QStringLiteral("ぶんた@desk-b"),
                                   QStringLiteral("desk-b.local"),
                                   QHostAddress(b.address()),
                                   3220,
                                   2,
                                   {}});
        emit a.lan.found(FoundCopy{QStringLiteral("2"),
                                   QStringLiteral("ちはる@note-c"),
                                   QStringLiteral("note-c.local"),
                                   QHostAddress(c.address()),
                                   3220,
                                   2,
                                   {}});
        emit a.lan.found(FoundCopy{QStringLiteral("3"),
                                   QStringLiteral("だいち@pc-d"),
                                   QStringLiteral("pc-d.local"),
                                   QHostAddress(QStringLiteral("192.0.2.14")),
                                   3220,
                                   0,
                                   {}});
        auto *nearby = w.findChild<NearbyWindow *>(QStringLiteral("frmNearby"));
        save(*nearby, QStringLiteral("window-nearby"));
        nearby->close();
    }
    {
        // As if on a dial-up link (the chat itself runs on loopback addresses), behind a
        // router that forwards the ports.
        a.dialup.value = QStringLiteral("192.0.2.10");
        SystemClipboard clipboard;
        MyIpDialog dialog(a.session().ownAddress(), clipboard, QStringLiteral("198.51.100.1"), &w);
        save(dialog, QStringLiteral("dialog-own-address"));
        a.dialup.value.clear();
    }
    {
        ColourDialog dialog(a.session(), &chooseColourWithDialog, &w);
        save(dialog, QStringLiteral("dialog-colour"));
    }
    {
        AboutBox box(a.session().sound(), QString(), &w);
        save(box, QStringLiteral("dialog-about"));
        QTest::mousePress(box.icon(), Qt::LeftButton);
        for (const char letter : {'t', 'a', 'r', 'n'})
            QTest::keyClick(box.icon(), letter);
        waitFor([&] { return !box.animating(); }, "the About box");
        save(box, QStringLiteral("dialog-about-word"));
        box.setDraw([] { return RareMessageDraw; });
        box.hiddenButton()->click();
        waitFor([&] { return !box.animating(); }, "the About box");
        save(box, QStringLiteral("dialog-about-rare-message"));
        box.setDraw([] { return 169; });
        box.hiddenButton()->click();
        waitFor([&] { return !box.animating(); }, "the About box");
        save(box, QStringLiteral("dialog-about-long-message"));
    }
    {
        SplashWindow splash;
        save(splash, QStringLiteral("splash"));
    }
    {
        const Preferences &p = a.session().preferences();
        QFontDialog dialog(chooserStartFont({p.logFontName, double(p.logFontSize)}), &w);
        dialog.setWindowTitle(QStringLiteral("フォント"));
        save(dialog, QStringLiteral("chooser-font"));
    }
    {
        QColorDialog dialog(Qt::darkBlue, &w);
        dialog.setWindowTitle(QStringLiteral("色"));
        save(dialog, QStringLiteral("chooser-colour"));
    }

    // The log in a font and colours of the user's choosing.
    w.setFontChooser([](const LogFontChoice &, QWidget *, const FontChosen &chosen) {
        chosen(LogFontChoice{QStringLiteral("IPAGothic"), 10.5});
    });
    QList<qint32> colours{0x202020, 0xE6F4FF};
    w.setColourChooser([&colours](qint32 current, QWidget *, const ColourChosen &chosen) {
        chosen(colours.isEmpty() ? current : colours.takeFirst());
    });
    w.fontCommand();
    QTimer::singleShot(0, [] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            for (const char *name : {"cmnFont", "cmdBack", "OKButton"}) {
                if (auto *button = dialog->findChild<QPushButton *>(QString::fromLatin1(name)))
                    button->click();
            }
        }
    });
    w.colourCommand();
    c.say(QStringLiteral("色とフォントを変えたあとの行です。"));
    waitFor([&] { return a.logText().contains(QStringLiteral("変えたあと")); }, "the last line");
    save(w, QStringLiteral("main-own-colours"));

    // Last, as it ends the chat: with an invite key, its dialog and the lock in the input box.
    if (!a.session().inviteKey().set(QByteArray::fromHex("0001f2e3d4c5b6a79881706152433425160f")))
        std::fprintf(stderr, "screenshots: the invite key was not taken\n");
    {
        SystemClipboard clipboard;
        InviteKeyDialog dialog(a.session().inviteKey(), clipboard, &w);
        save(dialog, QStringLiteral("dialog-invite-key"));
    }
    save(w, QStringLiteral("main-invite-key"));
    return failures == 0 ? 0 : 1;
}
