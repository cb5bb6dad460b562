#include "app/session.h"

#include "app/commandline.h"
#include "app/lifecycleview.h"
#include "app/settingsfile.h"

#include <QDir>

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
} // namespace

Session::Session(const SessionOptions &options, StatusView &statusView, ComposerView &composerView,
                 ConnectPrompt &prompt, QObject *parent)
    : QObject(parent)
    , m_programFolder(options.programFolder)
    , m_ownSound(ownSoundUnless(options.sound))
    , m_ownDialup(ownDialupUnless(options.dialup))
    , m_sound(options.sound ? *options.sound : *m_ownSound)
    , m_dialup(options.dialup ? *options.dialup : *m_ownDialup)
    , m_context(options.bindAddress)
    , m_sockets(m_context)
    , m_log(logDocument, heldDocument, prefs, m_sound, programFile(QStringLiteral("message.wav")))
    , m_ownAddress(prefs, m_dialup, m_http)
    , m_status(m_sockets, statusView, prefs, m_room)
    , m_mesh{m_sockets, m_status, m_log, prefs, m_sound, m_room, m_ownAddress,
             programFile(QStringLiteral("connect.wav"))}
    , m_accepting(m_mesh, statusView)
    , m_dialling(m_mesh, statusView, prompt)
    , m_join(m_mesh)
    , m_composer(m_mesh, composerView)
{
    logDocument.setUndoRedoEnabled(false);
    heldDocument.setUndoRedoEnabled(false);
}

// The handlers go before the sockets they listen to, and sockets close silently.
Session::~Session() = default;

QString Session::programFile(const QString &name) const
{
    return QDir(m_programFolder).filePath(name);
}

void Session::load(const QString &commandLine, LifecycleView &view)
{
    prefs.quickServer.clear();
    m_dialling.setSelectedServer(commandLine);
    m_log.setScreenLocked(false);
    m_status.setLockSuffix(QString());
    m_composer.setKeyHandled(false);

    m_status.resetConnections();

    const std::optional<SettingsRead> read = loadSettingsFile(settingsPath());
    if (read) {
        prefs = read->preferences;
        view.applyPreferences(read->left, read->top);
        view.closeSplash();
    } else {
        view.closeSplash();
        prefs = Preferences();
        view.applyDefaultPreferences();
    }
    m_status.setInChat(false);

    m_status.setTitleBody(ConnectionStatus::unconnectedTitle());
    m_ownAddress.findMyAddress();
    m_status.listenAgain();
    view.showWindow();
    if (read)
        view.applyTopmost();

    switch (classifyCommandLine(commandLine)) {
    case StartAction::None:
        break;
    case StartAction::OpenDirectory:
        view.openDirectoryList();
        break;
    case StartAction::JoinAddress:
        prefs.connectAddress = commandLine;
        m_dialling.connectCommand();
        break;
    }
}

void Session::unload(LifecycleView &view)
{
    if (m_room.waiting())
        m_room.quitWaiting();
    m_status.resetConnections();
    float left = 0;
    float top = 0;
    view.capturePlacement(left, top);
    saveSettingsFile(settingsPath(), prefs, left, top);
}

} // namespace tarnivel
