#pragma once
// The main window: builds the widgets, connects the menus, hands their events to the copy's
// subsystems (Session) and implements the small view interfaces the logic talks to. It also
// places itself (WindowPlacement) and routes the window's keys. Its dialogs open modal and
// nothing waits for them (ModalDialogs).

#include "conversation/composerview.h"
#include "session/connectprompt.h"
#include "session/lifecycleview.h"
#include "session/session.h"
#include "session/statusview.h"
#include "ui/colourdialog.h"
#include "ui/fontcommand.h"
#include "ui/logview.h"
#include "ui/mainmenus.h"
#include "ui/windowplacement.h"
#include "ui/windowstacking.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tarnivel {

class AttentionControl;
class Clipboard;
class ExtraSwitchItems;
class FindBar;
class LogAppearance;
class NearbyWindow;
class PrivateSendHint;

class MainWindow : public QMainWindow,
                   public StatusView,
                   public ComposerView,
                   public ConnectPrompt,
                   public LifecycleView
{
    Q_OBJECT
public:
    explicit MainWindow(const SessionOptions &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loading: the splash (if any) is closed while loading.
    void load(const QString &commandLine, QWidget *splash = nullptr);
    // Unloading, once; later calls do nothing.
    void unload();

    Session &session() { return *m_session; }

    // The platform's font and colour choosers, replaceable (tests answer them themselves).
    void setFontChooser(FontChooser chooser) { m_fontChooser = std::move(chooser); }
    void setColourChooser(ColourChooser chooser) { m_colourChooser = std::move(chooser); }

    // StatusView
    void setTitle(const QString &title) override;
    void setConnectMenus(bool connectEnabled, bool disconnectEnabled) override;
    void setMemberRows(const QList<Member> &members) override;
    void selectSendToAll() override;

    // ComposerView
    QString inputText() const override;
    void clearInput() override;
    void focusInput() override;
    bool sendToChosen() const override;
    void setSendToChosen(bool selected) override;
    QList<MemberId> tickedMembers() const override;
    std::optional<MemberId> memberAtRow(int row) const override;
    void setShownAddress(const QString &address) override;

    // ConnectPrompt
    void askConnectAddress(const QString &lastAddress, Answered answered) override;

    // LifecycleView
    void closeSplash() override;
    void applyPreferences(float left, float top) override;
    void applyDefaultPreferences() override;
    void showWindow() override;
    void applyTopmost() override;
    void openDirectoryList() override;
    void capturePlacement(float &left, float &top) override;

    // The connect command: asks for the address unless it is already chosen.
    void connectCommand();
    // The server command (F2): the entry list, then the chosen entry's room.
    void serverCommand();
    // "近くのたるにべ": opens (or raises) the list of copies on the same network.
    void nearbyCommand();
    // "招待キー…": shows the invite key's dialog, modal, without a loop of its own.
    void inviteKeyCommand();
    // The peer column command ("接続先を表示" / "接続先を隠す").
    void togglePeerColumn();
    void toggleAlwaysOnTop();
    // The log tools and the name: menu commands.
    void nameCommand();
    void saveLogCommand();
    void clearLogCommand();
    void copyLogSelection();
    void lockCommand();
    void fontCommand();
    void colourCommand();
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectMenus();
    void applyLook();
    void keepReachable();
    QSize clientPixels() const;
    void resizeToOuter(QSize outer);
    void layoutControls();
    void recordPlacement();
    void showMyAddress();
    void showEditMenu(const QPoint &globalPosition);
    void openAddress(const QUrl &url);
    // This screen's conversions between twips and pixels.
    WindowPlacement placement() const;
    bool handleWindowKey(QObject *watched, QKeyEvent *event);
    [[nodiscard]] bool windowShortcut(int key, Qt::KeyboardModifiers modifiers);

    std::unique_ptr<Session> m_session;
    // Every dialog of the window opens through this: modal, never behind the window.
    ModalDialogs *m_dialogs = nullptr;
    std::unique_ptr<Clipboard> m_clipboard;
    LogAppearance *m_appearance = nullptr;
    FontChooser m_fontChooser;
    ColourChooser m_colourChooser;
    QPointer<QWidget> m_splash;
    bool m_unloaded = false;
    // The own-address command waits for its lookup.
    bool m_ownAddressDialogWaiting = false;
    bool m_loaded = false;
    WindowState m_initialState = WindowState::Normal;

    LogView *m_logView = nullptr;
    QLineEdit *m_inputBox = nullptr;
    QPushButton *m_sendButton = nullptr;
    QRadioButton *m_sendToAllOption = nullptr;
    QRadioButton *m_sendToChosenOption = nullptr;
    QListWidget *m_memberList = nullptr;
    QListWidget *m_memberTickList = nullptr;
    QLineEdit *m_memberAddressBox = nullptr;
    FindBar *m_findBar = nullptr;
    PrivateSendHint *m_privateSendHint = nullptr;
    AttentionControl *m_attention = nullptr;
    ExtraSwitchItems *m_extraSwitches = nullptr;
    NearbyWindow *m_nearbyWindow = nullptr;
    // Where text last went into the log.
    int m_lastInsertion = 0;
    // A shortcut's key (or Ctrl+C in the address box) is down and has acted.
    bool m_keyHandled = false;

    MainMenus m_menus;
};

} // namespace tarnivel
