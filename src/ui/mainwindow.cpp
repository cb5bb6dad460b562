#include "ui/mainwindow.h"

#include "conversation/logrenderer.h"
#include "desktop/clipboard.h"
#include "model/twips.h"
#include "text/logging.h"
#include "model/extraswitches.h"
#include "ui/aboutbox.h"
#include "ui/attentioncontrol.h"
#include "ui/connectdialog.h"
#include "ui/extraswitchitems.h"
#include "session/outsideaccess.h"
#include "ui/findbar.h"
#include "ui/invitekeydialog.h"
#include "ui/keyedindicator.h"
#include "ui/logappearance.h"
#include "ui/logfiledialog.h"
#include "ui/mainlayout.h"
#include "ui/mainmenus.h"
#include "ui/windowplacement.h"
#include "ui/myipdialog.h"
#include "ui/namedialog.h"
#include "ui/nearbywindow.h"
#include "ui/privatesendhint.h"
#include "ui/programicon.h"
#include "ui/serverlistdialog.h"
#include "ui/unrepresentableunderline.h"
#include "ui/windowstacking.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>

namespace tarnivel {

namespace {
const QString UiFont = QStringLiteral("ＭＳ Ｐゴシック");

// A read-only box on the button face, as the desktop colours it now: a line edit paints its
// Base, whatever its background role says.
void showButtonFace(QLineEdit &box)
{
    QPalette palette = box.palette();
    palette.setColor(QPalette::Base, QGuiApplication::palette().color(QPalette::Button));
    box.setPalette(palette);
}
} // namespace

MainWindow::MainWindow(const SessionOptions &options, QWidget *parent)
    : QMainWindow(parent)
    , m_clipboard(std::make_unique<SystemClipboard>())
    , m_fontChooser(&chooseFontWithDialog)
    , m_colourChooser(&chooseColourWithDialog)
{
    setWindowIcon(programIcon());
    m_dialogs = new ModalDialogs(
        *this, [this] { return m_session && m_session->preferences().alwaysOnTop; }, this);
    buildControls();
    m_session = std::make_unique<Session>(options, *this, *this);
    m_logView->setDocument(&m_session->logDocument());
    m_appearance =
        new LogAppearance(*m_logView, m_session->log().held(), *m_inputBox, *m_memberList, *m_memberTickList, this);
    m_attention = new AttentionControl(*this, m_session->mesh(), this);
    new KeyedIndicator(*m_inputBox, m_session->inviteKey());
    m_extraSwitches = new ExtraSwitchItems(m_session->programFile(QString::fromLatin1(ExtraSettingsFileName)), this);
    m_findBar = new FindBar(*m_logView, centralWidget());
    m_findBar->findBox()->installEventFilter(this);
    connect(m_findBar, &FindBar::shownChanged, this, [this](bool shown) {
        layoutControls();
        if (!shown)
            focusInput();
    });
    connectMenus();

    Session &s = *m_session;
    // The session passes an arriving line to the log before the attention control (made
    // after the session) counts it, so unreadStarted finds the line's position here.
    connect(&s.log(), &ChatLog::appendedToWindow, this, [this](int position) {
        m_lastInsertion = position;
        QScrollBar *bar = m_logView->verticalScrollBar();
        bar->setValue(bar->maximum());
    });
    connect(m_logView, &LogView::editMenuRequested, this, &MainWindow::showEditMenu);
    connect(m_logView, &LogView::addressOpened, this, &MainWindow::openAddress);
    connect(m_inputBox, &QLineEdit::returnPressed, this, [this] {
        m_logView->hideUnreadMarker(); // sending a line is reading what came before it
        m_session->composer().enterPressed();
    });
    // The first line that arrives unseen gets the unread marker before it.
    connect(&m_attention->alerts(), &ArrivalAlerts::unreadStarted, this,
            [this] { m_logView->showUnreadMarker(m_lastInsertion); });
    connect(m_sendButton, &QPushButton::clicked, this, [this] { m_session->composer().sendClicked(); });
    connect(m_sendToAllOption, &QRadioButton::clicked, this, [this] { setSendToChosen(false); });
    connect(m_sendToChosenOption, &QRadioButton::clicked, this, [this] { setSendToChosen(true); });
    for (QListWidget *list : {m_memberList, m_memberTickList}) {
        connect(list, &QListWidget::itemClicked, this,
                [this, list](QListWidgetItem *item) { m_session->composer().memberClicked(list->row(item)); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this] { focusInput(); });
        connect(list, &QListWidget::currentRowChanged, this,
                [this](int row) { m_session->composer().showMemberAddress(row); });
    }
}

MainWindow::~MainWindow()
{
    unload();
    // It shows what the session finds: it goes first.
    delete m_nearbyWindow;
    m_nearbyWindow = nullptr;
    // So do dialogs still open (nothing waits for them), unanswered.
    qDeleteAll(findChildren<QDialog *>(Qt::FindDirectChildrenOnly));
    // The log view shows the session's document: the widgets go first.
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_logView, m_inputBox, m_sendButton, m_sendToAllOption, m_sendToChosenOption,
                                          m_memberList, m_memberTickList, m_memberAddressBox, m_findBar->findBox()})
        w->removeEventFilter(this);
    delete m_attention;
    m_attention = nullptr;
    removeEventFilter(this);
    delete takeCentralWidget();
}

// ---- Construction ---------------------------------------------------------------------

void MainWindow::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    // Through the window's layout this reaches the window manager as the window's minimum.
    central->setMinimumSize(placement().minimumClientPixels());

    m_logView = new LogView(central);
    m_logView->setObjectName(QStringLiteral("txtWin"));

    m_inputBox = new QLineEdit(central);
    m_inputBox->setObjectName(QStringLiteral("txtInput"));
    m_inputBox->setMaxLength(Composer::MaxInputLength);
    QFont inputFont(UiFont);
    inputFont.setPointSizeF(11.25);
    m_inputBox->setFont(inputFont);

    m_sendButton = new QPushButton(QStringLiteral("送信"), central);
    m_sendButton->setObjectName(QStringLiteral("cmdSend"));
    m_sendButton->setAutoDefault(false);

    const QFont columnFont(UiFont, 9);
    m_sendToAllOption = new QRadioButton(QStringLiteral("全員へ送信"), central);
    m_sendToAllOption->setObjectName(QStringLiteral("opSendToAll"));
    m_sendToAllOption->setChecked(true);
    m_sendToChosenOption = new QRadioButton(QStringLiteral("個人へ送信"), central);
    m_sendToChosenOption->setObjectName(QStringLiteral("opSendToSelected"));
    m_memberList = new QListWidget(central);
    m_memberList->setObjectName(QStringLiteral("lbList"));
    m_memberTickList = new QListWidget(central);
    m_memberTickList->setObjectName(QStringLiteral("lbListChk"));
    m_memberAddressBox = new QLineEdit(central);
    m_memberAddressBox->setObjectName(QStringLiteral("txtShowIP"));
    m_memberAddressBox->setReadOnly(true);
    showButtonFace(*m_memberAddressBox);
    new UnrepresentableUnderline(*m_inputBox);
    m_privateSendHint = new PrivateSendHint(*m_inputBox, *m_sendToChosenOption, *m_memberTickList);
    for (QWidget *w : std::initializer_list<QWidget *>{m_sendToAllOption, m_sendToChosenOption, m_memberList,
                                                       m_memberTickList, m_memberAddressBox}) {
        w->setFont(columnFont);
        w->hide();
    }

    // Window-level keys (Ctrl+F/L/S), menu shortcuts over the text boxes, Ctrl+C in the member address box.
    for (QWidget *w :
         std::initializer_list<QWidget *>{this, m_logView, m_inputBox, m_sendButton, m_sendToAllOption,
                                          m_sendToChosenOption, m_memberList, m_memberTickList, m_memberAddressBox})
        w->installEventFilter(this);
}

void MainWindow::connectMenus()
{
    m_menus = buildMainMenus(*this);
    const MainMenus &m = m_menus;
    connect(m.connect, &QAction::triggered, this, &MainWindow::connectCommand);
    connect(m.disconnect, &QAction::triggered, this, [this] { m_session->disconnect(); });
    connect(m.server, &QAction::triggered, this, &MainWindow::serverCommand);
    connect(m.quickServer, &QAction::triggered, this, [this] { m_session->quickCommand(); });
    connect(m.withdraw, &QAction::triggered, this, [this] { m_session->withdrawCommand(); });
    connect(&m_session->room(), &RoomExchange::waitingChanged, m.withdraw, &QAction::setVisible);
    connect(m.end, &QAction::triggered, this, &QWidget::close);
    connect(m.nearby, &QAction::triggered, this, &MainWindow::nearbyCommand);
    connect(m.peerColumn, &QAction::triggered, this, &MainWindow::togglePeerColumn);

    connect(m.name, &QAction::triggered, this, &MainWindow::nameCommand);
    connect(m.font, &QAction::triggered, this, &MainWindow::fontCommand);
    connect(m.colour, &QAction::triggered, this, &MainWindow::colourCommand);
    connect(m.alwaysOnTop, &QAction::triggered, this, &MainWindow::toggleAlwaysOnTop);
    connect(m.connectSound, &QAction::toggled, this, [this](bool on) { m_session->setConnectSound(on); });
    connect(m.messageSound, &QAction::toggled, this, [this](bool on) { m_session->setMessageSound(on); });
    connect(m.findLog, &QAction::triggered, m_findBar, &FindBar::open);
    m_attention->addSwitches(*m.settings, *m_extraSwitches);
    m_extraSwitches->add(*m.settings, QStringLiteral("mnLanAnnounce"), QStringLiteral("LANで自分を知らせる"),
                         extraswitch::LanAnnounce, [this](bool on) { m_session->lan().setAnnouncing(on); });
    m_extraSwitches->add(*m.settings, QStringLiteral("mnPortMapping"), QStringLiteral("ルータのポートを自動で開く"),
                         extraswitch::PortMapping, [this](bool on) {
                             if (OutsideAccess *outside = m_session->outsideAccess())
                                 outside->setPortMapping(on);
                         });
    m_extraSwitches->add(*m.settings, QStringLiteral("mnReachCheck"), QStringLiteral("外部から接続できるか確かめる"),
                         extraswitch::ReachCheck, [this](bool on) {
                             if (OutsideAccess *outside = m_session->outsideAccess())
                                 outside->setReachCheck(on);
                         });
    // After the switches, at the end of 設定: the invite key.
    QAction *inviteKeyItem = m.settings->addAction(QStringLiteral("招待キー…"));
    inviteKeyItem->setObjectName(QStringLiteral("mnInviteKey"));
    connect(inviteKeyItem, &QAction::triggered, this, &MainWindow::inviteKeyCommand);

    connect(m.saveLog, &QAction::triggered, this, &MainWindow::saveLogCommand);
    connect(m.showOwnAddress, &QAction::triggered, this, &MainWindow::showMyAddress);
    connect(m.copyOwnAddress, &QAction::triggered, this,
            [this] { m_session->ownAddress().copyMyAddress(this, *m_clipboard); });
    connect(m.clearLog, &QAction::triggered, this, &MainWindow::clearLogCommand);
    connect(m.help, &QAction::triggered, this, [this] { m_session->openHelp(); });
    connect(m.about, &QAction::triggered, this, &MainWindow::showAbout);

    connect(m.copy, &QAction::triggered, this, &MainWindow::copyLogSelection);
    connect(m.lock, &QAction::triggered, this, &MainWindow::lockCommand);
}

// ---- StatusView -----------------------------------------------------------------------

void MainWindow::setTitle(const QString &title)
{
    setWindowTitle(title);
}

void MainWindow::setConnectMenus(bool connectEnabled, bool disconnectEnabled)
{
    m_menus.connect->setEnabled(connectEnabled);
    m_menus.disconnect->setEnabled(disconnectEnabled);
}

namespace {
// Each row of the member lists carries the member it stands for.
constexpr int MemberSideRole = Qt::UserRole;
constexpr int MemberSlotRole = Qt::UserRole + 1;

std::optional<MemberId> memberOf(const QListWidgetItem *item)
{
    if (!item)
        return std::nullopt;
    return MemberId{ConnectionSide(item->data(MemberSideRole).toInt()), item->data(MemberSlotRole).toInt()};
}
} // namespace

void MainWindow::setMemberRows(const QList<Member> &members)
{
    m_memberList->clear();
    m_memberTickList->clear();
    for (const Member &member : members) {
        auto *plain = new QListWidgetItem(member.name, m_memberList);
        auto *ticked = new QListWidgetItem(member.name, m_memberTickList);
        ticked->setFlags(ticked->flags() | Qt::ItemIsUserCheckable);
        ticked->setCheckState(Qt::Unchecked);
        for (QListWidgetItem *item : {plain, ticked}) {
            item->setData(MemberSideRole, int(member.id.side));
            item->setData(MemberSlotRole, member.id.slot);
        }
    }
}

void MainWindow::selectSendToAll()
{
    m_sendToAllOption->setChecked(true);
    m_sendToChosenOption->setChecked(false);
    layoutControls();
}

// ---- ComposerView ---------------------------------------------------------------------

QString MainWindow::inputText() const
{
    return m_inputBox->text();
}

void MainWindow::clearInput()
{
    m_inputBox->clear();
}

void MainWindow::focusInput()
{
    m_inputBox->setFocus();
}

bool MainWindow::sendToChosen() const
{
    return m_sendToChosenOption->isChecked();
}

void MainWindow::setSendToChosen(bool selected)
{
    (selected ? m_sendToChosenOption : m_sendToAllOption)->setChecked(true);
    layoutControls();
    focusInput();
}

QList<MemberId> MainWindow::tickedMembers() const
{
    QList<MemberId> ticked;
    for (int row = 0; row < m_memberTickList->count(); ++row) {
        const QListWidgetItem *item = m_memberTickList->item(row);
        if (item->checkState() == Qt::Checked)
            ticked.append(*memberOf(item));
    }
    return ticked;
}

std::optional<MemberId> MainWindow::memberAtRow(int row) const
{
    return memberOf(m_memberList->item(row));
}

void MainWindow::setShownAddress(const QString &address)
{
    m_memberAddressBox->setText(address);
}

// ---- Connect command ------------------------------------------------------------------

void MainWindow::connectCommand()
{
    m_session->connectCommand(*this);
}

void MainWindow::nearbyCommand()
{
    if (!m_nearbyWindow) {
        m_nearbyWindow = new NearbyWindow(m_session->lan(), this);
        connect(m_nearbyWindow, &NearbyWindow::joinRequested, this,
                [this](const QString &address) { m_session->connectToPicked(address); });
    }
    m_nearbyWindow->show();
    m_nearbyWindow->raise();
    m_nearbyWindow->activateWindow();
}

void MainWindow::inviteKeyCommand()
{
    m_dialogs->show(new InviteKeyDialog(m_session->inviteKey(), *m_clipboard, this));
}

void MainWindow::askConnectAddress(const QString &lastAddress, Answered answered)
{
    auto *dialog = new ConnectDialog(lastAddress, this);
    m_dialogs->show(dialog, [dialog, answered = std::move(answered)](int) {
        answered(dialog->confirmed() ? std::optional<QString>(dialog->address()) : std::nullopt);
    });
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

WindowPlacement MainWindow::placement() const
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    return WindowPlacement(s ? s->logicalDotsPerInch() : 96.0);
}

void MainWindow::applyLook()
{
    const Preferences &p = m_session->preferences();
    m_appearance->applyLoaded(p);
    m_menus.connectSound->setChecked(p.connectSound);
    m_menus.messageSound->setChecked(p.messageSound);
    m_menus.alwaysOnTop->setChecked(p.alwaysOnTop);
    m_menus.peerColumn->setText(p.showPeers ? HidePeerColumnCaption : ShowPeerColumnCaption);
}

void MainWindow::applyPreferences(float left, float top)
{
    const Preferences &p = m_session->preferences();
    applyLook();
    move(placement().pixels(QPointF(left, top)));
    resizeToOuter(QSize(p.windowWidth, p.windowHeight));
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
        move(area.x() + std::max(0, (area.width() - width()) / 2),
             area.y() + std::max(0, (area.height() - height()) / 2));
    }
}

void MainWindow::applyDefaultPreferences()
{
    applyLook();
    const WindowPlacement place = placement();
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect screenArea = s ? s->geometry() : QRect(0, 0, 1024, 768);
    move(place.defaultPosition(screenArea));
    resizeToOuter(place.defaultOuterTwips(screenArea));
    m_session->setPlacement(place.stored(pos(), clientPixels()));
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
    setFormTop(this, m_session->preferences().alwaysOnTop);
}

// "/L" at start-up: the list opens once loading is over, so that closing the window while
// it is open ends the program as usual.
void MainWindow::openDirectoryList()
{
    QTimer::singleShot(0, this, &MainWindow::serverCommand);
}

// The server command (F2): the entry list, then the chosen entry's room.
void MainWindow::serverCommand()
{
    m_session->serverCommand([this](const RoomExchange::EntryChosen &chosen) {
        auto *list = new ServerListDialog(
            m_session->room().entryFolder(), m_session->preferences().quickServer,
            [this](const QString &entry) { m_session->setQuickServer(entry); }, this);
        m_dialogs->show(list, [list, chosen](int) { chosen(list->chosenEntry()); });
    });
}

void MainWindow::capturePlacement(float &left, float &top)
{
    const WindowState state = isMinimized() ? WindowState::Minimized
        : isMaximized()                     ? WindowState::Maximized
                                            : WindowState::Normal;
    m_session->setWindowState(state);
    const QPointF saved = placement().savedPosition(state, pos(), m_session->preferences());
    left = float(saved.x());
    top = float(saved.y());
}

void MainWindow::recordPlacement()
{
    if (!m_loaded || windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    m_session->setPlacement(placement().stored(pos(), clientPixels()));
}

// The menu bar lies inside the window: the client area is what is below it.
QSize MainWindow::clientPixels() const
{
    const QMenuBar *bar = qobject_cast<const QMenuBar *>(menuWidget());
    int barHeight = 0;
    if (bar && !bar->isHidden() && !bar->isNativeMenuBar()) {
        barHeight = bar->heightForWidth(width());
        if (barHeight < 0)
            barHeight = bar->sizeHint().height();
    }
    return QSize(width(), std::max(0, height() - barHeight));
}

void MainWindow::resizeToOuter(QSize outer)
{
    resize(placement().clientPixels(outer) + (size() - clientPixels()));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    unload();
    if (m_nearbyWindow)
        m_nearbyWindow->close();
    // A dialog left open (the entry list, a termination signal meanwhile) would keep the program alive.
    for (QDialog *dialog : findChildren<QDialog *>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
    event->accept();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Desktop colours (0x800000nn) follow a change of the desktop's palette, which reaches a
    // window as a PaletteChange of its own (the window sets no palette of its own).
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        if (m_appearance)
            m_appearance->followDesktopPalette();
        showButtonFace(*m_memberAddressBox);
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isMinimized())
        return;
    // Below the minimum (a window manager that ignores the size hints): back to it, height
    // first. Each resize comes through here again and lays out the new size.
    const QSize minimum = placement().minimumClientPixels();
    if (clientPixels().height() < minimum.height())
        resize(width(), height() + minimum.height() - clientPixels().height());
    if (clientPixels().width() < minimum.width())
        resize(minimum.width(), height());
    layoutControls();
    recordPlacement();
}

void MainWindow::layoutControls()
{
    const bool column = m_session && m_session->preferences().showPeers;
    const WindowPlacement place = placement();
    const MainLayout l = computeMainLayout(place.outerTwips(clientPixels()), column, m_sendToAllOption->isChecked());
    QRect logRect = place.pixelRect(l.log);
    // The find bar, while open, takes the bottom of the log's place.
    if (m_findBar && !m_findBar->isHidden()) {
        const int barHeight = std::min(m_findBar->sizeHint().height(), logRect.height() / 2);
        logRect.setHeight(logRect.height() - barHeight);
        m_findBar->setGeometry(logRect.x(), logRect.bottom() + 1, logRect.width(), barHeight);
    }
    m_logView->setGeometry(logRect);
    m_inputBox->setGeometry(place.pixelRect(l.input));
    m_sendButton->setGeometry(place.pixelRect(l.send));
    // A hidden column keeps its places.
    if (column) {
        m_sendToAllOption->setGeometry(place.pixelRect(l.sendToAll));
        m_sendToChosenOption->setGeometry(place.pixelRect(l.sendToChosen));
        m_memberList->setGeometry(place.pixelRect(l.lists));
        m_memberTickList->setGeometry(place.pixelRect(l.lists));
        m_memberAddressBox->setGeometry(place.pixelRect(l.address));
    }
    m_sendToAllOption->setVisible(column);
    m_sendToChosenOption->setVisible(column);
    m_memberAddressBox->setVisible(column);
    m_memberList->setVisible(l.plainListShown);
    m_memberTickList->setVisible(l.tickListShown);
}

// ---- Commands -------------------------------------------------------------------------

void MainWindow::togglePeerColumn()
{
    m_memberAddressBox->clear();
    const bool show = !m_session->preferences().showPeers;
    m_menus.peerColumn->setText(show ? HidePeerColumnCaption : ShowPeerColumnCaption);
    m_session->setShowPeers(show);
    layoutControls();
}

void MainWindow::toggleAlwaysOnTop()
{
    // The action toggled its own check already; the preference is the truth.
    const bool onTop = !m_session->preferences().alwaysOnTop;
    setFormTop(this, onTop);
    m_session->setAlwaysOnTop(onTop);
    m_menus.alwaysOnTop->setChecked(onTop);
}

void MainWindow::fontCommand()
{
    runFontCommand(*m_session, *m_appearance, m_fontChooser, this);
}

void MainWindow::colourCommand()
{
    runColourCommand(*m_session, *m_appearance, m_colourChooser, this,
                     [this](QDialog *dialog, DialogClosed closed) { m_dialogs->show(dialog, std::move(closed)); });
}

void MainWindow::showAbout()
{
    m_dialogs->show(new AboutBox(m_session->sound(), m_session->shippedFile(QStringLiteral("connect.wav")), this));
}

void MainWindow::showMyAddress()
{
    // The address is looked up once; the dialog opens when the answer is in, and the window
    // stays live meanwhile. A second command while the first waits changes nothing.
    if (m_ownAddressDialogWaiting)
        return;
    m_ownAddressDialogWaiting = true;
    m_session->ownAddress().findMyAddress(this, [this] {
        // Opened from the event loop itself, never from inside the network's own handlers.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_ownAddressDialogWaiting = false;
                auto *dialog =
                    new MyIpDialog(m_session->ownAddress(), *m_clipboard, m_session->externalAddress(), this);
                dialog->showInviteKey(m_session->inviteKey().state() == InviteKeySetting::State::Set);
                m_dialogs->show(dialog);
            },
            Qt::QueuedConnection);
    });
}

// ---- Name and log tools ---------------------------------------------------------------

void MainWindow::nameCommand()
{
    auto *dialog = new NameDialog(m_session->preferences().myName, this);
    m_dialogs->show(dialog, [this, dialog](int result) {
        if (result == QDialog::Accepted)
            m_session->setMyName(dialog->name());
    });
}

void MainWindow::saveLogCommand()
{
    LogFileDialogChooser chooser(
        this, [this](QDialog *dialog, DialogClosed closed) { m_dialogs->show(dialog, std::move(closed)); });
    logfile::save(m_session->logDocument(), chooser, QDate::currentDate());
}

void MainWindow::clearLogCommand()
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("ログのクリア"),
                                QStringLiteral("現在のログをクリアします\n(大切なログは先に保存しましょう)"),
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setDefaultButton(QMessageBox::Ok);
    m_dialogs->show(box, [this, box](int) {
        if (box->standardButton(box->clickedButton()) == QMessageBox::Ok)
            m_session->log().clearWindow();
    });
}

void MainWindow::copyLogSelection()
{
    m_clipboard->clear();
    m_clipboard->setText(logText(m_logView->textCursor()));
}

void MainWindow::lockCommand()
{
    m_session->toggleScreenLock();
    m_menus.lock->setText(m_session->log().screenLocked() ? UnlockCaption : LockAgainCaption);
}

void MainWindow::showEditMenu(const QPoint &globalPosition)
{
    m_menus.copy->setEnabled(m_logView->textCursor().hasSelection());
    m_menus.log->popup(globalPosition);
}

void MainWindow::openAddress(const QUrl &url)
{
    if (!m_session->urlOpener().open(url))
        qCWarning(lcApp, "the desktop could not open %s", qPrintable(url.toString()));
}

// ---- Keys -----------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Menu shortcuts win over the text boxes' own keys (Ctrl+A, Ctrl+D, ...).
        auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction *a : std::as_const(m_menus.withShortcuts)) {
            if (a->shortcut() == pressed && a->isEnabled())
                return true;
        }
        break;
    }
    case QEvent::KeyPress:
        return handleWindowKey(watched, static_cast<QKeyEvent *>(event));
    case QEvent::KeyRelease:
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            m_keyHandled = false;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Ctrl+F (the peer column), Ctrl+L (the lock) and Ctrl+S (the addressing) act once per press:
// until the key is released, they and anything typed are used up here.
bool MainWindow::windowShortcut(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers relevant = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (relevant != Qt::ControlModifier || m_keyHandled)
        return false;
    switch (key) {
    case Qt::Key_F:
        m_keyHandled = true;
        togglePeerColumn();
        return true;
    case Qt::Key_L:
        m_keyHandled = true;
        lockCommand();
        return true;
    case Qt::Key_S:
        m_keyHandled = true;
        if (m_session->preferences().showPeers)
            setSendToChosen(!sendToChosen());
        return true;
    default:
        return false;
    }
}

bool MainWindow::handleWindowKey(QObject *watched, QKeyEvent *event)
{
    if (windowShortcut(event->key(), event->modifiers()))
        return true;
    if (watched == m_memberAddressBox) {
        const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        if (event->key() == Qt::Key_C && mods == Qt::ControlModifier) {
            if (!m_keyHandled) {
                m_keyHandled = true;
                m_clipboard->setText(m_memberAddressBox->text());
            }
            return true;
        }
    }
    const bool typesCharacter = !event->text().isEmpty() && event->text().at(0).unicode() >= 0x20
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // While a shortcut's key is held, nothing typed gets through.
    if (m_keyHandled && (typesCharacter || isEnter))
        return true;
    if (watched == m_memberAddressBox && (typesCharacter || isEnter)) {
        focusInput();
        return true;
    }
    // A key typed in the log goes to the input box as it is: a character is typed there,
    // Enter sends the line, Backspace deletes. Tab still moves the focus; keys held with
    // Ctrl or Alt are the window's shortcuts.
    const bool focusKey = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (watched == m_logView && !event->text().isEmpty() && !focusKey
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        focusInput();
        QCoreApplication::sendEvent(m_inputBox, event);
        return true;
    }
    return false;
}

} // namespace tarnivel
