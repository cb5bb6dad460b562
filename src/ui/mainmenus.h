#pragma once
// The main window's menus: the classic bar (接続, the peer-column item, 設定, その他) with the
// items added since, and the log's pop-up menu "編集", which is never on the bar. Every item
// carries its classic control name as its object name. Building makes the items and puts
// them in order; the window connects them to its commands.

#include <QList>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;

namespace tarnivel {

// The peer-column item's two captions, and the lock item's.
inline const QString ShowPeerColumnCaption = QStringLiteral("接続先を表示");
inline const QString HidePeerColumnCaption = QStringLiteral("接続先を隠す");
inline const QString UnlockCaption = QStringLiteral("画面ロックの解除");
inline const QString LockAgainCaption = QStringLiteral("画面ロック");

struct MainMenus
{
    // 接続
    QAction *connect = nullptr;
    QAction *disconnect = nullptr;
    QAction *server = nullptr;
    QAction *quickServer = nullptr;
    QAction *withdraw = nullptr; // shown only while waiting in a room
    QAction *end = nullptr;
    QAction *nearby = nullptr;
    // On the bar itself.
    QAction *peerColumn = nullptr;
    // 設定: the switches kept in "tarnivel.ini" are appended to it after findLog.
    QMenu *settings = nullptr;
    QAction *name = nullptr;
    QAction *font = nullptr;
    QAction *colour = nullptr;
    QAction *alwaysOnTop = nullptr;
    QAction *connectSound = nullptr;
    QAction *messageSound = nullptr;
    QAction *findLog = nullptr;
    // その他
    QAction *saveLog = nullptr;
    QAction *showOwnAddress = nullptr;
    QAction *copyOwnAddress = nullptr;
    QAction *clearLog = nullptr;
    QAction *help = nullptr;
    QAction *about = nullptr;
    // 編集, the log's pop-up menu
    QMenu *log = nullptr;
    QAction *copy = nullptr;
    QAction *lock = nullptr;
    // Every item with a shortcut: those win over the text boxes' own keys.
    QList<QAction *> withShortcuts;
};

// Builds the menus into `window` (its menu bar; the actions and the pop-up menu are its
// children).
MainMenus buildMainMenus(QMainWindow &window);

} // namespace tarnivel
