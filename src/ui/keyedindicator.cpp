#include "ui/keyedindicator.h"

#include "session/invitekeysetting.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace tarnivel {

KeyedIndicator::KeyedIndicator(QLineEdit &box, InviteKeySetting &setting)
    : QWidget(&box)
    , m_box(box)
    , m_setting(setting)
{
    setObjectName(QStringLiteral("keyedIndicator"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    box.installEventFilter(this);
    connect(&setting, &InviteKeySetting::stateChanged, this, &KeyedIndicator::refresh);
    refresh();
}

QPixmap KeyedIndicator::lock(int height, const QColor &colour)
{
    const int h = std::max(8, height);
    QPixmap pixmap(h * 3 / 4, h);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = pixmap.width();
    const qreal stroke = std::max(1.0, h / 9.0);
    painter.setPen(QPen(colour, stroke));
    painter.setBrush(Qt::NoBrush);
    // The shackle above, the body below.
    painter.drawArc(QRectF(w * 0.2, stroke, w * 0.6, h * 0.6), 0, 180 * 16);
    painter.drawLine(QPointF(w * 0.2, h * 0.3 + stroke / 2), QPointF(w * 0.2, h * 0.45));
    painter.drawLine(QPointF(w * 0.8, h * 0.3 + stroke / 2), QPointF(w * 0.8, h * 0.45));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(0, h * 0.45, w, h * 0.55 - 0.5), stroke, stroke);
    return pixmap;
}

void KeyedIndicator::refresh()
{
    switch (m_setting.state()) {
    case InviteKeySetting::State::None:
        m_text.clear();
        break;
    case InviteKeySetting::State::Set:
        m_text = QStringLiteral("暗号化");
        m_colour = QColor(0, 120, 60);
        break;
    case InviteKeySetting::State::Unreadable:
        m_text = QStringLiteral("接続停止");
        m_colour = QColor(200, 0, 0);
        break;
    }
    setToolTip(m_text.isEmpty() ? QString() : QStringLiteral("招待キー: 設定 → 招待キー…"));
    place();
    setVisible(!m_text.isEmpty());
    update();
}

void KeyedIndicator::place()
{
    const QFontMetrics metrics(font());
    const int height = m_box.height();
    const int width = m_text.isEmpty() ? 0 : metrics.height() * 3 / 4 + metrics.horizontalAdvance(m_text) + 10;
    setGeometry(m_box.width() - width, 0, width, height);
    m_box.setTextMargins(0, 0, width, 0);
}

bool KeyedIndicator::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_box && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

void KeyedIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QPixmap padlock = lock(metrics.height() * 4 / 5, m_colour);
    const int top = (height() - padlock.height()) / 2;
    painter.drawPixmap(2, top, padlock);
    painter.setPen(m_colour);
    painter.drawText(rect().adjusted(padlock.width() + 5, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

} // namespace tarnivel
