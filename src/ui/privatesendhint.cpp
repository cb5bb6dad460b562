#include "ui/privatesendhint.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>

namespace tarnivel {

PrivateSendHint::PrivateSendHint(QLineEdit &box, QAbstractButton &sendToChosen, QListWidget &tickList)
    : QWidget(&box)
    , m_box(box)
    , m_sendToChosen(sendToChosen)
    , m_tickList(tickList)
{
    setObjectName(QStringLiteral("privateSendHint"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(box.rect());
    box.installEventFilter(this);
    connect(&sendToChosen, &QAbstractButton::toggled, this, &PrivateSendHint::refresh);
    QAbstractItemModel *ticks = tickList.model();
    connect(ticks, &QAbstractItemModel::dataChanged, this, &PrivateSendHint::refresh);
    connect(ticks, &QAbstractItemModel::rowsInserted, this, &PrivateSendHint::refresh);
    connect(ticks, &QAbstractItemModel::rowsRemoved, this, &PrivateSendHint::refresh);
    connect(ticks, &QAbstractItemModel::modelReset, this, &PrivateSendHint::refresh);
    refresh();
}

QString PrivateSendHint::placeholderFor(const QStringList &names)
{
    return names.isEmpty() ? NobodyTicked : names.join(QStringLiteral(", ")) + QStringLiteral(" に送信");
}

QColor PrivateSendHint::tint()
{
    return QColor(255, 170, 0, 48);
}

void PrivateSendHint::refresh()
{
    m_tinted = m_sendToChosen.isChecked();
    if (m_tinted) {
        QStringList names;
        for (int row = 0; row < m_tickList.count(); ++row) {
            const QListWidgetItem *item = m_tickList.item(row);
            if (item->checkState() == Qt::Checked)
                names << item->text();
        }
        m_box.setPlaceholderText(placeholderFor(names));
    } else {
        m_box.setPlaceholderText(QString());
    }
    setVisible(m_tinted);
    update();
}

bool PrivateSendHint::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_box && event->type() == QEvent::Resize)
        setGeometry(m_box.rect());
    return QWidget::eventFilter(watched, event);
}

void PrivateSendHint::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), tint());
    QPen frame(QColor(230, 130, 0));
    frame.setWidth(2);
    painter.setPen(frame);
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

} // namespace tarnivel
