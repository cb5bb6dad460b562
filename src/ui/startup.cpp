#include "ui/startup.h"

#include "model/commandline.h"
#include "desktop/programfolder.h"
#include "desktop/singleinstance.h"
#include "text/logging.h"
#include "ui/mainwindow.h"
#include "ui/programicon.h"
#include "ui/splashwindow.h"
#include "ui/windowstacking.h"

#include <QApplication>
#include <QFont>
#include <QHostAddress>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tarnivel {

namespace {

// TARNIVEL_BIND_ADDRESS=127.0.0.5 binds every socket of this copy to that address.
QHostAddress bindAddressFromEnvironment()
{
    const QString text = qEnvironmentVariable("TARNIVEL_BIND_ADDRESS").trimmed();
    QHostAddress address;
    if (!text.isEmpty() && address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol)
        return address;
    return QHostAddress();
}

// SIGTERM (and SIGINT, SIGHUP) close the main window like its close box, so the peers see
// their connections cut and the settings are saved. The signals are blocked in every thread
// (before Qt starts any) and read from a signalfd on the event loop.
sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

class TerminationWatch
{
public:
    explicit TerminationWatch(QWidget &window)
    {
        const sigset_t set = terminationSignals();
        m_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
        if (m_fd < 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &window, [this, &window] {
            signalfd_siginfo info;
            while (::read(m_fd, &info, sizeof info) == sizeof info) {}
            window.close();
        });
    }
    ~TerminationWatch()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// Says why this copy does not start: on stderr, and with a real display in a message box,
// the program's only window (true when one is shown).
bool reportRefusal(const SingleInstanceLock &lock, const QString &bindAddressText)
{
    const QString address = bindAddressText.isEmpty() ? QStringLiteral("(all addresses)") : bindAddressText;
    const QString path = SingleInstanceLock::lockFilePath(bindAddressText);
    QString english;
    QString japanese;
    if (lock.refusal() == SingleInstanceLock::Refusal::HeldByAnother) {
        const QString holder = lock.holderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock.holderPid()) : QString();
        english = QStringLiteral("another copy%1 already runs on %2 (lock file %3); not starting a second one")
                      .arg(holder, address, path);
        japanese = QStringLiteral("たるにべはすでに起動しています%1。\n同じアドレスで二つ目は起動できません。")
                       .arg(lock.holderPid() > 0 ? QStringLiteral("（プロセス %1）").arg(lock.holderPid()) : QString());
    } else {
        english = QStringLiteral("cannot make the lock file %1; not starting").arg(path);
        japanese = QStringLiteral("ロックファイル %1 を作れないため、起動できません。").arg(path);
    }
    qCWarning(lcApp, "%s", qPrintable(english));
    const QString platform = QGuiApplication::platformName();
    if (platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal"))
        return false;
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("たるにべ"), japanese, QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return true;
}

} // namespace

std::optional<QByteArray> preferredPlatform(const QByteArray &chosenPlatform, const QStringList &arguments)
{
    if (!chosenPlatform.trimmed().isEmpty())
        return std::nullopt;
    for (const QString &argument : arguments) {
        if (argument == u"-platform" || argument == u"--platform")
            return std::nullopt;
    }
    return QByteArray("xcb;wayland");
}

void addJapaneseFontSubstitutes()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
}

void loadQtJapaneseTranslations()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        return;
    }
    delete translator;
    qCWarning(lcApp,
              "Qt's Japanese translations (qt6-translations-l10n) are not installed; "
              "the font and colour choosers show English");
}

int splashWaitMs(const QString &commandLine)
{
    return classifyCommandLine(commandLine) == StartAction::JoinAddress ? 2000 : 0;
}

int runProgram(int argc, char *argv[])
{
    // Answered before Qt starts: no display is needed and no lock is taken.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString version =
        QStringLiteral("%1.%2.%3").arg(TARNIVEL_VERSION_MAJOR).arg(TARNIVEL_VERSION_MINOR).arg(TARNIVEL_VERSION_PATCH);
    if (const auto answer = terminalAnswer(commandLineText(arguments), version)) {
        std::fputs(answer->toLocal8Bit().constData(), stdout);
        return 0;
    }

    const sigset_t blocked = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    if (const auto platform = preferredPlatform(qgetenv("QT_QPA_PLATFORM"), arguments))
        qputenv("QT_QPA_PLATFORM", *platform);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnivel"));
    QApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("tarnivel"));
    addJapaneseFontSubstitutes();
    loadQtJapaneseTranslations();

    const QHostAddress bindAddress = bindAddressFromEnvironment();
    SingleInstanceLock instance;
    const QString bindAddressText = bindAddress.isNull() ? QString() : bindAddress.toString();
    if (!instance.tryAcquire(bindAddressText)) {
        // The box is the last window: closing it ends the program.
        if (reportRefusal(instance, bindAddressText))
            (void)app.exec();
        return 0;
    }

    const QString commandLine = commandLineText(QApplication::arguments());
    auto *splash = new SplashWindow;
    splash->show();
    setFormTop(splash, true);
    splash->paintNow();
    if (const int waitMs = splashWaitMs(commandLine); waitMs > 0)
        QThread::msleep(waitMs);

    SessionOptions options;
    options.programFolder = programFolder();
    options.shippedFolder = shippedFolder();
    options.bindAddress = bindAddress;
    MainWindow window(options);
    TerminationWatch termination(window);
    // Logging out of the desktop ends the program like its close box.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.close(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.unload(); });
    // Once the window has closed, a withdraw still on its way to a directory server may keep
    // this process a little longer; a new copy may start meanwhile.
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &window, [&instance] { instance.release(); });
    window.load(commandLine, splash);
    return app.exec();
}

} // namespace tarnivel
