#include "ui/mainwindow.h"

#include "app/colorvalue.h"
#include "app/twips.h"
#include "platform/clipboard.h"
#include "ui/connectdialog.h"
#include "ui/mainlayout.h"
#include "ui/myipdialog.h"
#include "ui/windowstacking.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>

namespace tarnivel {

namespace {
const QString UiFont = QStringLiteral("ＭＳ Ｐゴシック");
const QString ShowColumnCaption = QStringLiteral("接続先を表示");
const QString HideColumnCaption = QStringLiteral("接続先を隠す");
// The designed client area when there is no settings file, in twips.
constexpr int DesignClientWidth = 7425;
constexpr int DesignClientHeight = 4335;
} // namespace

MainWindow::MainWindow(const SessionOptions &options, QWidget *parent)
    : QMainWindow(parent)
    , m_clipboard(std::make_unique<SystemClipboard>())
{
    buildControls();
    m_session = std::make_unique<Session>(options, *this, *this, *this);
    m_txtWin->setDocument(&m_session->logDocument);
    buildMenus();

    Session &s = *m_session;
    connect(&s.log(), &ChatLog::appendedToWindow, this, [this] {
        QScrollBar *bar = m_txtWin->verticalScrollBar();
        bar->setValue(bar->maximum());
    });
    connect(&s.composer(), &Composer::togglePeerColumnRequested, this, &MainWindow::togglePeerColumn);
    connect(m_txtInput, &QLineEdit::returnPressed, this, [this] { m_session->composer().enterPressed(); });
    connect(m_cmdSend, &QPushButton::clicked, this, [this] { m_session->composer().sendClicked(); });
    connect(m_opSendToAll, &QRadioButton::clicked, this, [this] { chooseSendToSelected(false); });
    connect(m_opSendToSelected, &QRadioButton::clicked, this, [this] { chooseSendToSelected(true); });
    for (QListWidget *list : {m_lbList, m_lbListChk}) {
        connect(list, &QListWidget::itemClicked, this,
                [this, list](QListWidgetItem *item) { m_session->composer().memberClicked(list->row(item)); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this] { focusInput(); });
    }
}

MainWindow::~MainWindow()
{
    unload();
    // The log view shows the session's document: the widgets go first.
    for (QWidget *w : std::initializer_list<QWidget *>{m_txtWin, m_txtInput, m_cmdSend, m_opSendToAll,
                                                       m_opSendToSelected, m_lbList, m_lbListChk, m_txtShowIP})
        w->removeEventFilter(this);
    removeEventFilter(this);
    delete takeCentralWidget();
}

QAction *MainWindow::action(const QString &name) const
{
    return m_actions.value(name);
}

// ---- Construction ---------------------------------------------------------------------

void MainWindow::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);

    m_txtWin = new QTextEdit(central);
    m_txtWin->setObjectName(QStringLiteral("txtWin"));
    m_txtWin->setReadOnly(true);
    m_txtWin->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_txtWin->setContextMenuPolicy(Qt::CustomContextMenu);

    m_txtInput = new QLineEdit(central);
    m_txtInput->setObjectName(QStringLiteral("txtInput"));
    m_txtInput->setMaxLength(Composer::MaxInputLength);
    m_txtInput->setFont(QFont(UiFont, 11));

    m_cmdSend = new QPushButton(QStringLiteral("送信"), central);
    m_cmdSend->setObjectName(QStringLiteral("cmdSend"));
    m_cmdSend->setAutoDefault(false);

    const QFont columnFont(UiFont, 9);
    m_opSendToAll = new QRadioButton(QStringLiteral("全員へ送信"), central);
    m_opSendToAll->setObjectName(QStringLiteral("opSendToAll"));
    m_opSendToAll->setChecked(true);
    m_opSendToSelected = new QRadioButton(QStringLiteral("個人へ送信"), central);
    m_opSendToSelected->setObjectName(QStringLiteral("opSendToSelected"));
    m_lbList = new QListWidget(central);
    m_lbList->setObjectName(QStringLiteral("lbList"));
    m_lbListChk = new QListWidget(central);
    m_lbListChk->setObjectName(QStringLiteral("lbListChk"));
    m_txtShowIP = new QLineEdit(central);
    m_txtShowIP->setObjectName(QStringLiteral("txtShowIP"));
    m_txtShowIP->setReadOnly(true);
    m_txtShowIP->setBackgroundRole(QPalette::Button);
    for (QWidget *w : std::initializer_list<QWidget *>{m_opSendToAll, m_opSendToSelected, m_lbList, m_lbListChk, m_txtShowIP}) {
        w->setFont(columnFont);
        w->hide();
    }

    // Window-level keys (Ctrl+F/L/S), menu shortcuts over the text boxes, Ctrl+C in txtShowIP.
    for (QWidget *w : std::initializer_list<QWidget *>{this, m_txtWin, m_txtInput, m_cmdSend, m_opSendToAll,
                                                       m_opSendToSelected, m_lbList, m_lbListChk, m_txtShowIP})
        w->installEventFilter(this);
}

QAction *MainWindow::addAction(QMenu *menu, const QString &name, const QString &caption, const QKeySequence &shortcut)
{
    auto *a = new QAction(caption, this);
    a->setObjectName(name);
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    if (menu)
        menu->addAction(a);
    m_actions.insert(name, a);
    return a;
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    Session &s = *m_session;

    QMenu *conList = bar->addMenu(QStringLiteral("接続"));
    conList->setObjectName(QStringLiteral("mnConList"));
    connect(addAction(conList, QStringLiteral("mnConnect"), QStringLiteral("接続"), QKeySequence(Qt::CTRL | Qt::Key_A)),
            &QAction::triggered, this, [this] { m_session->dialling().connectCommand(); });
    QAction *disconnect = addAction(conList, QStringLiteral("mnDisconnect"), QStringLiteral("切断"), QKeySequence(Qt::CTRL | Qt::Key_D));
    disconnect->setEnabled(false);
    connect(disconnect, &QAction::triggered, this, [this] { m_session->dialling().disconnectCommand(); });
    conList->addSeparator();
    addAction(conList, QStringLiteral("mnServer"), QStringLiteral("サーバに接続"), QKeySequence(Qt::Key_F2));
    addAction(conList, QStringLiteral("mnQuick"), QStringLiteral("クイックサーバ"), QKeySequence(Qt::Key_F3));
    addAction(conList, QStringLiteral("mnWaitQuit"), QStringLiteral("待機の解除"), QKeySequence(Qt::SHIFT | Qt::Key_F3))
        ->setVisible(false);
    conList->addSeparator();
    connect(addAction(conList, QStringLiteral("mnEnd"), QStringLiteral("終了"), QKeySequence(Qt::CTRL | Qt::Key_Q)),
            &QAction::triggered, this, &QWidget::close);

    QAction *disp = addAction(nullptr, QStringLiteral("mnDisp"), ShowColumnCaption);
    bar->addAction(disp);
    connect(disp, &QAction::triggered, this, &MainWindow::togglePeerColumn);

    QMenu *setting = bar->addMenu(QStringLiteral("設定"));
    setting->setObjectName(QStringLiteral("mnSetting"));
    addAction(setting, QStringLiteral("mnName"), QStringLiteral("名前"), QKeySequence(Qt::CTRL | Qt::Key_N));
    addAction(setting, QStringLiteral("mnFont"), QStringLiteral("フォント"));
    addAction(setting, QStringLiteral("mnColor"), QStringLiteral("色"));
    setting->addSeparator();
    QAction *formTop = addAction(setting, QStringLiteral("mnFormTop"), QStringLiteral("常に手前に表示"), QKeySequence(Qt::CTRL | Qt::Key_T));
    formTop->setCheckable(true);
    connect(formTop, &QAction::triggered, this, &MainWindow::toggleAlwaysOnTop);
    setting->addSeparator();
    QAction *beep = addAction(setting, QStringLiteral("mnBeep"), QStringLiteral("接続音を鳴らす"), QKeySequence(Qt::CTRL | Qt::Key_B));
    beep->setCheckable(true);
    connect(beep, &QAction::toggled, this, [&s](bool on) { s.prefs.connectSound = on; });
    QAction *msgBeep = addAction(setting, QStringLiteral("mnMsgBeep"), QStringLiteral("メッセージ音を鳴らす"), QKeySequence(Qt::CTRL | Qt::Key_M));
    msgBeep->setCheckable(true);
    connect(msgBeep, &QAction::toggled, this, [&s](bool on) { s.prefs.messageSound = on; });

    QMenu *tool = bar->addMenu(QStringLiteral("その他"));
    tool->setObjectName(QStringLiteral("mnTool"));
    addAction(tool, QStringLiteral("mnSaveLog"), QStringLiteral("ログを保存"));
    tool->addSeparator();
    connect(addAction(tool, QStringLiteral("mnShoIP"), QStringLiteral("自分のIPを表示")), &QAction::triggered, this,
            &MainWindow::showMyAddress);
    connect(addAction(tool, QStringLiteral("mnCopyIP"), QStringLiteral("自分のIPをコピー"), QKeySequence(Qt::CTRL | Qt::Key_I)),
            &QAction::triggered, this, [this] { m_session->ownAddress().copyMyAddress(*m_clipboard); });
    tool->addSeparator();
    addAction(tool, QStringLiteral("mnClearLog"), QStringLiteral("ログのクリア"));
    tool->addSeparator();
    addAction(tool, QStringLiteral("mnHelp"), QStringLiteral("ヘルプ"), QKeySequence(Qt::Key_F1));
    addAction(tool, QStringLiteral("mnVer"), QStringLiteral("バージョン"));

    // The log's pop-up menu; never on the bar.
    m_mnEdit = new QMenu(QStringLiteral("編集"), this);
    m_mnEdit->setObjectName(QStringLiteral("mnEdit"));
    addAction(m_mnEdit, QStringLiteral("mnCopy"), QStringLiteral("コピー"));
    m_mnEdit->addSeparator();
    addAction(m_mnEdit, QStringLiteral("mnLock"), QStringLiteral("画面のロック"));
    connect(m_txtWin, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_mnEdit->popup(m_txtWin->viewport()->mapToGlobal(pos)); });
}

// ---- StatusView -----------------------------------------------------------------------

void MainWindow::setTitle(const QString &title)
{
    setWindowTitle(title);
}

void MainWindow::setConnectMenus(bool connectEnabled, bool disconnectEnabled)
{
    action(QStringLiteral("mnConnect"))->setEnabled(connectEnabled);
    action(QStringLiteral("mnDisconnect"))->setEnabled(disconnectEnabled);
}

void MainWindow::setMemberRows(const QStringList &names)
{
    m_lbList->clear();
    m_lbListChk->clear();
    for (const QString &name : names) {
        m_lbList->addItem(name);
        auto *item = new QListWidgetItem(name, m_lbListChk);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void MainWindow::selectSendToAll()
{
    m_opSendToAll->setChecked(true);
    m_opSendToSelected->setChecked(false);
    layoutControls();
}

// ---- ComposerView ---------------------------------------------------------------------

QString MainWindow::inputText() const
{
    return m_txtInput->text();
}

void MainWindow::clearInput()
{
    m_txtInput->clear();
}

void MainWindow::focusInput()
{
    m_txtInput->setFocus();
}

bool MainWindow::sendToSelectedChosen() const
{
    return m_opSendToSelected->isChecked();
}

void MainWindow::chooseSendToSelected(bool selected)
{
    (selected ? m_opSendToSelected : m_opSendToAll)->setChecked(true);
    layoutControls();
    focusInput();
}

int MainWindow::memberRowCount() const
{
    return m_lbListChk->count();
}

bool MainWindow::isMemberTicked(int row) const
{
    const QListWidgetItem *item = m_lbListChk->item(row);
    return item && item->checkState() == Qt::Checked;
}

void MainWindow::setShownAddress(const QString &address)
{
    m_txtShowIP->setText(address);
}

// ---- ConnectPrompt --------------------------------------------------------------------

std::optional<QString> MainWindow::askConnectAddress(const QString &lastAddress)
{
    ConnectDialog dialog(lastAddress, this);
    execModalOverMain(dialog, this, [this] { return m_session->prefs.alwaysOnTop; });
    if (!dialog.confirmed())
        return std::nullopt;
    return dialog.address();
}

// ---- Lifecycle ------------------------------------------------------------------------

void MainWindow::load(const QString &commandLine, QWidget *splash)
{
    m_splash = splash;
    m_session->load(commandLine, *this);
    m_loaded = true;
}

void MainWindow::unload()
{
    if (m_unloaded || !m_loaded)
        return;
    m_unloaded = true;
    m_session->unload(*this);
}

void MainWindow::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

double MainWindow::twipsPerPixel() const
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

void MainWindow::applyColours()
{
    const Preferences &p = m_session->prefs;
    const QPalette base = QGuiApplication::palette();
    QPalette pal = base;
    pal.setColor(QPalette::Base, resolveColorValue(p.backgroundColor, base));
    // Log text carries its own colour per character (desktop text colour: none, so it
    // follows the palette); changing the preference must not recolour older lines.
    m_txtWin->setPalette(pal);
    pal.setColor(QPalette::Text, resolveColorValue(p.textColor, base));
    for (QWidget *w : std::initializer_list<QWidget *>{m_txtInput, m_lbList, m_lbListChk})
        w->setPalette(pal);
}

void MainWindow::applyLook()
{
    const Preferences &p = m_session->prefs;
    applyColours();
    action(QStringLiteral("mnBeep"))->setChecked(p.connectSound);
    action(QStringLiteral("mnMsgBeep"))->setChecked(p.messageSound);
    action(QStringLiteral("mnFormTop"))->setChecked(p.alwaysOnTop);
    action(QStringLiteral("mnDisp"))->setText(p.showPeers == 1 ? HideColumnCaption : ShowColumnCaption);
}

void MainWindow::applyPreferences(float left, float top)
{
    const Preferences &p = m_session->prefs;
    applyLook();
    const double tpp = twipsPerPixel();
    setMinimumSize(minimumClientSize(tpp));
    move(int(std::lround(left / tpp)), int(std::lround(top / tpp)));
    resize(int(std::lround(p.windowWidth / tpp)), int(std::lround(p.windowHeight / tpp)));
    keepReachable();
    m_initialState = p.windowState;
    layoutControls();
}

// A position stored on a larger or another screen can lie beyond every screen now: then the
// window comes back to the middle of the primary screen, so its title bar can be reached.
void MainWindow::keepReachable()
{
    const QRect grip(pos(), QSize(std::min(width(), 120), 30));
    for (const QScreen *s : QGuiApplication::screens()) {
        if (s->availableGeometry().intersects(grip))
            return;
    }
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        const QRect area = primary->availableGeometry();
        move(area.x() + std::max(0, (area.width() - width()) / 2), area.y() + std::max(0, (area.height() - height()) / 2));
    }
}

void MainWindow::applyDefaultPreferences()
{
    Preferences &p = m_session->prefs;
    applyLook();
    const double tpp = twipsPerPixel();
    setMinimumSize(minimumClientSize(tpp));
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect avail = s ? s->geometry() : QRect(0, 0, 1024, 768);
    // Centred for the designed size first, then half the screen wide and high.
    const QSize design(int(DesignClientWidth / tpp), int(DesignClientHeight / tpp));
    move(avail.x() + (avail.width() - design.width()) / 2, avail.y() + (avail.height() - design.height()) / 2);
    resize(avail.width() / 2, avail.height() / 2);
    p.windowLeft = twipsFromPixels(x(), 1440.0 / tpp);
    p.windowTop = twipsFromPixels(y(), 1440.0 / tpp);
    p.windowWidth = twipsFromPixels(width(), 1440.0 / tpp);
    p.windowHeight = twipsFromPixels(height(), 1440.0 / tpp);
    m_initialState = WindowState::Normal;
    layoutControls();
}

void MainWindow::showWindow()
{
    switch (m_initialState) {
    case WindowState::Minimized:
        showMinimized();
        break;
    case WindowState::Maximized:
        showMaximized();
        break;
    case WindowState::Normal:
        show();
        break;
    }
    layoutControls();
}

void MainWindow::applyTopmost()
{
    tarnivel::applyTopmost(this, m_session->prefs.alwaysOnTop);
}

void MainWindow::openDirectoryList()
{
    // Directory rooms are not part of this program yet.
}

void MainWindow::capturePlacement(float &left, float &top)
{
    Preferences &p = m_session->prefs;
    if (isMinimized())
        p.windowState = WindowState::Minimized;
    else if (isMaximized())
        p.windowState = WindowState::Maximized;
    else
        p.windowState = WindowState::Normal;
    if (p.windowState == WindowState::Normal) {
        const double dpi = 1440.0 / twipsPerPixel();
        left = float(twipsFromPixels(x(), dpi));
        top = float(twipsFromPixels(y(), dpi));
    } else {
        left = float(p.windowLeft);
        top = float(p.windowTop);
    }
}

void MainWindow::recordPlacement()
{
    if (!m_loaded || windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    Preferences &p = m_session->prefs;
    const double dpi = 1440.0 / twipsPerPixel();
    p.windowLeft = twipsFromPixels(x(), dpi);
    p.windowTop = twipsFromPixels(y(), dpi);
    p.windowWidth = twipsFromPixels(width(), dpi);
    p.windowHeight = twipsFromPixels(height(), dpi);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Desktop colours (0x800000nn) follow a change of the desktop's palette.
    if (event->type() == QEvent::ApplicationPaletteChange && m_session)
        applyColours();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutControls();
    recordPlacement();
}

void MainWindow::layoutControls()
{
    if (!centralWidget())
        return;
    const bool column = m_session && m_session->prefs.showPeers == 1;
    const MainLayout l = computeMainLayout(centralWidget()->size(), column, twipsPerPixel());
    m_txtWin->setGeometry(l.log);
    m_txtInput->setGeometry(l.input);
    m_cmdSend->setGeometry(l.send);
    m_opSendToAll->setGeometry(l.sendToAll);
    m_opSendToSelected->setGeometry(l.sendToSome);
    m_lbList->setGeometry(l.lists);
    m_lbListChk->setGeometry(l.lists);
    m_txtShowIP->setGeometry(l.address);
    m_opSendToAll->setVisible(column);
    m_opSendToSelected->setVisible(column);
    m_txtShowIP->setVisible(column);
    m_lbList->setVisible(column && m_opSendToAll->isChecked());
    m_lbListChk->setVisible(column && m_opSendToSelected->isChecked());
}

// ---- Commands -------------------------------------------------------------------------

void MainWindow::togglePeerColumn()
{
    Preferences &p = m_session->prefs;
    m_txtShowIP->clear();
    if (p.showPeers != 0) {
        p.showPeers = 0;
        action(QStringLiteral("mnDisp"))->setText(ShowColumnCaption);
    } else {
        p.showPeers = 1;
        action(QStringLiteral("mnDisp"))->setText(HideColumnCaption);
        m_session->status().rebuildMemberList();
    }
    layoutControls();
}

void MainWindow::toggleAlwaysOnTop()
{
    Preferences &p = m_session->prefs;
    // The action toggled its own check already; the preference is the truth.
    if (p.alwaysOnTop) {
        setFormTop(this, 0);
        p.alwaysOnTop = false;
    } else {
        setFormTop(this, 1);
        p.alwaysOnTop = true;
    }
    action(QStringLiteral("mnFormTop"))->setChecked(p.alwaysOnTop);
}

void MainWindow::showMyAddress()
{
    Session &s = *m_session;
    s.ownAddress().findMyAddress();
    MyIpDialog dialog(s.ownAddress(), s.prefs, *m_clipboard, this);
    execModalOverMain(dialog, this, [this] { return m_session->prefs.alwaysOnTop; });
}

// ---- Keys -----------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Menu shortcuts win over the text boxes' own keys (Ctrl+A, Ctrl+D, ...).
        auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        for (QAction *a : std::as_const(m_actions)) {
            if (!a->shortcut().isEmpty() && a->shortcut() == pressed && a->isEnabled())
                return true;
        }
        break;
    }
    case QEvent::KeyPress:
        return handleWindowKey(watched, static_cast<QKeyEvent *>(event));
    case QEvent::KeyRelease:
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            m_session->composer().keyUp();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::handleWindowKey(QObject *watched, QKeyEvent *event)
{
    Composer &composer = m_session->composer();
    if (composer.keyDown(event->key(), event->modifiers()))
        return true;
    if (watched == m_txtShowIP) {
        const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        if (event->key() == Qt::Key_C && mods == Qt::ControlModifier) {
            if (!composer.keyHandled()) {
                composer.setKeyHandled(true);
                m_clipboard->setText(m_txtShowIP->text());
            }
            return true;
        }
    }
    const bool typesCharacter = !event->text().isEmpty() && event->text().at(0).unicode() >= 0x20
                                && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // While a shortcut's key is held, nothing typed gets through.
    if (composer.swallowsCharacters() && (typesCharacter || isEnter))
        return true;
    if (watched == m_txtShowIP && (typesCharacter || isEnter)) {
        focusInput();
        return true;
    }
    return false;
}

} // namespace tarnivel
