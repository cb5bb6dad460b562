#include "ui/findbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>

namespace tarnivel {

FindBar::FindBar(QTextEdit &log, QWidget *parent)
    : QWidget(parent)
    , m_log(log)
    , m_search(*log.document(), this)
    , m_findBox(new QLineEdit(this))
    , m_countLabel(new QLabel(this))
    , m_previousButton(new QToolButton(this))
    , m_nextButton(new QToolButton(this))
    , m_closeButton(new QToolButton(this))
{
    setObjectName(QStringLiteral("findBar"));
    m_findBox->setObjectName(QStringLiteral("txtFind"));
    m_findBox->setPlaceholderText(QStringLiteral("ログを検索 (Enter: 次, Shift+Enter: 前, Esc: 閉じる)"));
    m_findBox->installEventFilter(this);
    m_previousButton->setText(QStringLiteral("▲"));
    m_previousButton->setToolTip(QStringLiteral("前を検索 (Shift+Enter)"));
    m_nextButton->setText(QStringLiteral("▼"));
    m_nextButton->setToolTip(QStringLiteral("次を検索 (Enter)"));
    m_closeButton->setText(QStringLiteral("×"));
    m_closeButton->setToolTip(QStringLiteral("閉じる (Esc)"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(new QLabel(QStringLiteral("検索"), this));
    row->addWidget(m_findBox, 1);
    row->addWidget(m_countLabel);
    row->addWidget(m_previousButton);
    row->addWidget(m_nextButton);
    row->addWidget(m_closeButton);

    connect(m_findBox, &QLineEdit::textChanged, this, &FindBar::search);
    connect(m_previousButton, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_nextButton, &QToolButton::clicked, this, &FindBar::findNext);
    connect(m_closeButton, &QToolButton::clicked, this, &FindBar::close);
    connect(log.document(), &QTextDocument::contentsChanged, this, [this] { m_stale = true; });
    hide();
}

void FindBar::open()
{
    const bool wasHidden = isHidden();
    show();
    m_findBox->setFocus();
    m_findBox->selectAll();
    if (wasHidden) {
        emit shownChanged(true);
        search();
    }
}

void FindBar::close()
{
    m_matches.clear();
    m_current = -1;
    m_log.setExtraSelections({});
    if (isHidden())
        return;
    hide();
    emit shownChanged(false);
}

void FindBar::search()
{
    m_stale = false;
    const int previousStart = m_current >= 0 ? m_matches.at(m_current).start : m_log.textCursor().selectionStart();
    m_matches = m_search.findAll(m_findBox->text());
    // Stay at the match where the last one was, or the first after it.
    m_current = m_matches.isEmpty() ? -1 : 0;
    for (int i = 0; i < m_matches.size(); ++i) {
        if (m_matches.at(i).start >= previousStart) {
            m_current = i;
            break;
        }
    }
    showMatches();
}

void FindBar::findNext()
{
    step(1);
}

void FindBar::findPrevious()
{
    step(-1);
}

void FindBar::step(int by)
{
    if (m_stale)
        search();
    if (m_matches.isEmpty())
        return;
    const int count = int(m_matches.size());
    m_current = ((m_current < 0 ? 0 : m_current + by) % count + count) % count;
    showMatches();
}

void FindBar::showMatches()
{
    QList<QTextEdit::ExtraSelection> selections;
    const QColor all(255, 236, 120);
    const QColor current(255, 150, 50);
    const bool highlightAll = m_matches.size() <= MaxHighlights;
    for (int i = 0; i < m_matches.size(); ++i) {
        if (!highlightAll && i != m_current)
            continue;
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(m_log.document());
        s.cursor.setPosition(m_matches.at(i).start);
        s.cursor.setPosition(m_matches.at(i).end, QTextCursor::KeepAnchor);
        s.format.setBackground(i == m_current ? current : all);
        selections.append(s);
    }
    m_log.setExtraSelections(selections);
    if (m_current >= 0) {
        QTextCursor at(m_log.document());
        at.setPosition(m_matches.at(m_current).start);
        m_log.setTextCursor(at);
        m_log.ensureCursorVisible();
    }
    if (m_findBox->text().isEmpty())
        m_countLabel->clear();
    else if (m_matches.isEmpty())
        m_countLabel->setText(QStringLiteral("見つかりません"));
    else
        m_countLabel->setText(QStringLiteral("%1/%2").arg(m_current + 1).arg(m_matches.size()));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_findBox && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            (key->modifiers() & Qt::ShiftModifier) ? findPrevious() : findNext();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnivel
