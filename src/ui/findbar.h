#pragma once
// The find bar under the log: every match of the typed text is highlighted (extra
// selections, so nothing is written into the log), Enter and Shift+Enter move to the next
// and previous match, wrapping at the ends; Esc closes the bar and takes the highlights away.

#include "conversation/logsearch.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;

namespace tarnivel {

class FindBar : public QWidget
{
    Q_OBJECT
public:
    FindBar(QTextEdit &log, QWidget *parent = nullptr);

    // Highlighting every match of a huge result would slow painting: beyond this many only
    // the current match is highlighted.
    static constexpr int MaxHighlights = 5000;

    void open();
    void close();
    void findNext();
    void findPrevious();

    QLineEdit *findBox() const { return m_findBox; }
    const QList<LogMatch> &matches() const { return m_matches; }
    // Index into matches() of the current one; -1 when there is none.
    int currentMatch() const { return m_current; }

signals:
    void shownChanged(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search();
    void step(int by);
    void showMatches();

    QTextEdit &m_log;
    LogSearch m_search;
    QLineEdit *m_findBox;
    QLabel *m_countLabel;
    QToolButton *m_previousButton;
    QToolButton *m_nextButton;
    QToolButton *m_closeButton;
    QList<LogMatch> m_matches;
    int m_current = -1;
    // The log changed since the last search: Enter searches again first.
    bool m_stale = false;
};

} // namespace tarnivel
