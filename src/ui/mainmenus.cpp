#include "ui/mainmenus.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace tarnivel {

namespace {

class Builder
{
public:
    Builder(QMainWindow &window, MainMenus &menus) : m_window(window), m_menus(menus) {}

    QMenu *menu(const QString &objectName, const QString &caption)
    {
        QMenu *m = m_window.menuBar()->addMenu(caption);
        m->setObjectName(objectName);
        return m;
    }

    // An item at the end of `menu` (none: not in a menu yet).
    QAction *item(QMenu *menu, const QString &objectName, const QString &caption, const QKeySequence &shortcut = {},
                  bool checkable = false)
    {
        auto *a = new QAction(caption, &m_window);
        a->setObjectName(objectName);
        a->setCheckable(checkable);
        if (!shortcut.isEmpty()) {
            a->setShortcut(shortcut);
            m_menus.withShortcuts.append(a);
        }
        if (menu)
            menu->addAction(a);
        return a;
    }

private:
    QMainWindow &m_window;
    MainMenus &m_menus;
};

} // namespace

MainMenus buildMainMenus(QMainWindow &window)
{
    MainMenus m;
    Builder b(window, m);
    const auto key = [](QKeyCombination combination) {
        return QKeySequence(combination);
    };

    QMenu *connect = b.menu(QStringLiteral("mnConList"), QStringLiteral("接続"));
    m.connect = b.item(connect, QStringLiteral("mnConnect"), QStringLiteral("接続"), key(Qt::CTRL | Qt::Key_A));
    m.disconnect = b.item(connect, QStringLiteral("mnDisconnect"), QStringLiteral("切断"), key(Qt::CTRL | Qt::Key_D));
    m.disconnect->setEnabled(false);
    connect->addSeparator();
    m.server = b.item(connect, QStringLiteral("mnServer"), QStringLiteral("サーバに接続"), QKeySequence(Qt::Key_F2));
    m.quickServer =
        b.item(connect, QStringLiteral("mnQuick"), QStringLiteral("クイックサーバ"), QKeySequence(Qt::Key_F3));
    m.withdraw =
        b.item(connect, QStringLiteral("mnWaitQuit"), QStringLiteral("待機の解除"), key(Qt::SHIFT | Qt::Key_F3));
    m.withdraw->setVisible(false);
    connect->addSeparator();
    m.end = b.item(connect, QStringLiteral("mnEnd"), QStringLiteral("終了"), key(Qt::CTRL | Qt::Key_Q));
    // Beyond the classic menu: the copies on the same network, next to the room keys F2 and F3.
    connect->addSeparator();
    m.nearby = b.item(connect, QStringLiteral("mnNearby"), QStringLiteral("近くのたるにべ"), QKeySequence(Qt::Key_F4));

    m.peerColumn = b.item(nullptr, QStringLiteral("mnDisp"), ShowPeerColumnCaption);
    window.menuBar()->addAction(m.peerColumn);

    m.settings = b.menu(QStringLiteral("mnSetting"), QStringLiteral("設定"));
    m.name = b.item(m.settings, QStringLiteral("mnName"), QStringLiteral("名前"), key(Qt::CTRL | Qt::Key_N));
    m.font = b.item(m.settings, QStringLiteral("mnFont"), QStringLiteral("フォント"));
    m.colour = b.item(m.settings, QStringLiteral("mnColor"), QStringLiteral("色"));
    m.settings->addSeparator();
    m.alwaysOnTop = b.item(m.settings, QStringLiteral("mnFormTop"), QStringLiteral("常に手前に表示"),
                           key(Qt::CTRL | Qt::Key_T), true);
    m.settings->addSeparator();
    m.connectSound =
        b.item(m.settings, QStringLiteral("mnBeep"), QStringLiteral("接続音を鳴らす"), key(Qt::CTRL | Qt::Key_B), true);
    m.messageSound = b.item(m.settings, QStringLiteral("mnMsgBeep"), QStringLiteral("メッセージ音を鳴らす"),
                            key(Qt::CTRL | Qt::Key_M), true);
    // Beyond the classic menu: find in the log, then the switches of "tarnivel.ini".
    m.settings->addSeparator();
    m.findLog =
        b.item(m.settings, QStringLiteral("mnFindLog"), QStringLiteral("ログを検索"), key(Qt::CTRL | Qt::Key_G));

    QMenu *tools = b.menu(QStringLiteral("mnTool"), QStringLiteral("その他"));
    m.saveLog = b.item(tools, QStringLiteral("mnSaveLog"), QStringLiteral("ログを保存"));
    tools->addSeparator();
    m.showOwnAddress = b.item(tools, QStringLiteral("mnShoIP"), QStringLiteral("自分のIPを表示"));
    m.copyOwnAddress =
        b.item(tools, QStringLiteral("mnCopyIP"), QStringLiteral("自分のIPをコピー"), key(Qt::CTRL | Qt::Key_I));
    tools->addSeparator();
    m.clearLog = b.item(tools, QStringLiteral("mnClearLog"), QStringLiteral("ログのクリア"));
    tools->addSeparator();
    m.help = b.item(tools, QStringLiteral("mnHelp"), QStringLiteral("ヘルプ"), QKeySequence(Qt::Key_F1));
    m.about = b.item(tools, QStringLiteral("mnVer"), QStringLiteral("バージョン"));

    m.log = new QMenu(QStringLiteral("編集"), &window);
    m.log->setObjectName(QStringLiteral("mnEdit"));
    m.copy = b.item(m.log, QStringLiteral("mnCopy"), QStringLiteral("コピー"));
    m.log->addSeparator();
    m.lock = b.item(m.log, QStringLiteral("mnLock"), QStringLiteral("画面のロック"));
    return m;
}

} // namespace tarnivel
