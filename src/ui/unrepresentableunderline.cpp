#include "ui/unrepresentableunderline.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>

namespace tarnivel {

UnrepresentableUnderline::UnrepresentableUnderline(QLineEdit &box) : QWidget(&box), m_box(box)
{
    setObjectName(QStringLiteral("unrepresentableUnderline"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(box.rect());
    box.installEventFilter(this);
    connect(&box, &QLineEdit::textChanged, this, &UnrepresentableUnderline::recheck);
    // Scrolling the text moves the cursor; the underlines follow.
    connect(&box, &QLineEdit::cursorPositionChanged, this, qOverload<>(&QWidget::update));
    recheck();
    show();
}

QString UnrepresentableUnderline::explanation(const QString &characters)
{
    return QStringLiteral("下線の文字 (%1) はシフトJIS (コードページ 932) にないため、相手には「?」として届きます")
        .arg(characters);
}

void UnrepresentableUnderline::recheck()
{
    const QString text = m_box.text();
    m_marked = cp932::unrepresentable(text);
    QString characters;
    for (const cp932::CharacterRun &run : std::as_const(m_marked)) {
        const QString c = text.mid(run.start, run.length);
        if (!characters.contains(c))
            characters += c;
    }
    m_box.setToolTip(m_marked.isEmpty() ? QString() : explanation(characters));
    update();
}

bool UnrepresentableUnderline::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_box && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        setGeometry(m_box.rect());
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void UnrepresentableUnderline::paintEvent(QPaintEvent *)
{
    if (m_marked.isEmpty() || m_box.echoMode() != QLineEdit::Normal)
        return;
    const QString text = m_box.text();
    const QFontMetricsF metrics(m_box.font());
    // The box knows where its cursor is drawn; every other x follows from the advances.
    const int cursor = m_box.cursorPosition();
    const int cursorWidth = m_box.style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, &m_box);
    const QRect cursorRect = m_box.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const qreal cursorX = cursorRect.isValid() ? cursorRect.x() + cursorRect.width() / 2.0 - cursorWidth / 2.0 : 0.0;
    const qreal originX = cursorX - metrics.horizontalAdvance(text.left(cursor));
    const qreal baseline = cursorRect.isValid() ? cursorRect.bottom() : height() / 2.0 + metrics.ascent() / 2;

    QPainter painter(this);
    painter.setClipRect(m_box.rect().adjusted(2, 0, -2, 0));
    QPen pen(QColor(220, 30, 30));
    pen.setWidthF(1.5);
    painter.setPen(pen);
    for (const cp932::CharacterRun &run : std::as_const(m_marked)) {
        const qreal x1 = originX + metrics.horizontalAdvance(text.left(run.start));
        const qreal x2 = x1 + metrics.horizontalAdvance(text.mid(run.start, run.length));
        painter.drawLine(QPointF(x1, baseline), QPointF(x2, baseline));
    }
}

} // namespace tarnivel
