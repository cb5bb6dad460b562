// A whole copy (offscreen main window) that finds and is found through the real Avahi daemon
// of the system bus named in DBUS_SYSTEM_BUS_ADDRESS. libdbus reads that once per process,
// so copies on different buses are processes of their own; tests drive this one through
// stdin and read what its window shows on stdout.
//
//   nearbycopy BIND_ADDRESS NAME
//
// It opens "近くのたるにべ" at once. Commands, one a line:
//   join NAME   select the row of that name in the list and press Enter
//   key TEXT    take this invite key
//   quit        close the window as its close box does, and end
// Reports, one a line, fields split by tabs:
//   title TEXT                              the window title, whenever it changes
//   list NAME ADDRESS COUNT MARK ...        the rows of the list, four fields each
//   status TEXT                             the line under the list

#include "testcopy.h"
#include "testsupport.h"
#include "discovery/avahidiscovery.h"
#include "model/invitekey.h"
#include "ui/mainwindow.h"
#include "ui/nearbywindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSocketNotifier>
#include <QTreeWidget>

#include <cstdio>
#include <unistd.h>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

void report(const QStringList &fields)
{
    std::fputs(fields.join(u'\t').toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

void reportList(const NearbyWindow &window)
{
    QStringList fields{QStringLiteral("list")};
    const QTreeWidget &list = *window.list();
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = list.topLevelItem(row);
        for (int column : {NearbyWindow::NameColumn, NearbyWindow::AddressColumn, NearbyWindow::CountColumn,
                           NearbyWindow::MarkColumn})
            fields << item->text(column);
    }
    report(fields);
    report({QStringLiteral("status"), window.statusLine()->text()});
}

void join(NearbyWindow &window, const QString &name)
{
    QTreeWidget &list = *window.list();
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        if (list.topLevelItem(row)->text(NearbyWindow::NameColumn) == name) {
            list.setCurrentItem(list.topLevelItem(row));
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(&list, &enter);
            return;
        }
    }
    std::fprintf(stderr, "nearbycopy: no row named %s\n", qPrintable(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: nearbycopy BIND_ADDRESS NAME\n", stderr);
        return 2;
    }
    AvahiDiscovery avahi;
    WindowCopy copy(args.at(1), args.at(2), &avahi);
    MainWindow &window = copy.window();
    QObject::connect(&window, &QWidget::windowTitleChanged, [](const QString &title) {
        report({QStringLiteral("title"), title});
    });
    report({QStringLiteral("title"), window.windowTitle()});

    findAction(window, QStringLiteral("mnNearby"))->trigger();
    NearbyWindow &nearby = *control<NearbyWindow>(window, "frmNearby");
    // After the window's own handlers, so the rows are already shown.
    QObject::connect(&window.session().lan(), &LanPresence::copiesChanged, &nearby, [&nearby] { reportList(nearby); });
    QObject::connect(&window.session().lan(), &LanPresence::availabilityChanged, &nearby,
                     [&nearby] { reportList(nearby); });
    reportList(nearby);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) { // the test went away
            input.setEnabled(false);
            window.close();
            app.quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (line.startsWith(QStringLiteral("join ")))
                join(nearby, line.mid(5));
            else if (line.startsWith(QStringLiteral("key "))
                     && !window.session().inviteKey().set(readInviteKeyText(line.mid(4)).key.value_or(QByteArray())))
                std::fprintf(stderr, "nearbycopy: the key was not taken\n");
            else if (line == QStringLiteral("quit")) {
                window.close();
                app.quit();
            }
        }
    });
    return app.exec();
}
