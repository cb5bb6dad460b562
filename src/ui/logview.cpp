#include "ui/logview.h"

#include "conversation/logaddress.h"
#include "conversation/logrenderer.h"

#include <algorithm>

#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBlock>
#include <QScrollBar>

namespace tarnivel {

void LogView::showUnreadMarker(int position)
{
    QTextCursor at(document());
    at.setPosition(std::clamp(position, 0, document()->characterCount() - 1));
    m_unreadMarker = at;
    viewport()->update();
}

void LogView::hideUnreadMarker()
{
    if (!m_unreadMarker)
        return;
    m_unreadMarker.reset();
    viewport()->update();
}

std::optional<int> LogView::unreadMarker() const
{
    // Emptying the log takes the marker's line with it.
    if (!m_unreadMarker || m_unreadMarker->document() != document() || document()->isEmpty())
        return std::nullopt;
    return m_unreadMarker->block().position();
}

void LogView::userScrolled()
{
    const std::optional<int> marker = unreadMarker();
    if (!marker)
        return;
    QTextCursor at(document());
    at.setPosition(*marker);
    if (viewport()->rect().contains(cursorRect(at).topLeft()))
        hideUnreadMarker();
}

void LogView::paintEvent(QPaintEvent *event)
{
    QTextEdit::paintEvent(event);
    const std::optional<int> marker = unreadMarker();
    if (!marker)
        return;
    QTextCursor at(document());
    at.setPosition(*marker);
    const int y = cursorRect(at).top();
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}

QMimeData *LogView::createMimeDataFromSelection() const
{
    QMimeData *data = QTextEdit::createMimeDataFromSelection();
    data->setText(logText(textCursor()));
    return data;
}

LogView::LogView(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The pop-up menu belongs to the right button alone (not the menu key).
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Only the user's own scrolling (wheel, bar, keys) counts as reaching the marker, and
    // the bar has moved once the action has been carried out.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { QMetaObject::invokeMethod(this, &LogView::userScrolled, Qt::QueuedConnection); });
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    m_endingDoubleClick = false;
    if (event->button() == Qt::RightButton) {
        emit editMenuRequested(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QTextEdit::mousePressEvent(event);
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || m_endingDoubleClick || textCursor().hasSelection())
        return;
    if (const auto run = logaddress::runAt(*document(), textCursor().position())) {
        QTextCursor selection(document());
        selection.setPosition(run->start);
        selection.setPosition(run->end, QTextCursor::KeepAnchor);
        setTextCursor(selection);
        setFocus();
    }
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int position = cursorForPosition(event->position().toPoint()).position();
        const auto run = logaddress::runAt(*document(), position, logaddress::Probe::BeforeOrAfter);
        const auto url = run ? logaddress::urlOf(*document(), *run) : std::nullopt;
        if (url) {
            m_endingDoubleClick = true;
            emit addressOpened(*url);
            // Back where the click was, nothing selected.
            QTextCursor back(document());
            back.setPosition(position);
            setTextCursor(back);
            event->accept();
            return;
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

} // namespace tarnivel
