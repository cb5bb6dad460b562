#include "session/session.h"

#include "model/commandline.h"
#include "model/extraswitches.h"
#include "model/settingsfile.h"
#include "text/logging.h"
#include "discovery/avahidiscovery.h"
#include "session/help.h"
#include "session/lifecycleview.h"
#include "session/outsideaccess.h"
#include "session/statusview.h"
#include "session/windowtitle.h"

#include <QDir>
#include <QPointer>

namespace tarnivel {

namespace {
std::unique_ptr<SoundPlayer> ownSoundUnless(SoundPlayer *given)
{
    return given ? nullptr : createSystemSoundPlayer();
}
std::unique_ptr<DialupSource> ownDialupUnless(DialupSource *given)
{
    return given ? nullptr : std::make_unique<SystemDialupSource>();
}
std::unique_ptr<UrlOpener> ownUrlOpenerUnless(UrlOpener *given)
{
    return given ? nullptr : std::make_unique<DesktopUrlOpener>();
}
std::unique_ptr<LanDiscovery> ownLanDiscoveryUnless(LanDiscovery *given)
{
    return given ? nullptr : std::make_unique<AvahiDiscovery>();
}
} // namespace

Session::Session(const SessionOptions &options, StatusView &statusView, ComposerView &composerView, QObject *parent)
    : QObject(parent)
    , m_programFolder(options.programFolder)
    , m_shippedFolder(options.shippedFolder.isEmpty() ? options.programFolder : options.shippedFolder)
    , m_statusView(statusView)
    , m_ownSound(ownSoundUnless(options.sound))
    , m_ownDialup(ownDialupUnless(options.dialup))
    , m_ownUrlOpener(ownUrlOpenerUnless(options.urlOpener))
    , m_ownLanDiscovery(ownLanDiscoveryUnless(options.lanDiscovery))
    , m_sound(options.sound ? *options.sound : *m_ownSound)
    , m_dialup(options.dialup ? *options.dialup : *m_ownDialup)
    , m_urlOpener(options.urlOpener ? *options.urlOpener : *m_ownUrlOpener)
    , m_context(options.bindAddress)
    , m_log(m_logDocument, m_heldDocument, m_prefs, m_sound, shippedFile(QStringLiteral("message.wav")))
    , m_ownAddress(m_prefs, m_dialup, options.bindAddress)
    , m_mesh(m_context, m_log, m_ownAddress, m_prefs)
    , m_composer(m_mesh, m_log, m_prefs, composerView)
    , m_room(m_log, m_mesh, m_programFolder, options.bindAddress)
    , m_outside(options.outsideAccess ? std::make_unique<OutsideAccess>(m_log, m_room, m_mesh, m_prefs,
                                                                        options.bindAddress, options.portLeaseSeconds)
                                      : nullptr)
    , m_lan(options.lanDiscovery ? *options.lanDiscovery : *m_ownLanDiscovery, m_mesh, m_prefs, options.bindAddress,
            QStringLiteral(TARNIVEL_VERSION_TEXT))
    , m_inviteKey(programFile(QString::fromLatin1(ExtraSettingsFileName)), m_context, m_mesh, m_log, m_lan)
    , m_titleBody(windowtitle::unconnected())
{
    if (m_outside)
        connect(&m_mesh, &Mesh::portsOpened, m_outside.get(), &OutsideAccess::portsOpened);
    connect(&m_mesh, &Mesh::stateChanged, this, [this](MeshState state, int count) {
        m_titleBody = windowtitle::forState(state, count);
        showTitle();
    });
    connect(&m_mesh, &Mesh::connectAvailableChanged, this, [this](bool available) {
        m_connectAvailable = available;
        m_statusView.setConnectMenus(available, !available);
    });
    connect(&m_mesh, &Mesh::membersChanged, this, [this] {
        if (m_prefs.showPeers)
            showMembers();
    });
    connect(&m_mesh, &Mesh::lineArrived, this, [this](const QString &text) { m_log.addLog(text); });
    connect(&m_mesh, &Mesh::memberJoined, this, [this] {
        if (m_prefs.connectSound)
            m_sound.play(shippedFile(QStringLiteral("connect.wav")));
    });
    connect(&m_room, &RoomExchange::titleChanged, this, &Session::showTitle);
    connect(&m_room, &RoomExchange::enterSent, this, [this] { m_joinsBeforeEnter = m_mesh.joinsBegun(); });
    connect(&m_room, &RoomExchange::partnerFound, this, &Session::joinPartner);
    connect(&m_mesh, &Mesh::memberLeft, this, [this] {
        if (m_room.waiting())
            m_room.renew();
    });
}

// The mesh goes before the sockets' context, and sockets close silently.
Session::~Session() = default;

QString Session::externalAddress() const
{
    return m_outside ? m_outside->externalAddress() : QString();
}

QString Session::programFile(const QString &name) const
{
    return QDir(m_programFolder).filePath(name);
}

QString Session::shippedFile(const QString &name) const
{
    return QDir(m_shippedFolder).filePath(name);
}

QString Session::settingsPath() const
{
    return programFile(QString::fromLatin1(SettingsFileName));
}

void Session::showTitle()
{
    m_statusView.setTitle(m_titleBody + m_room.waitTitle() + m_lockSuffix);
}

void Session::setMyName(const QString &name)
{
    m_prefs.myName = name;
    m_lan.refresh();
}

void Session::toggleScreenLock()
{
    if (m_log.screenLocked()) {
        m_log.unlockScreen();
        m_lockSuffix.clear();
    } else {
        m_log.lockScreen();
        m_lockSuffix = windowtitle::lockSuffix();
    }
    showTitle();
}

void Session::openHelp()
{
    help::open(m_programFolder, m_shippedFolder, m_urlOpener, m_log);
}

void Session::showMembers()
{
    m_statusView.selectSendToAll();
    m_statusView.setMemberRows(m_mesh.members());
}

void Session::setShowPeers(bool shown)
{
    m_prefs.showPeers = shown;
    if (shown)
        showMembers();
}

void Session::setPlacement(const QRect &twips)
{
    m_prefs.windowLeft = twips.x();
    m_prefs.windowTop = twips.y();
    m_prefs.windowWidth = twips.width();
    m_prefs.windowHeight = twips.height();
}

// ---- Connect and disconnect -----------------------------------------------------------

void Session::connectToPicked(const QString &address)
{
    // Like its menu item, the command is not there while a join runs or a chat stands.
    if (!m_connectAvailable)
        return;
    // The pick is the answer: an address chosen earlier (a room partner met while in a chat)
    // does not take its place.
    m_joinWithoutAsking = false;
    struct Picked : ConnectPrompt
    {
        QString address;
        void askConnectAddress(const QString &, Answered answered) override { answered(address); }
    } picked;
    picked.address = address;
    connectCommand(picked);
}

void Session::connectCommand(ConnectPrompt &prompt)
{
    if (!m_mesh.startConnecting())
        return;
    if (const std::optional<QString> chosen = takeChosenAddress()) {
        connectTo(*chosen);
        return;
    }
    const quint64 question = ++m_connectQuestion;
    const quint64 join = m_mesh.joinsBegun();
    const QPointer<Session> self(this);
    prompt.askConnectAddress(m_prefs.connectAddress, [self, question, join](const std::optional<QString> &address) {
        // Still the join this question began: not answered, nothing begun or reset since.
        if (self && question == self->m_connectQuestion && self->m_mesh.state() == MeshState::Connecting
            && self->m_mesh.joinsBegun() == join)
            self->connectAnswered(address);
    });
}

void Session::connectAnswered(const std::optional<QString> &address)
{
    ++m_connectQuestion; // answered once
    if (address)
        connectTo(*address);
    else
        m_mesh.abandonConnecting();
}

std::optional<QString> Session::takeChosenAddress()
{
    if (!m_joinWithoutAsking)
        return std::nullopt;
    m_joinWithoutAsking = false;
    return m_prefs.connectAddress;
}

void Session::connectTo(const QString &address)
{
    m_prefs.connectAddress = address;
    m_mesh.join(address);
}

void Session::chooseAddress(const QString &address)
{
    m_prefs.connectAddress = address;
    m_joinWithoutAsking = !address.isEmpty(); // an empty address is no choice
}

void Session::joinAddress(const QString &address)
{
    chooseAddress(address);
    if (!m_mesh.startConnecting())
        return;
    if (const std::optional<QString> chosen = takeChosenAddress())
        connectTo(*chosen);
}

void Session::joinPartner(const QString &address)
{
    // A join begun while the room was being asked goes on: the request would have kept the
    // user from starting it, had it waited for its answer.
    if (m_mesh.state() == MeshState::Connecting && m_mesh.joinsBegun() != m_joinsBeforeEnter) {
        qCInfo(lcDirectory) << "room partner" << address << "not joined: a join began meanwhile";
        return;
    }
    joinAddress(address);
}

void Session::disconnect()
{
    if (m_room.waiting())
        m_room.withdraw();
    m_joinWithoutAsking = false;
    m_mesh.disconnect();
}

// ---- Directory rooms -----------------------------------------------------------------

void Session::serverCommand(const RoomExchange::EntryChooser &chooseEntry)
{
    m_joinWithoutAsking = false;
    m_room.serverCommand(chooseEntry);
}

void Session::quickCommand()
{
    m_joinWithoutAsking = false;
    m_room.quickCommand(m_prefs.quickServer);
}

void Session::withdrawCommand()
{
    if (m_room.waiting())
        m_room.withdraw();
}

// ---- Load and unload ------------------------------------------------------------------

void Session::load(const QString &commandLine, LifecycleView &view)
{
    m_prefs.quickServer.clear();
    // Any command line joins the stored address at the next connect command without asking.
    m_joinWithoutAsking = !commandLine.isEmpty();
    m_lockSuffix.clear(); // the log itself starts unlocked

    m_mesh.reset();

    const std::optional<SettingsRead> read = loadSettingsFile(settingsPath());
    if (read) {
        m_prefs = read->preferences;
        view.applyPreferences(read->left, read->top);
        view.closeSplash();
    } else {
        view.closeSplash();
        m_prefs = Preferences();
        view.applyDefaultPreferences();
    }

    m_ownAddress.findMyAddress();
    m_inviteKey.load();
    m_mesh.listenAgain();
    if (m_outside)
        m_outside->start();
    m_lan.start();
    m_room.startTicking();
    view.showWindow();
    if (read)
        view.applyTopmost();

    switch (classifyCommandLine(commandLine)) {
    case StartAction::None:
        break;
    case StartAction::OpenDirectory:
        m_joinWithoutAsking = false; // a switch, not an address to join
        view.openDirectoryList();
        break;
    case StartAction::JoinAddress:
        joinAddress(commandLine);
        break;
    }
}

void Session::unload(LifecycleView &view)
{
    ++m_connectQuestion; // a connect dialog still open is answered in vain
    // The room is left before the chat connections close: the members who stay renew their
    // wait when their connection to us ends, and must find us gone from the room by then.
    // The withdraw keeps the program running until it is answered (or times out).
    m_room.withdrawAtClose(this, [this] { m_mesh.reset(); });
    // Giving the ports back also keeps the program running until the router has answered.
    if (m_outside)
        m_outside->stop();
    m_lan.stop();
    float left = 0;
    float top = 0;
    view.capturePlacement(left, top);
    // A settings file is never written without a name (nothing could be read back).
    if (!m_prefs.myName.isEmpty() && !saveSettingsFile(settingsPath(), m_prefs, left, top))
        qCCritical(lcApp, "could not save the settings to %s", qPrintable(QDir::toNativeSeparators(settingsPath())));
}

} // namespace tarnivel
