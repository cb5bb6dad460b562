#pragma once
// Finding text in the log regardless of case and of the width of letters, digits and kana:
// "ＡＢＣ１" finds "abc1", half-width "ｶﾞ" finds "ガ". Both sides are folded (NFKC, then case
// folding); the folded log keeps, for each of its characters, the document positions it came
// from, so a match maps back to a range of the document.
//
// The folded log is kept up to date as the document changes: a change re-folds from the
// block it touched, soon after it (on the next turn of the event loop), so each arriving
// line costs the folding of that line, and a search only looks through the folded text.
// Lines that leave the start of the log leave the folded log too, and the positions of the
// rest move back with them.

#include <QList>
#include <QObject>
#include <QString>
#include <vector>

class QTextDocument;

namespace tarnivel {

struct LogMatch
{
    int start = 0; // document positions, end exclusive
    int end = 0;
    friend bool operator==(const LogMatch &, const LogMatch &) = default;
};

// The folded form of text, as the search compares it.
QString foldForSearch(const QString &text);

class LogSearch : public QObject
{
    Q_OBJECT
public:
    explicit LogSearch(const QTextDocument &document, QObject *parent = nullptr);

    // Every match of needle in the document, in order, not overlapping. A long line held in
    // several blocks is searched as one line.
    QList<LogMatch> findAll(const QString &needle);

private:
    void noteChange(int position, int removed, int added);
    void dropFront(int removed);
    void catchUp();
    bool m_catchUpQueued = false;
    int sourceEnd(qsizetype folded) const;

    const QTextDocument &m_document;
    // Document position from which the folded log is out of date; -1: up to date.
    int m_staleFrom = 0;
    QString m_folded;
    std::vector<int> m_from; // document position where each folded character's source starts
};

} // namespace tarnivel
