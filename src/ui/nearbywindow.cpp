#include "ui/nearbywindow.h"

#include "model/member.h"
#include "session/lanpresence.h"
#include "ui/keyedindicator.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tarnivel {

namespace {
const QString InOurChat = QStringLiteral("参加中");
// A copy that takes only members with its invite key (ours or another: nobody can tell).
const QString Keyed = QStringLiteral("招待キー");
constexpr int AddressRole = Qt::UserRole;
constexpr int NameRole = Qt::UserRole + 1; // the whole name, which the row may show cut
} // namespace

NearbyWindow::NearbyWindow(LanPresence &lan, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_lan(lan)
    , m_list(new QTreeWidget(this))
    , m_statusLine(new QLabel(this))
{
    setObjectName(QStringLiteral("frmNearby"));
    setWindowTitle(QStringLiteral("近くのたるにべ"));
    m_list->setObjectName(QStringLiteral("lstNearby"));
    m_list->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("アドレス"), QStringLiteral("接続数"), QString()});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_list->header()->setStretchLastSection(false);
    for (int column : {AddressColumn, CountColumn, MarkColumn})
        m_list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_statusLine->setObjectName(QStringLiteral("lblNearbyStatus"));
    m_statusLine->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_statusLine);
    resize(420, 260);

    m_list->installEventFilter(this);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &NearbyWindow::joinCurrent);
    connect(&m_lan, &LanPresence::copiesChanged, this, &NearbyWindow::fill);
    connect(&m_lan, &LanPresence::availabilityChanged, this, &NearbyWindow::fill);
    fill();
}

NearbyWindow::~NearbyWindow()
{
    m_list->removeEventFilter(this);
    m_lan.setBrowsing(false);
}

QString NearbyWindow::statusText(LanAvailability availability, qsizetype rows)
{
    switch (availability) {
    case LanAvailability::Unavailable:
        return QStringLiteral("avahi-daemon が応答しないため、同じネットワークのたるにべを探せません。");
    case LanAvailability::Unknown:
    case LanAvailability::Available:
        break;
    }
    if (rows == 0)
        return QStringLiteral("同じネットワークのたるにべを探しています…");
    return QStringLiteral("%1 件見つかりました。Enter かダブルクリックで接続します。").arg(rows);
}

void NearbyWindow::fill()
{
    const QTreeWidgetItem *current = m_list->currentItem();
    // The row picked stays picked (copies on one machine may share a name).
    const QString currentName = current ? current->data(NameColumn, NameRole).toString() : QString();
    const QString currentAddress = current ? current->data(NameColumn, AddressRole).toString() : QString();
    m_list->clear();
    const QList<NearbyCopy> copies = m_lan.copies();
    for (const NearbyCopy &copy : copies) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(NameColumn, displayName(copy.name));
        item->setText(AddressColumn, copy.address);
        item->setText(CountColumn, copy.memberCount ? QString::number(*copy.memberCount) : QString());
        item->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
        QStringList marks;
        if (copy.keyed)
            marks << Keyed;
        if (copy.inOurChat)
            marks << InOurChat;
        item->setText(MarkColumn, marks.join(u' '));
        if (copy.keyed)
            item->setIcon(MarkColumn,
                          QIcon(KeyedIndicator::lock(m_list->fontMetrics().height(), palette().text().color())));
        item->setData(NameColumn, AddressRole, copy.address);
        item->setData(NameColumn, NameRole, copy.name);
        if (copy.name == currentName && copy.address == currentAddress)
            m_list->setCurrentItem(item);
    }
    m_statusLine->setText(statusText(m_lan.availability(), copies.size()));
}

void NearbyWindow::joinCurrent()
{
    if (const QTreeWidgetItem *item = m_list->currentItem())
        emit joinRequested(item->data(NameColumn, AddressRole).toString());
}

void NearbyWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_lan.setBrowsing(true);
}

void NearbyWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_lan.setBrowsing(false);
}

bool NearbyWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            joinCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnivel
