#pragma once
// The main window: builds the widgets and menus and routes their events to the copy's
// subsystems (Session). It implements the small view interfaces the logic talks to.

#include "app/lifecycleview.h"
#include "app/session.h"
#include "app/statusview.h"
#include "conversation/composerview.h"
#include "mesh/connectprompt.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QTextEdit;

namespace tarnivel {

class Clipboard;

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

    // Form_Load: the splash (if any) is closed while loading.
    void load(const QString &commandLine, QWidget *splash = nullptr);
    // Form_Unload, once; later calls do nothing.
    void unload();

    Session &session() { return *m_session; }

    // Controls, for the owner and for tests.
    QTextEdit *logView() const { return m_txtWin; }
    QLineEdit *input() const { return m_txtInput; }
    QPushButton *sendButton() const { return m_cmdSend; }
    QRadioButton *sendToAllOption() const { return m_opSendToAll; }
    QRadioButton *sendToSelectedOption() const { return m_opSendToSelected; }
    QListWidget *memberList() const { return m_lbList; }
    QListWidget *memberTickList() const { return m_lbListChk; }
    QLineEdit *shownAddress() const { return m_txtShowIP; }
    QAction *action(const QString &name) const;

    // StatusView
    void setTitle(const QString &title) override;
    void setConnectMenus(bool connectEnabled, bool disconnectEnabled) override;
    void setMemberRows(const QStringList &names) override;
    void selectSendToAll() override;

    // ComposerView
    QString inputText() const override;
    void clearInput() override;
    void focusInput() override;
    bool sendToSelectedChosen() const override;
    void chooseSendToSelected(bool selected) override;
    int memberRowCount() const override;
    bool isMemberTicked(int row) const override;
    void setShownAddress(const QString &address) override;

    // ConnectPrompt
    std::optional<QString> askConnectAddress(const QString &lastAddress) override;

    // LifecycleView
    void closeSplash() override;
    void applyPreferences(float left, float top) override;
    void applyDefaultPreferences() override;
    void showWindow() override;
    void applyTopmost() override;
    void openDirectoryList() override;
    void capturePlacement(float &left, float &top) override;

    // The peer column command ("接続先を表示" / "接続先を隠す").
    void togglePeerColumn();
    void toggleAlwaysOnTop();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void applyLook();
    void applyColours();
    void keepReachable();
    void layoutControls();
    void recordPlacement();
    void showMyAddress();
    double twipsPerPixel() const;
    QAction *addAction(QMenu *menu, const QString &name, const QString &caption, const QKeySequence &shortcut = {});
    bool handleWindowKey(QObject *watched, QKeyEvent *event);

    std::unique_ptr<Session> m_session;
    std::unique_ptr<Clipboard> m_clipboard;
    QPointer<QWidget> m_splash;
    bool m_unloaded = false;
    bool m_loaded = false;
    WindowState m_initialState = WindowState::Normal;

    QTextEdit *m_txtWin = nullptr;
    QLineEdit *m_txtInput = nullptr;
    QPushButton *m_cmdSend = nullptr;
    QRadioButton *m_opSendToAll = nullptr;
    QRadioButton *m_opSendToSelected = nullptr;
    QListWidget *m_lbList = nullptr;
    QListWidget *m_lbListChk = nullptr;
    QLineEdit *m_txtShowIP = nullptr;
    QMenu *m_mnEdit = nullptr;
    QHash<QString, QAction *> m_actions;
};

} // namespace tarnivel
