#include "ui/logview.h"

#include "conversation/logaddress.h"
#include "conversation/logrenderer.h"

#include <QMimeData>
#include <QMouseEvent>

namespace tarnivel {

QMimeData *LogView::createMimeDataFromSelection() const
{
    QMimeData *data = QTextEdit::createMimeDataFromSelection();
    data->setText(logText(textCursor()));
    return data;
}

LogView::LogView(QWidget *parent)
    : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The pop-up menu belongs to the right button alone (not the menu key).
    setContextMenuPolicy(Qt::PreventContextMenu);
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
        const auto run = logaddress::runAt(*document(), position);
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
